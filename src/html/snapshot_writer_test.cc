#include "html/snapshot_writer.h"

#include <gtest/gtest.h>

#include "census/process_record.h"
#include "sample/report_options.h"

namespace {

TEST(MakeSnapshotReportTest, CountsAndFilteredHandles) {
  ProcessRecord record;
  record.pid = 4524;
  record.entryCount = 2;
  record.guiObjectCount = 3;
  for (int category = 0; category < kCategoryCount; ++category)
    record.categoryCounts[category] = category + 1;
  // A pen is a brush in the type byte and a pen in its full type.
  HandleRecord pen = {};
  pen.handle = 0x01300005;
  pen.entry.typeCode = 16;
  pen.entry.unique = 0x0130;
  pen.entry.kernelAddress = 26;
  HandleRecord brush = pen;
  brush.entry.unique = 0x0210;
  record.handles.Append(pen);
  record.handles.Append(brush);
  ReportOptions options;
  options.showHandles = true;
  options.typeFilter = u"PEN";

  SnapshotReport report = MakeSnapshotReport({&record}, options);
  ASSERT_EQ(report.processes.size(), 1u);
  const SnapshotProcess& process = report.processes[0];
  EXPECT_TRUE(report.showHandles);
  EXPECT_EQ(process.counts.gdiTotal, 2u);
  EXPECT_EQ(process.counts.gdiAll, 3u);
  EXPECT_EQ(process.counts.categories[kCategoryCount - 1], 11u);
  ASSERT_EQ(process.handles.size(), 1u);
  EXPECT_EQ(process.handles[0].handle, 0x01300005u);
  EXPECT_EQ(process.handles[0].type, u"Pen");
  EXPECT_EQ(process.handles[0].kernelAddress, 26u);
}

}  // namespace
