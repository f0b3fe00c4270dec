#include "html/page_origin.h"

#include <gtest/gtest.h>

#include <string>

#include "documents/version.h"
#include "sample/report_options.h"

namespace {

TEST(PageOriginTest, FilterText) {
  const struct {
    TargetMode mode;
    const char16_t* name;
    uint32_t pid;
    uint32_t threshold;
    bool showHandles;
    const char16_t* type;
    const char16_t* text;
  } kCases[] = {
      {TargetMode::None, u"", 0, 0, false, nullptr, u"every process"},
      {TargetMode::ByName, u"note", 0, 0, false, nullptr,
       u"name contains \"note\""},
      {TargetMode::ByPid, u"", 4524, 1200, false, nullptr,
       u"PID 4524, GDI All at least 1,200"},
      {TargetMode::None, u"", 0, 0, true, u"brush",
       u"handle type contains \"brush\""},
      {TargetMode::ByName, u"<a&b>", 0, 5, true, u"Pen",
       u"name contains \"<a&b>\", GDI All at least 5, handle type contains "
       u"\"Pen\""},
      // -v alone lists every type.
      {TargetMode::None, u"", 0, 0, true, nullptr, u"every process"},
  };
  // A name past any process's is cut.
  ReportOptions longName;
  longName.targetMode = TargetMode::ByName;
  longName.targetName = std::u16string(5000, u'x');
  EXPECT_EQ(u"name contains \"" + std::u16string(260, u'x') + u"...\"",
            FilterText(longName));
  for (const auto& c : kCases) {
    ReportOptions options;
    options.targetMode = c.mode;
    options.targetName = c.name;
    options.targetPid = c.pid;
    options.threshold = c.threshold;
    options.showHandles = c.showHandles;
    if (c.type)
      options.typeFilter = c.type;
    EXPECT_EQ(std::u16string(c.text), FilterText(options));
  }
}

// The host and the filter are the user's text: escaped where the page
// shows them; the time is UTC to the second.
TEST(PageOriginTest, FactsAreEscaped) {
  PageOrigin origin;
  origin.timeName = "Started";
  origin.time = OriginTime(1798761599999);
  origin.host = u"pc<1>&\u00E9";
  origin.filter = u"name contains \"a'b\"";
  std::string out;
  AppendOriginFacts(out, origin);
  EXPECT_EQ(
      "<div><dt>Started</dt><dd>2026-12-31T23:59:59Z</dd></div>"
      "<div><dt>Host</dt><dd>pc&lt;1&gt;&amp;\xC3\xA9</dd></div>"
      "<div><dt>Filter</dt><dd>name contains &quot;a&#39;b&quot;</dd></div>"
      "<div><dt>Version</dt><dd>kestrel " KESTREL_PROJECT_VERSION "</dd></div>",
      out);
}

}  // namespace
