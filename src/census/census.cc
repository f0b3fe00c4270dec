#include "census/census.h"

#include <algorithm>
#include <iterator>

#include "census/process_table.h"
#include "platform/platform.h"

namespace {

// What GetGuiResources reports for `pid`, or 0 when it cannot be opened; with
// `allCounts`, the other counts of a process that owns GDI objects too. The
// limited right is all GetGuiResources needs, and protected processes grant
// no more.
int32_t GdiObjectCount(uint32_t pid, bool allCounts, ProcessFields* record) {
  platform::UniqueProcessHandle process(platform::OpenProcess(
      platform::PROCESS_QUERY_LIMITED_INFORMATION, false, pid));
  if (!process)
    return 0;
  auto count = static_cast<int32_t>(
      platform::GetGuiResources(process.get(), platform::GR_GDIOBJECTS));
  if (allCounts && count != 0) {
    record->gdiPeakCount =
        platform::GetGuiResources(process.get(), platform::GR_GDIOBJECTS_PEAK);
    record->userObjectCount =
        platform::GetGuiResources(process.get(), platform::GR_USEROBJECTS);
    record->userPeakCount =
        platform::GetGuiResources(process.get(), platform::GR_USEROBJECTS_PEAK);
  }
  return count;
}

std::optional<uint32_t> Answer(uint32_t count) {
  return count == 0 ? std::nullopt : std::optional<uint32_t>(count);
}

}  // namespace

bool CollectProcesses(ProcessTable& table, bool allCounts) {
  platform::UniqueSnapshotHandle snapshot(
      platform::CreateToolhelp32Snapshot(platform::TH32CS_SNAPPROCESS, 0));
  if (!snapshot)
    return false;

  platform::PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  // The record is built once and reused: only its pid, name and count change.
  ProcessRecord record;
  bool more = platform::Process32FirstW(snapshot.get(), &entry);
  // An empty snapshot ends at once with "no more files"; any other failure
  // of the first entry is a snapshot that cannot be read.
  if (!more && platform::GetLastError() != platform::ERROR_NO_MORE_FILES)
    return false;
  for (; more; more = platform::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == 0)
      continue;
    int32_t count = GdiObjectCount(entry.th32ProcessID, allCounts, &record);
    if (count == 0)
      continue;
    record.pid = entry.th32ProcessID;
    // A bounded copy: at most 259 units and the terminator, even when the
    // snapshot's field holds no terminator.
    size_t length = 0;
    while (length < 259 && entry.szExeFile[length] != 0)
      ++length;
    std::fill(std::begin(record.exeName), std::end(record.exeName), u'\0');
    std::copy(entry.szExeFile, entry.szExeFile + length, record.exeName);
    record.guiObjectCount = count;
    table.Set(record.pid, record);
  }
  return true;
}

SessionCounts CollectSessionCounts() {
  SessionCounts counts;
  counts.gdiObjects = Answer(
      platform::GetGuiResources(platform::GR_GLOBAL, platform::GR_GDIOBJECTS));
  counts.userObjects = Answer(
      platform::GetGuiResources(platform::GR_GLOBAL, platform::GR_USEROBJECTS));
  return counts;
}
