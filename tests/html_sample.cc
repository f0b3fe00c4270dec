// Writes the session description of a made-up watch to a file, for the
// browser test, which runs kestrel -o html over it:
//   kestrel_html_sample watch FILE
// six samples of twelve processes, one of them leaking.
#include <cstdio>
#include <cstring>
#include <string>

#include "synthetic_watch.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "watch") != 0) {
    std::fprintf(stderr, "usage: kestrel_html_sample watch FILE\n");
    return 1;
  }
  std::string session = SyntheticWatchSession(6, 12);
  std::FILE* file = std::fopen(argv[2], "wb");
  if (!file) {
    std::perror(argv[2]);
    return 1;
  }
  bool written =
      std::fwrite(session.data(), 1, session.size(), file) == session.size();
  if (std::fclose(file) != 0 || !written) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
