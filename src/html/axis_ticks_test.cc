#include "html/axis_ticks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The time axis ends where the watch did, its ticks at round steps up to
// that end, and labels the end in the clock form the axis's length asks for.
TEST(AxisTicksTest, TimeAxisEndsAtTheWatchsEnd) {
  const struct {
    const char* what;
    double high;
    int maxTicks;
    double step;
    double lastTick;
    const char* endLabel;
  } kCases[] = {
      {"12 h 29 min", 12 * 3600 + 29 * 60, 8, 7200, 12 * 3600, "12:29:00"},
      {"10 s, a whole number of steps", 10, 8, 2, 10, "10 s"},
      {"95 s", 95, 8, 15, 90, "95 s"},
      {"25 min 3 s, narrow", 25 * 60 + 3, 4, 600, 1200, "25:03"},
      {"3 days and an hour", 3 * 86400 + 3600, 8, 43200, 3 * 86400, "73:00:00"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    AxisTicks ticks = TimeTicks(0, c.high, c.maxTicks);
    EXPECT_EQ(0, ticks.low);
    EXPECT_EQ(c.high, ticks.high);
    EXPECT_EQ(c.step, ticks.step);
    ASSERT_FALSE(ticks.values.empty());
    EXPECT_EQ(0, ticks.values.front());
    EXPECT_EQ(c.lastTick, ticks.values.back());
    EXPECT_LE(static_cast<int>(ticks.values.size()) - 1, c.maxTicks);
    EXPECT_EQ(c.endLabel, FormatTickTime(ticks.high, ticks.high));
  }
}

// A watch of one sample still gets an axis one step long; values no axis
// can draw give an empty one rather than a runaway loop.
TEST(AxisTicksTest, DegenerateRanges) {
  AxisTicks one = TimeTicks(0, 0, 8);
  EXPECT_EQ(0, one.low);
  EXPECT_EQ(1, one.high);
  EXPECT_EQ((std::vector<double>{0, 1}), one.values);

  AxisTicks huge = TimeTicks(0, 1e300, 8);
  EXPECT_EQ(0, huge.low);
  EXPECT_EQ(1, huge.high);
}

// Counts round their axis up to a tick, so that the highest line stays
// below the top, and never step by less than one object.
TEST(AxisTicksTest, CountAxisEndsAtARoundTick) {
  AxisTicks ticks = CountTicks(0, 1234, 6);
  EXPECT_EQ(500, ticks.step);
  EXPECT_EQ(1500, ticks.high);
  EXPECT_EQ(1, CountTicks(0, 3, 6).step);
  EXPECT_EQ("12,000", FormatTickCount(12000));
}

}  // namespace
