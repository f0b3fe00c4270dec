#include "cli/status_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "census/process_table.h"
#include "watch/growth.h"

namespace {

// The line a watch shows when the process that grew most has `name`.
std::u16string StatusOf(const std::u16string& name) {
  ProcessTable table;
  ProcessRecord record;
  record.pid = 4780;
  name.copy(record.exeName, 259);
  GrowthTracker growth;
  for (int32_t all : {100, 160}) {
    record.guiObjectCount = all;
    table.Clear();
    table.Set(record.pid, record);
    growth.Note(table, {table.Lookup(record.pid)}, 0);
  }
  return StatusText(12, 720, 4000, growth);
}

// A name too long for the line is cut, with "...", so that the line takes
// 79 columns; a wide character takes two.
TEST(StatusLineTest, CutTo79Columns) {
  const std::u16string kStart = u"sample 12 of 720, next in 4 s; grew most: ";
  const std::u16string kEnd = u" (4780) +60";
  EXPECT_EQ(kStart + u"mspaint.exe" + kEnd, StatusOf(u"mspaint.exe"));

  std::u16string ascii = StatusOf(std::u16string(60, u'a'));
  EXPECT_EQ(kStart +
                std::u16string(79 - kStart.size() - kEnd.size() - 3, u'a') +
                u"..." + kEnd,
            ascii);
  EXPECT_EQ(79u, ascii.size());

  // 53 columns before and after the name leave 26: 11 wide characters and
  // the "...".
  std::u16string wide = StatusOf(std::u16string(40, u'\u753B'));
  EXPECT_EQ(kStart + std::u16string(11, u'\u753B') + u"..." + kEnd, wide);
}

}  // namespace
