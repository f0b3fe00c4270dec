#include "text/summary.h"

#include <gtest/gtest.h>

#include <string>

#include "census/process_record.h"
#include "output/output.h"

namespace {

ProcessRecord MakeRecord(uint32_t pid, const std::u16string& name,
                         int32_t entryCount, int32_t guiObjectCount) {
  ProcessRecord record;
  record.pid = pid;
  name.copy(record.exeName, name.size());
  record.entryCount = entryCount;
  record.guiObjectCount = guiObjectCount;
  return record;
}

const char16_t kHeader[] =
    u"Process ID    Process Name                  GDI Total    GDI All\n";

TEST(PrintSummaryTest, HeaderOnceBeforeTheFirstRow) {
  std::u16string text;
  {
    Output out(&text);
    bool headerPrinted = false;
    PrintSummary(MakeRecord(4, u"System", 6, 6), headerPrinted, out);
    EXPECT_TRUE(headerPrinted);
    PrintSummary(MakeRecord(2212, u"explorer.exe", 1391, 1480), headerPrinted,
                 out);
    EXPECT_TRUE(headerPrinted);
  }
  EXPECT_EQ(
      u"Process ID    Process Name                  GDI Total    GDI All\n"
      u"     4        System                               6         6 \n"
      u"  2212        explorer.exe                      1391      1480 \n",
      text);
}

TEST(PrintSummaryTest, NoHeaderOnceItIsPrinted) {
  std::u16string text;
  Output out(&text);
  bool headerPrinted = true;
  PrintSummary(MakeRecord(4, u"System", 0, 6), headerPrinted, out);
  EXPECT_TRUE(headerPrinted);
  EXPECT_EQ(
      u"     4        System                               0         6 \n",
      text);
}

TEST(PrintSummaryTest, Rows) {
  const struct {
    ProcessRecord record;
    const char16_t* row;
  } kCases[] = {
      // A six-digit PID takes seven columns and shifts the row by one.
      {MakeRecord(102344, u"Code.exe", 12, 266),
       u" 102344        Code.exe                            12       266 \n"},
      // A name longer than its 28 columns is printed whole.
      {MakeRecord(3616, u"WindowsPackageManagerServer.exe", 25, 29),
       u"  3616        WindowsPackageManagerServer.exe        25        29 \n"},
      {MakeRecord(3616, u"ABCDEFGHIJKLMNOPQRSTUVWXYZ.e", 1, 2),
       u"  3616        ABCDEFGHIJKLMNOPQRSTUVWXYZ.e         1         2 \n"},
      // Counts and PIDs print as signed 32-bit numbers.
      {MakeRecord(4524, u"notepad.exe", -3, -1),
       u"  4524        notepad.exe                         -3        -1 \n"},
      {MakeRecord(0x80000000u, u"x", 100000, -100000),
       u"-2147483648        x                                 100000     -100000 \n"},
      // The name's width counts UTF-16 units.
      {MakeRecord(6956, u"\u5FAE\u4FE1.exe", 0, 64),
       u"  6956        \u5FAE\u4FE1.exe                               0        64 \n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.record.pid);
    std::u16string text;
    Output out(&text);
    bool headerPrinted = false;
    PrintSummary(c.record, headerPrinted, out);
    EXPECT_EQ(kHeader + std::u16string(c.row), text);
  }
}

}  // namespace
