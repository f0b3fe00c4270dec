#include "report/html/watch_report.h"

#include <gtest/gtest.h>

#include <string>

#include "report/html/synthetic_watch.h"

namespace {

// A long watch stays small: each series is reduced before it is drawn.
TEST(WatchReportTest, ThousandSamplesOfSixtyProcessesUnderOneMegabyte) {
  WatchReport report = SyntheticWatch(1000, 60);
  std::string html = RenderWatchHtml(report);
  EXPECT_LT(html.size(), 1000u * 1000u);
  // Ten lines in each of the two line charts; the changes, which are not
  // reduced, up to their share of the page.
  size_t lines = 0;
  for (size_t at = html.find("<path class=\"series\""); at != std::string::npos;
       at = html.find("<path class=\"series\"", at + 1))
    ++lines;
  EXPECT_EQ(2 * kMaxChartedProcesses, lines);
  EXPECT_NE(std::string::npos, html.find("more samples, from sample"));
}

}  // namespace
