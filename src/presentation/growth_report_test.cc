#include "presentation/growth_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "census/process_table.h"
#include "watch/growth_testing.h"

namespace {

// The growth report as a text watch writes it.
std::u16string Report(const GrowthTracker& tracker, uint64_t samples,
                      uint64_t milliseconds, uint32_t quota) {
  std::u16string text;
  AppendGrowthHeading(tracker.Grown().empty(), samples, milliseconds,
                      tracker.Table(), text);
  for (const ProcessGrowth* process : tracker.Grown())
    AppendGrowthLine(*process, quota, text);
  return text;
}

// Ordered by the growth of GDI All, then of GDI Total; a process whose GDI
// All fell but whose GDI Total grew is listed; a new name under a PID is
// another process; rates are per minute over each process's own samples.
TEST(GrowthTest, OrderAndRates) {
  GrowthTracker tracker;
  ProcessTable table;
  NoteRecords(tracker, table,
              {GrowthRecord(4, u"a.exe", 10, 10, 1),
               GrowthRecord(8, u"b.exe", 10, 10, 1),
               GrowthRecord(12, u"c.exe", 10, 10, 1),
               GrowthRecord(16, u"d.exe", 10, 10, 1)},
              0);
  NoteRecords(tracker, table,
              {GrowthRecord(4, u"a.exe", 11, 12, 3),
               GrowthRecord(8, u"b.exe", 11, 11, 1),
               GrowthRecord(12, u"c.exe", 9, 13, 1),
               GrowthRecord(16, u"e.exe", 90, 90, 1)},
              7000);
  tracker.Judge();
  std::u16string text = Report(tracker, 2, 7999, 0);
  EXPECT_EQ(
      u"Growth over 2 samples, 7 s:\n"
      u"     4  a.exe                         GDI All 10 -> 11 (+1, "
      u"+8.6/min)  GDI Total 10 -> 12 (+2, +17.1/min)  Bitmap +2  still "
      u"growing +8.6/min\n"
      u"     8  b.exe                         GDI All 10 -> 11 (+1, "
      u"+8.6/min)  GDI Total 10 -> 11 (+1, +8.6/min)  still growing "
      u"+8.6/min\n"
      u"    12  c.exe                         GDI All 10 -> 9 (-1, "
      u"-8.6/min)  GDI Total 10 -> 13 (+3, +25.7/min)  up and down, 9 to "
      u"10\n",
      text);

  GrowthTracker none;
  none.Judge();
  EXPECT_EQ(u"Growth over 1 sample, 0 s:\nNo process grew.\n",
            Report(none, 1, 0, 0));
}

// A time ahead: minutes under 2 h, hours and minutes under 2 days, then
// days, each rounded, and never less than a minute.
TEST(GrowthTest, AboutTime) {
  const struct {
    double seconds;
    const char* text;
  } cases[] = {
      {0, "about 1 min"},
      {89, "about 1 min"},
      {91, "about 2 min"},
      {119 * 60 + 29, "about 119 min"},
      {119 * 60 + 31, "about 2 h"},
      {2 * 3600 + 15 * 60, "about 2 h 15 min"},
      {2879 * 60 + 29, "about 47 h 59 min"},
      {2879 * 60 + 31, "about 2 days"},
      {3.5 * 86400 - 1, "about 3 days"},
      {3.5 * 86400 + 1, "about 4 days"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(c.text, AboutTime(c.seconds));
  }
}

// Each process against the quota at its own GDI All's rate, one already at
// it, one whose GDI All did not grow; the table against its slots.
TEST(GrowthTest, QuotaAndTable) {
  GrowthTracker tracker(10000);
  ProcessTable table;
  NoteRecords(tracker, table,
              {GrowthRecord(4, u"a.exe", 100, 100, 0),
               GrowthRecord(8, u"b.exe", 9990, 10, 0),
               GrowthRecord(12, u"c.exe", 50, 10, 0)},
              0);
  tracker.NoteTable(65536, 7604, 0);
  NoteRecords(tracker, table,
              {GrowthRecord(4, u"a.exe", 160, 100, 0),
               GrowthRecord(8, u"b.exe", 10001, 10, 0),
               GrowthRecord(12, u"c.exe", 50, 11, 0)},
              60000);
  tracker.NoteTable(65536, 7664, 60000);
  tracker.Judge();
  std::u16string text = Report(tracker, 2, 60000, 10000);
  EXPECT_EQ(
      u"Growth over 2 samples, 60 s:\n"
      u"Table: 7,604 -> 7,664 of 65,536 entries (+60, full in about 16 h 5 "
      u"min)\n"
      u"     4  a.exe                         GDI All 100 -> 160 (+60, "
      u"+60.0/min)  GDI Total 100 -> 100 (0, +0.0/min)  still growing "
      u"+60.0/min, quota 10,000 in about 2 h 44 min\n"
      u"     8  b.exe                         GDI All 9990 -> 10001 (+11, "
      u"+11.0/min)  GDI Total 10 -> 10 (0, +0.0/min)  still growing "
      u"+11.0/min, already at the quota\n"
      u"    12  c.exe                         GDI All 50 -> 50 (0, +0.0/min)  "
      u"GDI Total 10 -> 11 (+1, +1.0/min)  held at 50 throughout\n",
      text);
}

// The verdict's figures as the report words them: a time in the watch
// truncated to the second, the minute, then hours and minutes.
TEST(GrowthTest, TrendText) {
  Trend growing;
  growing.word = TrendWord::StillGrowing;
  growing.perMinute = 1.96;
  Trend held;
  held.word = TrendWord::Held;
  held.level = 1279;
  Trend churn;
  churn.word = TrendWord::UpAndDown;
  churn.least = 150;
  churn.greatest = 10310;
  const struct {
    Trend trend;
    uint64_t levelMilliseconds;
    const char* text;
  } cases[] = {
      {growing, 0, "still growing +2.0/min"},
      {held, 59999, "held at 1,279 since +59 s"},
      {held, 60000, "held at 1,279 since +1 min"},
      {held, 3599999, "held at 1,279 since +59 min"},
      {held, 3990000, "held at 1,279 since +1 h 6 min"},
      {held, 7200000, "held at 1,279 since +2 h"},
      {churn, 0, "up and down, 150 to 10,310"},
  };
  for (const auto& c : cases) {
    Trend trend = c.trend;
    trend.levelMilliseconds = c.levelMilliseconds;
    EXPECT_EQ(c.text, TrendText(trend));
  }
}

}  // namespace
