#include "documents/csv_document.h"

#include <algorithm>
#include <array>
#include <string>

#include "census/process_record.h"
#include "gditable/object_types.h"
#include "output/output.h"
#include "platform/utf8.h"
#include "presentation/format.h"
#include "sample/report_options.h"
#include "sample/type_filter.h"

namespace {

// `text` as one field, in UTF-8: in quotes, each quote doubled, where it
// holds a comma, a quote, CR or LF. A lone surrogate, which UTF-8 cannot
// hold, becomes U+FFFD.
void AppendField(std::string& out, const char16_t* text, size_t length) {
  bool quoted = false;
  for (size_t i = 0; i < length && !quoted; ++i)
    quoted = text[i] == u',' || text[i] == u'"' || text[i] == u'\r' ||
             text[i] == u'\n';
  if (quoted)
    out.push_back('"');
  size_t position = 0;
  while (position < length) {
    char32_t c = NextCodePoint(text, length, &position);
    if (c == u'"')
      out.push_back('"');
    AppendUtf8(c, out);
  }
  if (quoted)
    out.push_back('"');
}

void AppendLeading(std::string& out, std::string_view leading) {
  if (!leading.empty()) {
    out.append(leading);
    out.push_back(',');
  }
}

// What follows a handle's value up to its kernel address's digits, for each
// type code: `,Brush,16,0x`.
const std::array<std::string, 256>& HandleMiddles() {
  static const std::array<std::string, 256> kMiddles = [] {
    std::array<std::string, 256> middles;
    for (int code = 0; code < 256; ++code) {
      std::string& middle = middles[static_cast<size_t>(code)];
      middle.push_back(',');
      const char16_t* name = ObjectTypeName(static_cast<uint8_t>(code));
      AppendField(middle, name, std::char_traits<char16_t>::length(name));
      middle.push_back(',');
      AppendNumber(middle, code);
      middle += ",0x";
    }
    return middles;
  }();
  return kMiddles;
}

// "leading,pid,name," of every row of a process.
void AppendRowStart(std::string& out, std::string_view leading,
                    const ProcessRecord& record) {
  AppendLeading(out, leading);
  AppendNumber(out, record.pid);
  out.push_back(',');
  AppendField(out, record.exeName,
              std::char_traits<char16_t>::length(record.exeName));
  out.push_back(',');
}

void AppendCountsRow(std::string& out, std::string_view leading,
                     const ProcessRecord& record) {
  AppendRowStart(out, leading, record);
  const uint64_t counts[] = {static_cast<uint32_t>(record.entryCount),
                             static_cast<uint32_t>(record.guiObjectCount),
                             record.gdiPeakCount, record.userObjectCount,
                             record.userPeakCount};
  for (uint64_t count : counts) {
    AppendNumber(out, static_cast<int64_t>(count));
    out.push_back(',');
  }
  for (int category = 0; category < kCategoryCount; ++category) {
    if (category > 0)
      out.push_back(',');
    AppendNumber(out, static_cast<uint32_t>(record.categoryCounts[category]));
  }
  out.push_back('\n');
}

}  // namespace

void WriteCsvDocument(const std::vector<const ProcessRecord*>& processes,
                      const ReportOptions& options,
                      const CsvLeadingColumns& leading, bool withHeader,
                      Output& out) {
  // Everything that allocates comes before the first byte is sent.
  if (options.showHandles)
    HandleMiddles();
  TypeFilter filter(options.typeFilter);
  std::string rowStart;
  rowStart.reserve(Output::kLargestPiece + leading.values.size());
  out.ReservePieces(leading.names.size() + leading.values.size());
  std::string& bytes = out.Bytes();
  if (withHeader) {
    AppendLeading(bytes, leading.names);
    if (options.showHandles) {
      bytes += "pid,name,handle,type,typeCode,kernelAddress\n";
    } else {
      bytes += "pid,name,gdiTotal,gdiAll,gdiPeak,userObjects,userPeak";
      for (const char* name : kObjectCategoryNames) {
        bytes.push_back(',');
        bytes += name;
      }
      bytes.push_back('\n');
    }
  }
  const std::array<std::string, 256>& middles = HandleMiddles();
  for (const ProcessRecord* record : processes) {
    if (!options.showHandles) {
      AppendCountsRow(bytes, leading.values, *record);
      out.PieceDone();
      continue;
    }
    rowStart.clear();
    AppendRowStart(rowStart, leading.values, *record);
    rowStart += "0x";
    // `rowStart0x%p,type,typeCode,0x%p\n`, written in place.
    for (const HandleRecord& handle : record->handles) {
      uint8_t code = TypeCodeOf(handle.entry);
      if (!filter.Lists(code))
        continue;
      const std::string& middle = middles[code];
      size_t at = bytes.size();
      bytes.resize(at + rowStart.size() + 16 + middle.size() + 16 + 1);
      char* row = &bytes[at];
      row = std::copy(rowStart.begin(), rowStart.end(), row);
      row = FormatPointer(row, handle.handle);
      row = std::copy(middle.begin(), middle.end(), row);
      row = FormatPointer(row, handle.entry.kernelAddress);
      *row = '\n';
      out.PieceDone();
    }
  }
  out.PieceDone();
}

void AppendCsvField(std::string& out, std::u16string_view text) {
  AppendField(out, text.data(), text.size());
}
