// Writes an HTML report of made-up data to a file, for the browser test:
//   kestrel_html_sample watch|snapshot FILE
// "watch" is a six-sample watch of twelve processes, one of them leaking;
// "snapshot" the last sample of a watch of 24 processes, with the handles of
// two of them.
#include <cstdio>
#include <cstring>
#include <string>

#include "report/html/snapshot_report.h"
#include "report/html/synthetic_watch.h"
#include "report/html/watch_report.h"

namespace {

std::string Snapshot() {
  WatchReport watch = SyntheticWatch(6, 24);
  SnapshotReport report;
  report.showHandles = true;
  for (const ProcessSeries& series : watch.processes) {
    const ProcessSample& last = series.samples.back();
    SnapshotProcess process;
    process.pid = series.pid;
    process.name = series.name;
    process.gdiAll = last.gdiAll;
    process.gdiTotal = last.gdiTotal;
    process.categories = last.categories;
    if (report.processes.size() < 2) {
      process.handles = {{0x23100041, u"Brush", 0xFFFFF9007B892530},
                         {0x0C1020DE, u"Bitmap", 0xFFFFF900CBC3A570}};
    }
    report.processes.push_back(std::move(process));
  }
  return RenderSnapshotHtml(report);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "watch") != 0 &&
                    std::strcmp(argv[1], "snapshot") != 0)) {
    std::fprintf(stderr, "usage: kestrel_html_sample watch|snapshot FILE\n");
    return 1;
  }
  std::string html = std::strcmp(argv[1], "watch") == 0
                         ? RenderWatchHtml(SyntheticWatch(6, 12))
                         : Snapshot();
  std::FILE* file = std::fopen(argv[2], "wb");
  if (!file) {
    std::perror(argv[2]);
    return 1;
  }
  bool written = std::fwrite(html.data(), 1, html.size(), file) == html.size();
  if (std::fclose(file) != 0 || !written) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
