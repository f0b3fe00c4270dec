#include "cli/status_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "census/process_table.h"
#include "watch/growth.h"

namespace {

// A watch of two samples in which `name` (PID 4780) grew by 60.
void Grow(GrowthTracker& tracker, const std::u16string& name) {
  ProcessTable table;
  for (int32_t count : {121, 181}) {
    table.Clear();
    ProcessRecord record;
    record.pid = 4780;
    name.copy(record.exeName, 259);
    record.guiObjectCount = count;
    record.entryCount = count;
    table.Set(record.pid, record);
    std::vector<const ProcessRecord*> listed = {table.Lookup(record.pid)};
    tracker.Note(table, listed, count == 121 ? 0 : 2000);
  }
}

// The line never takes more columns than it is given, however narrow, and
// a name cannot command the terminal.
TEST(StatusLineTest, FitsTheColumnsGiven) {
  const struct {
    std::u16string name;
    size_t columns;
    std::u16string text;
  } cases[] = {
      {u"mspaint.exe", 77,
       u"sample 2 of 6, next in 2 s; grew most: mspaint.exe (4780) +60"},
      // ESC ]2;PWNED BEL ESC [2J, and a tab.
      {u"\x1b]2;PWNED\a\x1b[2J\tx.exe", 77,
       u"sample 2 of 6, next in 2 s; grew most: ?]2;PWNED??[2J?x.exe (4780) "
       u"+60"},
      {u"a-rather-long-process-name.exe", 55,
       u"sample 2 of 6, next in 2 s; grew most: a-... (4780) +60"},
      // Wide characters take two columns each: the cut leaves room for
      // "..." and no half.
      {u"\u97F3\u4E50\u97F3\u4E50.exe", 60,
       u"sample 2 of 6, next in 2 s; grew most: \u97F3\u4E50\u97F3... (4780) "
       u"+60"},
      {u"mspaint.exe", 7, u"sample "},
      {u"mspaint.exe", 1, u"s"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.columns);
    GrowthTracker tracker;
    Grow(tracker, c.name);
    EXPECT_EQ(c.text, StatusText(2, 6, 1500, tracker, c.columns));
  }
}

}  // namespace
