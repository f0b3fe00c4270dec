#include "cli/output_file_name.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputFileNameTest, SessionIdTakesThePlaceOfEachPlaceholder) {
  const struct {
    const char16_t* written;
    bool known;
    uint32_t session;
    const char16_t* name;
  } kCases[] = {
      {u"C:\\k\\session-{session}.prom", true, 3, u"C:\\k\\session-3.prom"},
      {u"{session}", true, 0, u"0"},
      {u"{session}-{session}.prom", true, 4294967295u,
       u"4294967295-4294967295.prom"},
      {u"{session}{session}", true, 12, u"1212"},
      // No placeholder, or only something like one: as written.
      {u"kestrel.prom", true, 3, u"kestrel.prom"},
      {u"{Session}{session.prom", true, 3, u"{Session}{session.prom"},
      {u"{{session}}", true, 7, u"{7}"},
      // A session that cannot be told leaves the name as written.
      {u"session-{session}.prom", false, 3, u"session-{session}.prom"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(
        c.written, c.written + std::char_traits<char16_t>::length(c.written)));
    EXPECT_EQ(std::u16string(c.name),
              OutputFileName(c.written, c.known, c.session));
  }
}

TEST(OutputFileNameTest, GrowthFileTakesTheNameWithoutItsExtension) {
  const struct {
    const char16_t* file;
    const char16_t* growth;
  } kCases[] = {
      {u"gdi.csv", u"gdi-growth.csv"},
      {u"gdi", u"gdi-growth.csv"},
      {u"C:\\out\\run.2026.csv", u"C:\\out\\run.2026-growth.csv"},
      // A dot in a folder's name, or one leading the name, is no extension.
      {u"C:\\my.dir\\gdi", u"C:\\my.dir\\gdi-growth.csv"},
      {u"my.dir/gdi", u"my.dir/gdi-growth.csv"},
      {u"out/.csv", u"out/.csv-growth.csv"},
      {u"C:.csv", u"C:.csv-growth.csv"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(
        c.file, c.file + std::char_traits<char16_t>::length(c.file)));
    EXPECT_EQ(std::u16string(c.growth), GrowthFileName(c.file));
  }
}

}  // namespace
