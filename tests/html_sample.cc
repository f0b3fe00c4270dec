// Writes the HTML report of a made-up watch to a file, for the browser test:
//   kestrel_html_sample watch FILE
// a six-sample watch of twelve processes, one of them leaking.
#include <cstdio>
#include <cstring>
#include <string>

#include "report/html/synthetic_watch.h"
#include "report/html/watch_report.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "watch") != 0) {
    std::fprintf(stderr, "usage: kestrel_html_sample watch FILE\n");
    return 1;
  }
  std::string html = RenderWatchHtml(SyntheticWatch(6, 12));
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
