#include "html/watch_page.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + 1))
    ++count;
  return count;
}

// A page cut after any of its parts closes as a page, in the room its
// writer reserved: the closing asks for no memory. Its rows and changes
// come whole, its table and changes closed, the growth report's heading
// and the note there whatever the part.
TEST(WatchPageTest, ClosesAPageCutAfterAnyPart) {
  WatchReport report;
  report.sampleCount = 3;
  report.intervalSeconds = 1;
  report.growth.headers = {u"PID", u"Name"};
  report.grownCount = 400;
  report.samplesWithChanges = 2;
  LatestChanges changes(1 << 20);
  changes.Add(2, "<h3>Sample 2</h3>\n");
  changes.Add(3, "<h3>Sample 3</h3>\n");
  const std::vector<std::u16string> row = {u"600", u"notepad.exe"};

  std::vector<std::function<void(WatchPageWriter&)>> parts = {
      [](WatchPageWriter& page) { page.Head(); },
      [](WatchPageWriter& page) { page.Charts(); },
      [](WatchPageWriter& page) { page.GrowthStart(); }};
  // Rows enough that the page's buffer grows many times over.
  for (int i = 0; i < 300; ++i)
    parts.push_back([&row](WatchPageWriter& page) { page.GrowthRow(row); });
  parts.push_back([](WatchPageWriter& page) { page.GrowthEnd(); });
  parts.push_back([&](WatchPageWriter& page) { page.Changes(changes); });

  for (size_t whole = 0; whole <= parts.size(); ++whole) {
    SCOPED_TRACE(whole);
    std::string out;
    WatchPageWriter page(out, report);
    for (size_t i = 0; i < whole; ++i)
      parts[i](page);
    // Memory ran out in the next part, after some of it was written.
    out += "<tr><td>half";
    const size_t room = out.capacity();
    if (whole == 0) {
      EXPECT_FALSE(page.CloseCut());
      continue;
    }
    ASSERT_TRUE(page.CloseCut());
    EXPECT_EQ(room, out.capacity());
    EXPECT_EQ(std::string::npos, out.find("half"));
    EXPECT_EQ("</html>\n", out.substr(out.size() - 8));
    EXPECT_EQ(1u, Count(out, "Memory ran out while this page was written"));
    EXPECT_EQ(1u, Count(out, "<h2>Growth</h2>"));
    EXPECT_EQ(Count(out, "<table>"), Count(out, "</table>"));
    EXPECT_EQ(Count(out, "<details"), Count(out, "</details>"));
    EXPECT_EQ(Count(out, "<tr class=\"growth\">"), Count(out, "</td></tr>"));
  }
}

}  // namespace
