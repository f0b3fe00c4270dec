#include "documents/junit_report.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "census/process_record.h"
#include "output/output.h"
#include "sample/report_options.h"

namespace {

TEST(AppendXmlTextTest, EscapesWhatXmlReadsAsMarkupAndDropsWhatItCannotHold) {
  const struct {
    std::u16string text;
    std::string xml;
  } kCases[] = {
      {u"a<b>&\"c'", "a&lt;b&gt;&amp;&quot;c'"},
      // Line ends and tabs as references, so an attribute keeps them.
      {u"\t\n\r", "&#9;&#10;&#13;"},
      {std::u16string(u"\x01\x1f") + u"\x7f", "??\x7f"},
      {u"\xFFFE\xFFFF\xFFFD", "??\xEF\xBF\xBD"},
      {std::u16string(1, u'\xD800') + u"x" + std::u16string(1, u'\xDC00'),
       "?x?"},
      {u"\U0001F600 \u5fae", "\xF0\x9F\x98\x80 \xE5\xBE\xAE"},
  };
  for (const auto& c : kCases) {
    std::string xml;
    AppendXmlText(xml, c.text);
    EXPECT_EQ(c.xml, xml);
  }
}

// A single run with -t over `count` processes, all at the count: past
// kMaxCases they are one more case, failing, rather than cases without end.
TEST(JunitReportTest, CasesPastTheLimitAreOneCase) {
  const struct {
    size_t processes;
    const char* suite;
    bool more;
  } kCases[] = {
      {JunitReport::kMaxCases, "tests=\"1000\" failures=\"1000\"", false},
      {JunitReport::kMaxCases + 2, "tests=\"1001\" failures=\"1001\"", true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.processes);
    std::deque<ProcessRecord> records(c.processes);
    std::vector<const ProcessRecord*> listed;
    for (size_t i = 0; i < records.size(); ++i) {
      records[i].pid = static_cast<uint32_t>(4 * (i + 1));
      std::u16string(u"app.exe").copy(records[i].exeName, 259);
      records[i].guiObjectCount = 5;
      listed.push_back(&records[i]);
    }
    ReportOptions options;
    options.format = OutputFormat::Junit;
    options.threshold = 5;
    std::u16string units;
    {
      Output out(&units);
      JunitReport report(options, nullptr, out);
      SystemTotals system;
      ListedSample sample;
      sample.system = &system;
      sample.listed = &listed;
      report.Sample(sample);
      RunEnd end;
      end.samples = 1;
      report.End(end);
    }
    std::string xml(units.begin(), units.end());
    EXPECT_NE(std::string::npos, xml.find(c.suite)) << xml.substr(0, 300);
    EXPECT_NE(std::string::npos,
              xml.find("name=\"app.exe (PID 4000)\" time=\"0\">\n    "
                       "<failure type=\"-t 5\" message=\"-t 5: reached GDI All "
                       "5\">"));
    const size_t more = xml.find(
        "name=\"more processes\" time=\"0\">\n    <failure type=\"-t 5\" "
        "message=\"more than 1000 processes matched; those past them are not "
        "listed: 2 of their samples reached -t 5\">");
    EXPECT_EQ(c.more, more != std::string::npos);
    // The 1,001st process has no case of its own.
    EXPECT_EQ(std::string::npos, xml.find("(PID 4004)"));
  }
}

}  // namespace
