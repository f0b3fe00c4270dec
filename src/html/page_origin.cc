#include "html/page_origin.h"

#include "documents/version.h"
#include "html/escape.h"
#include "presentation/format.h"
#include "presentation/wall_time.h"
#include "sample/report_options.h"

namespace {

template <typename Text>
void AppendFact(std::string& out, const char* name, Text value) {
  out += "<div><dt>";
  out += name;
  out += "</dt><dd>";
  AppendEscaped(out, value);
  out += "</dd></div>";
}

// `text` in quotes; past the longest name a process has (259 units) it
// could match nothing, and is cut, so that the page's head keeps to the
// room it is given.
std::u16string Quoted(const std::u16string& text) {
  constexpr size_t kLongest = 260;
  if (text.size() <= kLongest)
    return u"\"" + text + u"\"";
  return u"\"" + text.substr(0, kLongest) + u"...\"";
}

}  // namespace

std::u16string FilterText(const ReportOptions& options) {
  std::u16string text;
  auto part = [&text](std::u16string_view words) {
    if (!text.empty())
      text += u", ";
    text += words;
  };
  if (options.targetMode == TargetMode::ByName)
    part(u"name contains " + Quoted(options.targetName));
  else if (options.targetMode == TargetMode::ByPid)
    part(u"PID " + Utf16(std::to_string(options.targetPid)));
  if (options.threshold != 0)
    part(u"GDI All at least " + Utf16(FormatCount(options.threshold)));
  if (options.showHandles && options.typeFilter)
    part(u"handle type contains " + Quoted(*options.typeFilter));
  return text.empty() ? u"every process" : text;
}

std::string OriginTime(uint64_t unixMilliseconds) {
  return FormatUtcTime(unixMilliseconds, TimePrecision::Seconds);
}

void AppendOriginFacts(std::string& out, const PageOrigin& origin) {
  AppendFact(out, origin.timeName, std::string_view(origin.time));
  AppendFact(out, "Host", std::u16string_view(origin.host));
  AppendFact(out, "Filter", std::u16string_view(origin.filter));
  AppendFact(out, "Version",
             std::string_view("kestrel " KESTREL_PROJECT_VERSION));
}
