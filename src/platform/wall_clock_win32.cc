// The wall clock and the computer's name on Windows.
#include "platform/wall_clock.h"

#include <windows.h>

namespace platform {
namespace {

// FILETIME counts 100-nanosecond units since 1601-01-01 UTC.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;
constexpr uint64_t kTicksPerMillisecond = 10000;

uint64_t TicksOf(const FILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// One of the machine's names, or empty. A DNS name may be longer than
// MAX_COMPUTERNAME_LENGTH: the first call asks for the size it needs.
std::u16string ComputerName(COMPUTER_NAME_FORMAT format) {
  std::u16string name;
  DWORD size = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    name.resize(size);
    wchar_t* buffer =
        size == 0 ? nullptr : reinterpret_cast<wchar_t*>(name.data());
    if (::GetComputerNameExW(format, buffer, &size)) {
      // `size` is now the name's length, without its terminating null.
      name.resize(size);
      return name;
    }
    if (::GetLastError() != ERROR_MORE_DATA || size == 0)
      break;
  }
  return {};
}

}  // namespace

uint64_t UnixTimeMilliseconds() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  uint64_t ticks = TicksOf(now);
  return ticks < kUnixEpochTicks
             ? 0
             : (ticks - kUnixEpochTicks) / kTicksPerMillisecond;
}

int32_t LocalOffsetMinutes(uint64_t unixMilliseconds) {
  if (unixMilliseconds >
      (~uint64_t{0} - kUnixEpochTicks) / kTicksPerMillisecond)
    return 0;
  uint64_t ticks = unixMilliseconds * kTicksPerMillisecond + kUnixEpochTicks;
  FILETIME universalFile = {static_cast<DWORD>(ticks),
                            static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME universal;
  SYSTEMTIME local;
  FILETIME localFile;
  // The zone active now, with its daylight saving rule for that date; a
  // FILETIME kept through SYSTEMTIME keeps its milliseconds.
  if (!::FileTimeToSystemTime(&universalFile, &universal) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local) ||
      !::SystemTimeToFileTime(&local, &localFile))
    return 0;
  int64_t difference = static_cast<int64_t>(TicksOf(localFile) - ticks);
  constexpr int64_t kTicksPerMinute =
      int64_t{60} * 1000 * int64_t{kTicksPerMillisecond};
  return static_cast<int32_t>(difference / kTicksPerMinute);
}

std::u16string HostName() {
  std::u16string name = ComputerName(ComputerNameDnsHostname);
  // A machine without a DNS host name still has its NetBIOS one.
  if (name.empty())
    name = ComputerName(ComputerNameNetBIOS);
  return name;
}

}  // namespace platform
