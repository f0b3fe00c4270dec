#include "html/page_origin.h"

#include "documents/version.h"
#include "html/escape.h"
#include "presentation/format.h"
#include "presentation/wall_time.h"
#include "sample/report_options.h"

namespace {

void AppendFact(std::string& out, const char* name, std::u16string_view value) {
  out += "<div><dt>";
  out += name;
  out += "</dt><dd>";
  AppendEscaped(out, value);
  out += "</dd></div>";
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
    part(u"name contains \"" + options.targetName + u"\"");
  else if (options.targetMode == TargetMode::ByPid)
    part(u"PID " + Utf16(std::to_string(options.targetPid)));
  if (options.threshold != 0)
    part(u"GDI All at least " + Utf16(FormatCount(options.threshold)));
  if (options.showHandles && options.typeFilter)
    part(u"handle type contains \"" + *options.typeFilter + u"\"");
  return text.empty() ? u"every process" : text;
}

void AppendOriginFacts(std::string& out, const PageOrigin& origin) {
  AppendFact(
      out, origin.timeName,
      Utf16(FormatUtcTime(origin.unixMilliseconds, TimePrecision::Seconds)));
  AppendFact(out, "Host", origin.host);
  AppendFact(out, "Filter", origin.filter);
  AppendFact(out, "Version", u"kestrel " KESTREL_PROJECT_VERSION);
}
