#include "documents/json_document.h"

#include <algorithm>
#include <array>
#include <string>

#include "census/process_record.h"
#include "documents/version.h"
#include "gditable/object_types.h"
#include "output/output.h"
#include "platform/utf8.h"
#include "presentation/format.h"
#include "presentation/wall_time.h"
#include "sample/report_options.h"
#include "sample/type_filter.h"

namespace {

// The version project() names.
constexpr char kVersion[] = KESTREL_PROJECT_VERSION;

// `text` as a JSON string: quotes, backslashes and control characters
// escaped, a lone surrogate as \uXXXX (UTF-8 cannot hold it), everything
// else in UTF-8.
void AppendString(std::string& out, const char16_t* text, size_t length) {
  static const char kHex[] = "0123456789ABCDEF";
  out.push_back('"');
  size_t position = 0;
  while (position < length) {
    char32_t c = NextCodePoint(text, length, &position);
    char shortEscape = 0;
    switch (c) {
      case u'"':
      case u'\\':
        shortEscape = static_cast<char>(c);
        break;
      case u'\b':
        shortEscape = 'b';
        break;
      case u'\f':
        shortEscape = 'f';
        break;
      case u'\n':
        shortEscape = 'n';
        break;
      case u'\r':
        shortEscape = 'r';
        break;
      case u'\t':
        shortEscape = 't';
        break;
      default:
        break;
    }
    if (shortEscape) {
      out.push_back('\\');
      out.push_back(shortEscape);
    } else if (c < 0x20 || IsSurrogate(c)) {
      const char escape[] = {'\\',
                             'u',
                             kHex[c >> 12],
                             kHex[(c >> 8) & 0xF],
                             kHex[(c >> 4) & 0xF],
                             kHex[c & 0xF]};
      out.append(escape, sizeof(escape));
    } else {
      AppendUtf8(c, out);
    }
  }
  out.push_back('"');
}

void AppendOptional(std::string& out, const std::optional<uint32_t>& value) {
  if (value)
    AppendNumber(out, *value);
  else
    out += "null";
}

// What follows a handle's value up to its kernel address's digits, for each
// type code: `","type":"Brush","typeCode":16,"kernelAddress":"0x`.
const std::array<std::string, 256>& HandleMiddles() {
  static const std::array<std::string, 256> kMiddles = [] {
    std::array<std::string, 256> middles;
    for (int code = 0; code < 256; ++code) {
      std::string& middle = middles[static_cast<size_t>(code)];
      middle = "\",\"type\":";
      const char16_t* name = ObjectTypeName(static_cast<uint8_t>(code));
      AppendString(middle, name, std::char_traits<char16_t>::length(name));
      middle += ",\"typeCode\":";
      AppendNumber(middle, code);
      middle += ",\"kernelAddress\":\"0x";
    }
    return middles;
  }();
  return kMiddles;
}

void AppendProcess(std::string& out, const ProcessRecord& record) {
  out += "{\"pid\":";
  AppendNumber(out, record.pid);
  out += ",\"name\":";
  AppendString(out, record.exeName,
               std::char_traits<char16_t>::length(record.exeName));
  out += ",\"gdiTotal\":";
  AppendNumber(out, static_cast<uint32_t>(record.entryCount));
  out += ",\"gdiAll\":";
  AppendNumber(out, static_cast<uint32_t>(record.guiObjectCount));
  out += ",\"gdiPeak\":";
  AppendNumber(out, record.gdiPeakCount);
  out += ",\"userObjects\":";
  AppendNumber(out, record.userObjectCount);
  out += ",\"userPeak\":";
  AppendNumber(out, record.userPeakCount);
  out += ",\"categories\":{";
  for (int category = 0; category < kCategoryCount; ++category) {
    if (category > 0)
      out.push_back(',');
    out.push_back('"');
    out += kObjectCategoryNames[category];
    out += "\":";
    AppendNumber(out, static_cast<uint32_t>(record.categoryCounts[category]));
  }
  out.push_back('}');
}

void AppendHandles(Output& out, const ProcessRecord& record,
                   TypeFilter& filter) {
  const std::array<std::string, 256>& middles = HandleMiddles();
  std::string& bytes = out.Bytes();
  bytes += ",\"handles\":[";
  bool first = true;
  // `{"handle":"0x%p","type":...,"kernelAddress":"0x%p"}`, in place.
  char buffer[2 + 13 + 16 + 128 + 16 + 2];
  for (const HandleRecord& handle : record.handles) {
    uint8_t code = TypeCodeOf(handle.entry);
    if (!filter.Lists(code))
      continue;
    const std::string& middle = middles[code];
    char* at = buffer;
    if (!first)
      *at++ = ',';
    first = false;
    at = std::copy_n("{\"handle\":\"0x", 13, at);
    at = FormatPointer(at, handle.handle);
    at = std::copy_n(middle.data(), middle.size(), at);
    at = FormatPointer(at, handle.entry.kernelAddress);
    at = std::copy_n("\"}", 2, at);
    bytes.append(buffer, static_cast<size_t>(at - buffer));
    out.PieceDone();
  }
  bytes.push_back(']');
}

}  // namespace

void WriteJsonDocument(const SystemTotals& system,
                       const std::vector<const ProcessRecord*>& processes,
                       const ReportOptions& options,
                       std::string_view leadingMembers, Output& out) {
  // Everything that allocates comes before the first byte is sent.
  if (options.showHandles)
    HandleMiddles();
  TypeFilter filter(options.typeFilter);
  out.ReservePieces(leadingMembers.size());
  std::string& bytes = out.Bytes();
  bytes.push_back('{');
  if (!leadingMembers.empty()) {
    bytes.append(leadingMembers);
    bytes.push_back(',');
  }
  bytes += "\"tool\":\"kestrel\",\"version\":\"";
  bytes += kVersion;
  // When and where the sample was taken.
  bytes += "\",\"time\":\"";
  bytes += FormatUtcTime(system.unixMilliseconds, TimePrecision::Milliseconds);
  bytes += "\",\"host\":";
  AppendString(bytes, system.hostName.data(), system.hostName.size());
  bytes += ",\"system\":{\"gdiObjects\":";
  AppendOptional(bytes, system.session.gdiObjects);
  bytes += ",\"userObjects\":";
  AppendOptional(bytes, system.session.userObjects);
  bytes += ",\"tableSlots\":";
  AppendNumber(bytes, system.tableSlots);
  bytes += ",\"tableEntriesUsed\":";
  AppendNumber(bytes, system.tableEntriesUsed);
  bytes += ",\"processQuota\":";
  AppendNumber(bytes, system.processQuota);
  bytes += "},\"processes\":[";
  for (size_t i = 0; i < processes.size(); ++i) {
    if (i > 0)
      bytes.push_back(',');
    AppendProcess(bytes, *processes[i]);
    out.PieceDone();
    if (options.showHandles)
      AppendHandles(out, *processes[i], filter);
    bytes.push_back('}');
  }
  bytes += "]}\n";
  out.PieceDone();
}

void AppendJsonString(std::string& out, std::u16string_view text) {
  AppendString(out, text.data(), text.size());
}
