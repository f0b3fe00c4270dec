#include "presentation/change_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "census/process_table.h"
#include "gditable/shared_table.h"
#include "sample/report_options.h"

namespace {

// A process owning brushes, each (unique, entry index), in table order.
void Add(ProcessTable& table, uint32_t pid, const char16_t* name,
         std::vector<std::pair<uint16_t, uint32_t>> brushes) {
  ProcessRecord record;
  record.pid = pid;
  std::u16string(name).copy(record.exeName, 259);
  for (auto [unique, index] : brushes) {
    HandleRecord handle = {};
    handle.entry.kernelAddress = 0xFFFFF90000000000 + index;
    handle.entry.ownerWord = pid;
    handle.entry.unique = unique;
    handle.entry.typeCode = 0x10;
    handle.handle = HandleValueOf(unique, index);
    ASSERT_TRUE(record.handles.Append(handle));
  }
  record.entryCount = static_cast<int32_t>(brushes.size());
  record.guiObjectCount = record.entryCount;
  record.categoryCounts[2] = record.entryCount;
  table.Set(pid, record);
}

std::vector<const ProcessRecord*> Listed(const ProcessTable& table,
                                         std::vector<uint32_t> pids) {
  std::vector<const ProcessRecord*> listed;
  for (uint32_t pid : pids)
    listed.push_back(table.Lookup(pid));
  return listed;
}

// A reused entry is one handle gone and another come, by handle value; a
// PID under a new name is another process; a process still there that the
// listing dropped shows its change after the listed ones.
// The changes as the text view prints them.
std::u16string Text(const SampleChanges& changes, bool showCounts) {
  std::u16string text;
  char line[kHandleChangeLineBytes];
  for (const ProcessChange& change : changes.processes) {
    AppendProcessChange(text, change, showCounts);
    for (size_t i = 0; i < change.handleCount; ++i) {
      char* end =
          FormatHandleChange(line, changes.handles[change.firstHandle + i]);
      text.append(line, end);
    }
  }
  return text;
}

TEST(FindChangesTest, HandlesAndProcessesThatCameAndWent) {
  ProcessTable before, after;
  Add(before, 4, u"a.exe", {{0x0410, 5}, {0x0210, 9}});
  Add(before, 8, u"b.exe", {{0x0110, 7}});
  Add(before, 12, u"c.exe", {{0x0110, 1}, {0x0110, 2}});
  Add(after, 4, u"a.exe", {{0x0410, 5}, {0x0310, 9}});
  Add(after, 8, u"z.exe", {{0x0510, 7}});
  Add(after, 12, u"c.exe", {{0x0110, 1}});
  std::vector<const ProcessRecord*> listedBefore = Listed(before, {4, 8, 12});
  std::vector<const ProcessRecord*> listedAfter = Listed(after, {8, 4});
  ReportOptions options;
  options.showHandles = true;
  std::u16string text;
  SampleChanges changes;
  auto print = [&] {
    FindChanges({&before, &listedBefore}, {&after, &listedAfter}, options,
                &changes);
    text = Text(changes, options.showCounts);
  };
  print();
  EXPECT_EQ(
      u"     8  z.exe                         started  GDI Total 1  GDI All 1\n"
      u"        + 0x0000000005100007    Brush                 "
      u"0xFFFFF90000000007\n"
      u"     4  a.exe                         GDI Total 2 -> 2 (0)  "
      u"GDI All 2 -> 2 (0)\n"
      u"        - 0x0000000002100009    Brush                 "
      u"0xFFFFF90000000009\n"
      u"        + 0x0000000003100009    Brush                 "
      u"0xFFFFF90000000009\n"
      u"     8  b.exe                         exited\n"
      u"    12  c.exe                         GDI Total 2 -> 1 (-1)  "
      u"GDI All 2 -> 1 (-1)\n"
      u"        - 0x0000000001100002    Brush                 "
      u"0xFFFFF90000000002\n",
      text);

  // Without -v the handles are not compared: a.exe's counts stay, so
  // nothing of it shows.
  options.showHandles = false;
  print();
  EXPECT_EQ(std::u16string::npos, text.find(u"a.exe"));
}

}  // namespace
