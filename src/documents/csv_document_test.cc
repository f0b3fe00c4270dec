#include "documents/csv_document.h"

#include <gtest/gtest.h>

#include <string>

#include "census/process_record.h"
#include "output/output.h"
#include "sample/report_options.h"

namespace {

std::string Render(const std::vector<const ProcessRecord*>& processes,
                   const ReportOptions& options,
                   const CsvLeadingColumns& leading = {},
                   bool withHeader = true) {
  std::u16string units;
  {
    Output out(&units);
    WriteCsvDocument(processes, options, leading, withHeader, out);
  }
  return std::string(units.begin(), units.end());  // one unit a byte
}

TEST(WriteCsvDocumentTest, RowsAndQuoting) {
  ProcessRecord plain;
  plain.pid = 4524;
  std::u16string(u"note pad.exe").copy(plain.exeName, 12);
  plain.entryCount = 46;
  plain.guiObjectCount = 47;
  plain.gdiPeakCount = 52;
  plain.userObjectCount = 30;
  plain.userPeakCount = 31;
  for (int category = 0; category < kCategoryCount; ++category)
    plain.categoryCounts[category] = category;
  ProcessRecord quoted;
  quoted.pid = 8;
  // A comma, quotes, CR LF, a character beyond ASCII and a lone surrogate.
  std::u16string name = u"a,\"b\"\r\n\u00E9\xD800";
  name.copy(quoted.exeName, name.size());
  HandleRecord handle = {};
  handle.handle = 0x23100041;
  handle.entry.typeCode = 33;
  handle.entry.kernelAddress = 0xFFFFF9007B892530;
  quoted.handles.Append(handle);
  handle.entry.typeCode = 16;
  quoted.handles.Append(handle);

  ReportOptions options;
  EXPECT_EQ(
      "pid,name,gdiTotal,gdiAll,gdiPeak,userObjects,userPeak,Pen,ExtPen,Brush,"
      "Bitmap,Font,Palette,Region,DC,MetaDC,EnhMetaDC,OtherGDi\n"
      "4524,note pad.exe,46,47,52,30,31,0,1,2,3,4,5,6,7,8,9,10\n"
      "8,\"a,\"\"b\"\"\r\n\xC3\xA9\xEF\xBF\xBD\",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,"
      "0\n",
      Render({&plain, &quoted}, options));

  // Under -v a row per handle that -f keeps; leading columns go first.
  options.showHandles = true;
  options.typeFilter = u"dc";
  EXPECT_EQ(
      "sample,elapsedSeconds,pid,name,handle,type,typeCode,kernelAddress\n"
      "3,1.5,8,\"a,\"\"b\"\"\r\n\xC3\xA9\xEF\xBF\xBD\",0x0000000023100041,"
      "Alt. DC,33,0xFFFFF9007B892530\n",
      Render({&plain, &quoted}, options, {"sample,elapsedSeconds", "3,1.5"}));
  EXPECT_EQ("", Render({&plain}, options, {}, false));
}

}  // namespace
