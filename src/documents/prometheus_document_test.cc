#include "documents/prometheus_document.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "census/process_record.h"
#include "documents/version.h"
#include "output/output.h"

namespace {

struct LabelCase {
  std::u16string name;
  std::string quoted;
};

TEST(AppendLabelValueTest, EscapesWhatTheFormatAsksAndNothingElse) {
  const LabelCase cases[] = {
      {u"notepad.exe", "\"notepad.exe\""},
      {u"a\\b\"c\nd", "\"a\\\\b\\\"c\\nd\""},
      // Other control characters and braces stand as they are.
      {u"\t\r{},=#", "\"\t\r{},=#\""},
      {u"\u5FAE\u4FE1\U0001F600",
       "\"\xE5\xBE\xAE\xE4\xBF\xA1\xF0\x9F\x98\x80\""},
      // Lone surrogates, high and low, at the end and inside.
      {u"x\xD800", "\"x\xEF\xBF\xBD\""},
      {u"\xDC00y", "\"\xEF\xBF\xBDy\""},
      {u"", "\"\""},
  };
  for (const LabelCase& c : cases) {
    std::string out;
    AppendLabelValue(out, c.name.data(), c.name.size());
    EXPECT_EQ(out, c.quoted);
  }
}

std::string Render(const SystemTotals& system,
                   const std::vector<const ProcessRecord*>& processes) {
  std::u16string units;
  {
    Output out(&units);
    WritePrometheusDocument(system, processes, out);
  }
  return std::string(units.begin(), units.end());  // one unit a byte
}

// Files of many sessions merge into one exporter's output: every series
// carries the session, and the sample's time closes the document.
TEST(WritePrometheusDocumentTest, EverySeriesNamesTheSession) {
  ProcessRecord record;
  record.pid = 4524;
  std::u16string name = u"notepad.exe";
  name.copy(record.exeName, name.size());
  SystemTotals system;
  system.session.gdiObjects = 900;
  system.session.userObjects = 400;
  system.sessionId = 3;
  system.unixMilliseconds = 1767225600250;
  const std::u16string host = u"pc \"7\"\\";
  system.hostName = host;
  std::istringstream lines(Render(system, {&record}));
  std::string line;
  std::string last;
  int series = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#')
      continue;
    ++series;
    last = line;
    size_t brace = line.find('{');
    ASSERT_NE(std::string::npos, brace) << line;
    EXPECT_EQ("{session=\"3\"", line.substr(brace, 12)) << line;
  }
  // Four families of one series and eleven categories, the session's two, the
  // table's two, the quota, the version, the host and the time.
  EXPECT_EQ(4 + 11 + 2 + 2 + 1 + 1 + 1 + 1, series);
  EXPECT_NE(std::string::npos,
            Render(system, {})
                .find("\nkestrel_build_info{session=\"3\","
                      "version=\"" KESTREL_PROJECT_VERSION "\"} 1\n"));
  EXPECT_NE(std::string::npos, Render(system, {})
                                   .find("\nkestrel_host_info{session=\"3\","
                                         "nodename=\"pc \\\"7\\\"\\\\\"} 1\n"));
  EXPECT_EQ(
      "kestrel_last_sample_timestamp_seconds{session=\"3\"} 1767225600.25",
      last);

  // Where the session cannot be told, no label stands for it.
  system.sessionId.reset();
  std::string document = Render(system, {&record});
  EXPECT_EQ(std::string::npos, document.find("session="));
  EXPECT_NE(std::string::npos, document.find("\nkestrel_table_slots 0\n"));
  EXPECT_NE(std::string::npos,
            document.find("\nkestrel_build_info{version=\""));
  EXPECT_NE(std::string::npos,
            document.find("\nkestrel_process_gdi_objects{pid=\"4524\","));
}

}  // namespace
