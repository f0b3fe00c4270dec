#include "report/growth.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ProcessRecord Record(uint32_t pid, const char16_t* name, int32_t all,
                     int32_t total, int32_t bitmaps) {
  ProcessRecord record;
  record.pid = pid;
  std::u16string(name).copy(record.exeName, 259);
  record.guiObjectCount = all;
  record.entryCount = total;
  record.categoryCounts[3] = bitmaps;
  return record;
}

// Ordered by the growth of GDI All, then of GDI Total; a process whose GDI
// All fell but whose GDI Total grew is listed; a new name under a PID is
// another process; rates are per minute over each process's own samples.
TEST(GrowthTest, OrderAndRates) {
  GrowthTracker tracker;
  ProcessRecord first[] = {
      Record(4, u"a.exe", 10, 10, 1), Record(8, u"b.exe", 10, 10, 1),
      Record(12, u"c.exe", 10, 10, 1), Record(16, u"d.exe", 10, 10, 1)};
  ProcessRecord last[] = {
      Record(4, u"a.exe", 11, 12, 3), Record(8, u"b.exe", 11, 11, 1),
      Record(12, u"c.exe", 9, 13, 1), Record(16, u"e.exe", 90, 90, 1)};
  tracker.Note({&first[0], &first[1], &first[2], &first[3]}, 0);
  tracker.Note({&last[0], &last[1], &last[2], &last[3]}, 7000);
  std::u16string text;
  AppendGrowthReport(tracker.Grown(), 2, 7999, text);
  EXPECT_EQ(
      u"Growth over 2 samples, 7 s:\n"
      u"     4  a.exe                         GDI All 10 -> 11 (+1, "
      u"+8.6/min)  GDI Total 10 -> 12 (+2, +17.1/min)  Bitmap +2\n"
      u"     8  b.exe                         GDI All 10 -> 11 (+1, "
      u"+8.6/min)  GDI Total 10 -> 11 (+1, +8.6/min)\n"
      u"    12  c.exe                         GDI All 10 -> 9 (-1, "
      u"-8.6/min)  GDI Total 10 -> 13 (+3, +25.7/min)\n",
      text);

  text.clear();
  AppendGrowthReport({}, 1, 0, text);
  EXPECT_EQ(u"Growth over 1 sample, 0 s:\nNo process grew.\n", text);
}

}  // namespace
