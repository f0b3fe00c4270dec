#include "report/html_document.h"

#include <gtest/gtest.h>

#include "census/process_record.h"
#include "cli/run_options.h"

namespace {

HandleRecord MakeHandle(uint64_t handle, uint8_t typeCode, uint16_t unique,
                        uint64_t kernelAddress) {
  HandleRecord record = {};
  record.handle = handle;
  record.entry.typeCode = typeCode;
  record.entry.unique = unique;
  record.entry.kernelAddress = kernelAddress;
  return record;
}

TEST(MakeSnapshotReportTest, CountsAndFilteredHandles) {
  ProcessRecord record;
  record.pid = 4524;
  std::u16string name = u"notepad.exe";
  name.copy(record.exeName, name.size());
  record.entryCount = 2;
  record.guiObjectCount = 3;
  for (int category = 0; category < kCategoryCount; ++category)
    record.categoryCounts[category] = category + 1;
  // A pen is a brush in the type byte and a pen in its full type.
  record.handles.Append(MakeHandle(0x01300005, 16, 0x0130, 26));
  record.handles.Append(MakeHandle(0x02100006, 16, 0x0210, 0xFFFFF90000001000));

  RunOptions options;
  options.typeFilter = u"PEN";
  SnapshotReport report = MakeSnapshotReport({&record}, options);
  ASSERT_EQ(report.processes.size(), 1u);
  const SnapshotProcess& process = report.processes[0];
  EXPECT_FALSE(report.showHandles);
  EXPECT_EQ(process.pid, 4524u);
  EXPECT_EQ(process.name, u"notepad.exe");
  EXPECT_EQ(process.gdiTotal, 2);
  EXPECT_EQ(process.gdiAll, 3);
  EXPECT_EQ(process.categories[0], 1);
  EXPECT_EQ(process.categories[kObjectCategoryCount - 1], 11);
  EXPECT_TRUE(process.handles.empty());  // handles only under -v

  options.showHandles = true;
  report = MakeSnapshotReport({&record}, options);
  EXPECT_TRUE(report.showHandles);
  const std::vector<SnapshotHandle>& handles = report.processes[0].handles;
  ASSERT_EQ(handles.size(), 1u);
  EXPECT_EQ(handles[0].handle, 0x01300005u);
  EXPECT_EQ(handles[0].type, u"Pen");
  EXPECT_EQ(handles[0].kernelAddress, 26u);
}

}  // namespace
