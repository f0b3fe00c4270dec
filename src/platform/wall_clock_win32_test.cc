#include "platform/wall_clock.h"

#include <windows.h>

#include <ctime>
#include <string>

#include <gtest/gtest.h>

namespace {

// The clock agrees with the C runtime's to the second (a second may turn
// between the two reads).
TEST(WallClockWin32Test, UnixTimeAgreesWithTheRuntime) {
  uint64_t before = static_cast<uint64_t>(std::time(nullptr));
  uint64_t seconds = platform::UnixTimeMilliseconds() / 1000;
  uint64_t after = static_cast<uint64_t>(std::time(nullptr));
  EXPECT_LE(before, seconds);
  EXPECT_GE(after, seconds);
}

// The offset now is the zone's bias, daylight saving time included, with
// the sign turned: Windows gives UTC = local + bias.
TEST(WallClockWin32Test, LocalOffsetIsTheZonesBias) {
  TIME_ZONE_INFORMATION zone;
  DWORD which = ::GetTimeZoneInformation(&zone);
  ASSERT_NE(TIME_ZONE_ID_INVALID, which);
  LONG bias = zone.Bias;
  if (which == TIME_ZONE_ID_DAYLIGHT)
    bias += zone.DaylightBias;
  else if (which == TIME_ZONE_ID_STANDARD)
    bias += zone.StandardBias;
  EXPECT_EQ(-bias,
            platform::LocalOffsetMinutes(platform::UnixTimeMilliseconds()));
}

// The host name is the first label of the fully qualified DNS name, whole,
// without its terminating null.
TEST(WallClockWin32Test, HostNameIsTheDnsHostName) {
  std::u16string name = platform::HostName();
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(std::u16string::npos, name.find(u'\0'));
  wchar_t full[512];
  DWORD size = 512;
  ASSERT_TRUE(::GetComputerNameExW(ComputerNameDnsFullyQualified, full, &size));
  std::u16string qualified(reinterpret_cast<const char16_t*>(full), size);
  EXPECT_EQ(0u, qualified.compare(0, name.size(), name));
  EXPECT_TRUE(qualified.size() == name.size() ||
              qualified[name.size()] == u'.');
}

}  // namespace
