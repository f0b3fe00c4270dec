#include "text/details.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "census/process_record.h"
#include "gditable/object_types.h"
#include "output/output.h"
#include "sample/report_options.h"

namespace {

HandleRecord MakeHandle(uint64_t handle, uint8_t typeCode,
                        uint64_t kernelAddress) {
  HandleRecord record = {};
  record.handle = handle;
  record.entry.typeCode = typeCode;
  record.entry.kernelAddress = kernelAddress;
  return record;
}

// notepad.exe with a distinct value in every counter, a Brush and a Pen.
ProcessRecord Notepad() {
  ProcessRecord record;
  record.pid = 4524;
  std::u16string(u"notepad.exe").copy(record.exeName, 11);
  record.guiObjectCount = 47;
  record.entryCount = 66;
  // Pen 1, ExtPen 2, ... OtherGDi 11.
  for (int category = 0; category < kCategoryCount; ++category)
    record.categoryCounts[category] = category + 1;
  record.handles.Append(MakeHandle(5, 16, 26));
  record.handles.Append(MakeHandle(0x2A0030, 48, 0xFFFFF90000A3B2C0));
  return record;
}

const std::u16string kPidLine =
    u"PID:  4524  Name: notepad.exe                   GDI Total:   66  All:   47 \n";
const std::u16string kCounts =
    u" Pen ExtPen Brush Bitmap Font Palette Region   DC MetaDC EnhMetaDC OtherGDi\n"
    u"   1     2      3     4     5      6      7     8     9       10       11\n";
const std::u16string kHandleHeader =
    u"Handle                Object Type           Kernel Address\n";
const std::u16string kBrushLine =
    u"0x0000000000000005    Brush                 0x000000000000001A\n";
const std::u16string kPenLine =
    u"0x00000000002A0030    Pen                   0xFFFFF90000A3B2C0\n";

ReportOptions Options(bool counts, bool handles) {
  ReportOptions options;
  options.showCounts = counts;
  options.showHandles = handles;
  return options;
}

ReportOptions Filter(const std::u16string& filter, bool counts = false) {
  ReportOptions options = Options(counts, true);
  options.typeFilter = filter;
  return options;
}

std::u16string Print(const ProcessRecord& record,
                     const ReportOptions& options) {
  std::u16string text;
  Output out(&text);
  PrintDetails(record, options, out);
  return text;
}

TEST(PrintDetailsTest, CountsOnly) {
  EXPECT_EQ(kPidLine + kCounts + u"\n", Print(Notepad(), Options(true, false)));
}

TEST(PrintDetailsTest, HandlesOnly) {
  EXPECT_EQ(kPidLine + kHandleHeader + kBrushLine + kPenLine + u"\n",
            Print(Notepad(), Options(false, true)));
}

TEST(PrintDetailsTest, CountsBeforeHandles) {
  EXPECT_EQ(kPidLine + kCounts + kHandleHeader + kBrushLine + kPenLine + u"\n",
            Print(Notepad(), Options(true, true)));
}

TEST(PrintDetailsTest, EmptyHandleList) {
  ProcessRecord record = Notepad();
  record.handles = HandleList();
  EXPECT_EQ(kPidLine + kHandleHeader + u"\n",
            Print(record, Options(false, true)));
  EXPECT_EQ(kPidLine + kCounts + kHandleHeader + u"\n",
            Print(record, Options(true, true)));
}

TEST(PrintDetailsTest, EveryHandleFilteredOut) {
  EXPECT_EQ(kPidLine + kHandleHeader + u"\n",
            Print(Notepad(), Filter(u"font")));
  // The filter narrows the handle lines only, never the counts.
  EXPECT_EQ(kPidLine + kCounts + kHandleHeader + u"\n",
            Print(Notepad(), Filter(u"region", true)));
}

TEST(PrintDetailsTest, TheBrushLine) {
  ProcessRecord record = Notepad();
  record.handles = HandleList();
  record.handles.Append(MakeHandle(5, 16, 26));
  EXPECT_EQ(
      kPidLine + kHandleHeader +
          u"0x0000000000000005    Brush                 0x000000000000001A\n"
          u"\n",
      Print(record, Options(false, true)));
  EXPECT_EQ(kPidLine + kHandleHeader + kBrushLine + u"\n",
            Print(Notepad(), Filter(u"bRuSh")));
}

TEST(PrintDetailsTest, LinesOfOtherRecords) {
  ProcessRecord record;
  record.pid = 102344;
  std::u16string(u"Code.exe").copy(record.exeName, 8);
  record.entryCount = -1;
  record.guiObjectCount = 100000;
  record.categoryCounts[IndexOf(ObjectCategory::ExtPen)] = -1;
  record.categoryCounts[IndexOf(ObjectCategory::Brush)] = 1000;
  record.categoryCounts[IndexOf(ObjectCategory::Bitmap)] = -1000;
  record.categoryCounts[IndexOf(ObjectCategory::Font)] = 12345;
  record.categoryCounts[IndexOf(ObjectCategory::OtherGDi)] = 2147483647;
  // Upper half of the handle, all sixteen digits of the address.
  record.handles.Append(MakeHandle(0xFFFFFFFF, 70, 0xFFFFFFFFFFFFFFFF));
  record.handles.Append(MakeHandle(0, 255, 0));
  EXPECT_EQ(
      u"PID: 102344  Name: Code.exe                      GDI Total:   -1  All: 100000 \n"
      u" Pen ExtPen Brush Bitmap Font Palette Region   DC MetaDC EnhMetaDC OtherGDi\n"
      u"   0    -1    1000  -1000   12345      0      0     0     0        0      2147483647\n"
      u"Handle                Object Type           Kernel Address\n"
      u"0x00000000FFFFFFFF    Enhanced Metafile     0xFFFFFFFFFFFFFFFF\n"
      u"0x0000000000000000    Unknown               0x0000000000000000\n"
      u"\n",
      Print(record, Options(true, true)));
}

TEST(PrintDetailsTest, LongName) {
  ProcessRecord record;
  record.pid = 4;
  std::u16string name = u"Microsoft.Notes.StickyNotes.exe";
  name.copy(record.exeName, name.size());
  EXPECT_EQ(
      u"PID:     4  Name: Microsoft.Notes.StickyNotes.exe  GDI Total:    0  All:    0 \n"
      u"Handle                Object Type           Kernel Address\n"
      u"\n",
      Print(record, Options(false, true)));
}

// One handle of each named type and a few unnamed ones, with handle values
// 1, 2, ... in list order.
ProcessRecord EveryType() {
  ProcessRecord record;
  record.pid = 2212;
  std::u16string(u"explorer.exe").copy(record.exeName, 12);
  const uint8_t codes[] = {1,  2,  4,  5,  6,  8,   10,  16, 33,
                           37, 38, 48, 70, 80, 102, 103, 255};
  uint64_t handle = 0;
  for (uint8_t code : codes)
    record.handles.Append(
        MakeHandle(++handle, code, 0xFFFFF90000000000 + code));
  return record;
}

// The type names of the handle lines of a block, in printed order.
std::vector<std::u16string> ListedNames(const std::u16string& block) {
  std::vector<std::u16string> names;
  size_t start = block.find(kHandleHeader);
  if (start == std::u16string::npos)
    return names;
  start += kHandleHeader.size();
  for (size_t end; (end = block.find(u'\n', start)) != std::u16string::npos;
       start = end + 1) {
    std::u16string line = block.substr(start, end - start);
    if (line.empty())
      break;
    std::u16string name = line.substr(22, 18);
    name.erase(name.find_last_not_of(u' ') + 1);
    names.push_back(name);
  }
  return names;
}

TEST(PrintDetailsTest, TypeFilter) {
  using Names = std::vector<std::u16string>;
  const struct {
    const char16_t* filter;
    Names names;
  } kCases[] = {
      {u"dc", {u"DC", u"Alt. DC", u"Metafile DC"}},
      {u"DC", {u"DC", u"Alt. DC", u"Metafile DC"}},
      {u"metafile", {u"Metafile", u"Enhanced Metafile", u"Metafile DC"}},
      {u"unk", {u"Unknown", u"Unknown", u"Unknown"}},
      {u"bRuSh", {u"Brush"}},
      {u"pen", {u"Pen", u"ExtPen"}},
      {u"dib section", {u"DIB Section"}},
      {u"t. D", {u"Alt. DC"}},
      {u"Brushes", {}},
  };
  ProcessRecord record = EveryType();
  for (const auto& c : kCases) {
    SCOPED_TRACE(
        std::string(c.filter, c.filter + std::u16string(c.filter).size()));
    std::u16string block = Print(record, Filter(c.filter));
    EXPECT_EQ(c.names, ListedNames(block));
    // The block still ends with exactly one empty line.
    ASSERT_GE(block.size(), 2u);
    EXPECT_EQ(u"\n\n", block.substr(block.size() - 2));
  }
}

TEST(PrintDetailsTest, FilteredLinesKeepTheirHandles) {
  std::u16string block = Print(EveryType(), Filter(u"dc"));
  EXPECT_EQ(
      u"PID:  2212  Name: explorer.exe                  GDI Total:    0  All:    0 \n"
      u"Handle                Object Type           Kernel Address\n"
      u"0x0000000000000001    DC                    0xFFFFF90000000001\n"
      u"0x0000000000000009    Alt. DC               0xFFFFF90000000021\n"
      u"0x000000000000000F    Metafile DC           0xFFFFF90000000066\n"
      u"\n",
      block);
}

TEST(PrintDetailsTest, WithoutFilterEveryHandleIsListed) {
  std::vector<std::u16string> expected = {u"DC",
                                          u"Unknown",
                                          u"Region",
                                          u"Bitmap",
                                          u"Client Object",
                                          u"Palette",
                                          u"Font",
                                          u"Brush",
                                          u"Alt. DC",
                                          u"DIB Section",
                                          u"Metafile",
                                          u"Pen",
                                          u"Enhanced Metafile",
                                          u"ExtPen",
                                          u"Metafile DC",
                                          u"Unknown",
                                          u"Unknown"};
  EXPECT_EQ(expected, ListedNames(Print(EveryType(), Options(false, true))));
}

}  // namespace
