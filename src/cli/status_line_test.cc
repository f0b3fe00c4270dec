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

// The line never takes more columns than it is given, however narrow: the
// name is cut first, then whole pieces are left out from the end, so that
// no number is ever cut; a name cannot steer the terminal.
TEST(StatusLineTest, FitsTheColumnsGiven) {
  const struct {
    std::u16string name;
    size_t columns;
    std::u16string text;
  } cases[] = {
      {u"mspaint.exe", 77,
       u"sample 2 of 6, next in 2 s; grew most: mspaint.exe (4780) +60"},
      // ESC ]2;PWNED BEL ESC [2J, a tab, a C1 CSI, a right-to-left
      // override, an isolate and a line separator.
      {u"\x1b]2;PWNED\a\x1b[2J\tx\u009B\u202E\u2067\u2028.exe", 79,
       u"sample 2 of 6, next in 2 s; grew most: ?]2;PWNED??[2J?x????.exe "
       u"(4780) +60"},
      {u"a-rather-long-process-name.exe", 55,
       u"sample 2 of 6, next in 2 s; grew most: a-... (4780) +60"},
      // Wide characters take two columns each: the cut leaves room for
      // "..." and no half.
      {u"\u97F3\u4E50\u97F3\u4E50.exe", 60,
       u"sample 2 of 6, next in 2 s; grew most: \u97F3\u4E50\u97F3... (4780) "
       u"+60"},
      // The name cut to nothing but its mark, then the whole piece left out:
      // never its PID or growth.
      {u"mspaint.exe", 53,
       u"sample 2 of 6, next in 2 s; grew most: ... (4780) +60"},
      {u"mspaint.exe", 52, u"sample 2 of 6, next in 2 s"},
      {u"mspaint.exe", 25, u"sample 2 of 6"},
      {u"mspaint.exe", 12, u"sample 2"},
      {u"mspaint.exe", 7, u""},
      {u"mspaint.exe", 1, u""},
      // A name shorter than the mark fits where "..." would not.
      {u"ab", 52, u"sample 2 of 6, next in 2 s; grew most: ab (4780) +60"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.columns);
    GrowthTracker tracker;
    Grow(tracker, c.name);
    EXPECT_EQ(c.text, StatusText(2, 6, 1500, tracker, c.columns));
  }
}

}  // namespace
