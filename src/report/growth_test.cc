#include "report/growth.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "census/process_table.h"

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

// Notes a sample of `records`, all recorded and listed.
void Note(GrowthTracker& tracker, ProcessTable& table,
          const std::vector<ProcessRecord>& records, uint64_t milliseconds) {
  table.Clear();
  std::vector<const ProcessRecord*> listed;
  for (const ProcessRecord& record : records)
    table.Set(record.pid, record);
  for (const ProcessRecord& record : records)
    listed.push_back(table.Lookup(record.pid));
  tracker.Note(table, listed, milliseconds);
}

// Ordered by the growth of GDI All, then of GDI Total; a process whose GDI
// All fell but whose GDI Total grew is listed; a new name under a PID is
// another process; rates are per minute over each process's own samples.
TEST(GrowthTest, OrderAndRates) {
  GrowthTracker tracker;
  ProcessTable table;
  Note(tracker, table,
       {Record(4, u"a.exe", 10, 10, 1), Record(8, u"b.exe", 10, 10, 1),
        Record(12, u"c.exe", 10, 10, 1), Record(16, u"d.exe", 10, 10, 1)},
       0);
  Note(tracker, table,
       {Record(4, u"a.exe", 11, 12, 3), Record(8, u"b.exe", 11, 11, 1),
        Record(12, u"c.exe", 9, 13, 1), Record(16, u"e.exe", 90, 90, 1)},
       7000);
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

// A process is a PID under a name from its start to its exit: one that
// exits and starts again under the same PID and name is another process,
// and neither grew. One the listing drops while the census still records
// it stays the same process.
TEST(GrowthTest, ExitedAndStartedAgainIsAnotherProcess) {
  GrowthTracker tracker;
  ProcessTable table;
  Note(tracker, table, {Record(500, u"app.exe", 10, 1, 0)}, 0);
  uint64_t first = tracker.ListedIds().at(0);
  Note(tracker, table, {}, 1000);
  EXPECT_EQ(std::vector<uint64_t>{first}, tracker.Exited());
  Note(tracker, table, {Record(500, u"app.exe", 50, 1, 0)}, 2000);
  EXPECT_NE(first, tracker.ListedIds().at(0));
  EXPECT_TRUE(tracker.Grown().empty());

  // Recorded but not listed: still the same process when listed again.
  uint64_t again = tracker.ListedIds().at(0);
  table.Clear();
  table.Set(500, Record(500, u"app.exe", 60, 1, 0));
  tracker.Note(table, {}, 3000);
  EXPECT_TRUE(tracker.Exited().empty());
  Note(tracker, table, {Record(500, u"app.exe", 70, 1, 0)}, 4000);
  EXPECT_EQ(again, tracker.ListedIds().at(0));
  ASSERT_EQ(1u, tracker.Grown().size());
  EXPECT_EQ(50u, tracker.Grown()[0]->first.counts.gdiAll);
}

}  // namespace
