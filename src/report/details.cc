#include "report/details.h"

#include "census/process_record.h"
#include "gditable/object_types.h"
#include "platform/platform.h"
#include "report/format.h"
#include "report/output.h"

namespace {

void AppendCounts(std::u16string& line, const ProcessRecord& record) {
  AppendText(line, u" Pen ExtPen Brush Bitmap Font Palette Region   DC "
                   u"MetaDC EnhMetaDC OtherGDi\n");
  // "% 4d  % 4d   % 4d  % 4d  % 4d   % 4d   % 4d  % 4d  % 4d     % 4d     % 4d\n"
  struct Column {
    int32_t value;
    const char16_t* gapAfter;
  };
  const Column columns[] = {
      {record.Pen, u"  "},    {record.ExtPen, u"   "}, {record.Brush, u"  "},
      {record.Bitmap, u"  "}, {record.Font, u"   "},   {record.Palette, u"   "},
      {record.Region, u"  "}, {record.DC, u"  "},      {record.MetaDC, u"     "},
      {record.EnhMetaDC, u"     "}, {record.OtherGDi, u"\n"},
  };
  for (const Column& column : columns) {
    AppendSpaceSigned(line, column.value, 4);
    AppendText(line, column.gapAfter);
  }
}

}  // namespace

void PrintDetails(const ProcessRecord& record, const DetailOptions& options,
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
  AppendText(line, u"Handle                Object Type           Kernel Address\n");
  out.Write(line);
  // The filter depends on the type code alone, so it is decided once a code.
  bool listed[256];
  for (int code = 0; code < 256; ++code) {
    listed[code] = !options.hasTypeFilter ||
                   platform::StrStrIW(ObjectTypeName(static_cast<uint8_t>(code)),
                                      options.typeFilter.c_str()) != nullptr;
  }
  for (const HandleRecord& handle : record.handles) {
    if (!listed[handle.typeCode])
      continue;
    const char16_t* name = ObjectTypeName(handle.typeCode);
    // "0x%p    %-18s    0x%p\n"; the buffer keeps its capacity, so handle
    // lines allocate nothing.
    line.clear();
    AppendText(line, u"0x");
    AppendPointer(line, handle.handle);
    AppendText(line, u"    ");
    AppendPadded(line, name, 18, true);
    AppendText(line, u"    0x");
    AppendPointer(line, handle.kernelAddress);
    AppendText(line, u"\n");
    out.Write(line);
  }
  out.Write(u"\n", 1);
}
