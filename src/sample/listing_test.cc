#include "sample/listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "census/process_table.h"
#include "sample/report_options.h"

namespace {

struct ListingCase {
  const char* what;
  SortOrder order;
  uint32_t threshold;
  std::u16string targetName;  // empty: no target
  std::vector<uint32_t> pids;
};

TEST(ListedProcessesTest, OrdersThresholdAndTarget) {
  struct Row {
    uint32_t pid;
    std::u16string name;
    int32_t total;
    int32_t all;
  };
  // Names that sort differently when folded to lower case ('_' comes after
  // upper-case letters), equal names and totals for the PID to decide, and
  // a GDI All past 2^31.
  const Row rows[] = {{8, u"b.exe", 5, 10},
                      {4, u"B.exe", 5, 20},
                      {12, u"a.exe", 7, 10},
                      {16, u"_x.exe", 1, -1},
                      {20, u"\u00E9.exe", 3, 2}};
  ProcessTable table;
  for (const Row& row : rows) {
    ProcessRecord record;
    record.pid = row.pid;
    row.name.copy(record.exeName, row.name.size());
    record.entryCount = row.total;
    record.guiObjectCount = row.all;
    table.Set(row.pid, record);
  }
  const ListingCase cases[] = {
      {"the table's bins", SortOrder::Table, 0, u"", {20, 4, 8, 12, 16}},
      {"pid", SortOrder::Pid, 0, u"", {4, 8, 12, 16, 20}},
      {"name", SortOrder::Name, 0, u"", {12, 4, 8, 16, 20}},
      {"total", SortOrder::Total, 0, u"", {12, 4, 8, 20, 16}},
      {"all", SortOrder::All, 0, u"", {16, 4, 8, 12, 20}},
      {"at least 10", SortOrder::Pid, 10, u"", {4, 8, 12, 16}},
      {"at least 15, named b", SortOrder::Table, 15, u"b", {4}},
  };
  for (const ListingCase& c : cases) {
    SCOPED_TRACE(c.what);
    ReportOptions options;
    options.order = c.order;
    options.threshold = c.threshold;
    if (!c.targetName.empty()) {
      options.targetMode = TargetMode::ByName;
      options.targetName = c.targetName;
    }
    std::vector<uint32_t> pids;
    for (const ProcessRecord* record : ListedProcesses(table, options))
      pids.push_back(record->pid);
    EXPECT_EQ(c.pids, pids);
  }
}

}  // namespace
