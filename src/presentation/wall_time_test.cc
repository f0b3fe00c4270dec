#include "presentation/wall_time.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(WallTimeTest, FormatUtcTime) {
  const struct {
    uint64_t unixMilliseconds;
    const char* seconds;
    const char* milliseconds;
  } kCases[] = {
      {0, "1970-01-01T00:00:00Z", "1970-01-01T00:00:00.000Z"},
      {1767225600250, "2026-01-01T00:00:00Z", "2026-01-01T00:00:00.250Z"},
      // Leap days: every fourth year, and a century's year divisible by 400.
      {951782400000, "2000-02-29T00:00:00Z", "2000-02-29T00:00:00.000Z"},
      {1709251199999, "2024-02-29T23:59:59Z", "2024-02-29T23:59:59.999Z"},
      {1709251200000, "2024-03-01T00:00:00Z", "2024-03-01T00:00:00.000Z"},
      // 2100 is no leap year: 28 February is followed by 1 March.
      {4107499200000, "2100-02-28T12:00:00Z", "2100-02-28T12:00:00.000Z"},
      {4107542400000, "2100-03-01T00:00:00Z", "2100-03-01T00:00:00.000Z"},
      // The year's last millisecond stays in its year.
      {1798761599999, "2026-12-31T23:59:59Z", "2026-12-31T23:59:59.999Z"},
      {1798761600000, "2027-01-01T00:00:00Z", "2027-01-01T00:00:00.000Z"},
      {253402300799999, "9999-12-31T23:59:59Z", "9999-12-31T23:59:59.999Z"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(FormatUtcTime(c.unixMilliseconds, TimePrecision::Seconds),
              c.seconds);
    EXPECT_EQ(FormatUtcTime(c.unixMilliseconds, TimePrecision::Milliseconds),
              c.milliseconds);
  }
}

TEST(WallTimeTest, FormatClockTime) {
  const struct {
    uint64_t unixMilliseconds;
    int32_t offsetMinutes;
    const char* text;
  } kCases[] = {
      {1767225600999, 0, "00:00:00"},
      // Ahead of UTC past midnight, behind it before.
      {1798761599999 - 30 * 60 * 1000, 60, "00:29:59"},
      {1767232800000, -300, "21:00:00"},
      {1767225600000, 330, "05:30:00"},
      // Near 1970 the day before is still a day.
      {0, -60, "23:00:00"},
      {0, 1439, "23:59:00"},
      {0, -1439, "00:01:00"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(FormatClockTime(c.unixMilliseconds, c.offsetMinutes), c.text)
        << c.unixMilliseconds << " " << c.offsetMinutes;
  }
}

}  // namespace
