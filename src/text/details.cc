#include "text/details.h"

#include <algorithm>
#include <string>

#include "census/process_record.h"
#include "gditable/object_types.h"
#include "output/output.h"
#include "presentation/format.h"
#include "presentation/handle_line.h"
#include "sample/report_options.h"
#include "sample/type_filter.h"

namespace {

void AppendCounts(std::u16string& line, const ProcessRecord& record) {
  // " Pen ExtPen Brush Bitmap Font Palette Region   DC MetaDC EnhMetaDC
  // OtherGDi": each name after the spaces that keep it over its column.
  static const char16_t* const kGapBefore[kCategoryCount] = {
      u" ", u" ", u" ", u" ", u" ", u" ", u" ", u"   ", u" ", u" ", u" "};
  for (int category = 0; category < kCategoryCount; ++category) {
    AppendText(line, kGapBefore[category]);
    AppendAscii(line, kObjectCategoryNames[category]);
  }
  line.push_back(u'\n');
  // "% 4d  % 4d   % 4d  % 4d  % 4d   % 4d   % 4d  % 4d  % 4d     % 4d     % 4d\n":
  // each counter, then the gap before the next column.
  static const char16_t* const kGapAfter[kCategoryCount] = {
      u"  ", u"   ", u"  ",    u"  ",    u"   ", u"   ",
      u"  ", u"  ",  u"     ", u"     ", u"\n"};
  for (int category = 0; category < kCategoryCount; ++category) {
    AppendSpaceSigned(line, record.categoryCounts[category], 4);
    AppendText(line, kGapAfter[category]);
  }
}

}  // namespace

void PrintDetails(const ProcessRecord& record, const ReportOptions& options,
                  Output& out) {
  std::u16string line;
  // "PID:% 6d  Name: %-28s  GDI Total:% 5d  All:% 5d \n"
  AppendText(line, u"PID:");
  AppendSpaceSigned(line, static_cast<int32_t>(record.pid), 6);
  AppendText(line, u"  Name: ");
  AppendPadded(line, record.exeName, 28, true);
  AppendText(line, u"  GDI Total:");
  AppendSpaceSigned(line, record.entryCount, 5);
  AppendText(line, u"  All:");
  AppendSpaceSigned(line, record.guiObjectCount, 5);
  AppendText(line, u" \n");
  if (options.showCounts)
    AppendCounts(line, record);
  if (!options.showHandles) {
    if (options.showCounts)
      AppendText(line, u"\n");
    out.Write(line);
    return;
  }
  AppendText(line,
             u"Handle                Object Type           Kernel Address\n");
  out.Write(line);
  TypeFilter filter(options.typeFilter);
  // All ASCII, written in place.
  char buffer[kHandleLineBytes + 1];
  for (const HandleRecord& handle : record.handles) {
    if (!filter.Lists(TypeCodeOf(handle.entry)))
      continue;
    char* at = FormatHandleLine(buffer, handle);
    *at++ = '\n';
    out.WriteAscii(buffer, static_cast<size_t>(at - buffer));
  }
  out.Write(u"\n", 1);
}
