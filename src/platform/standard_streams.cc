// Writing to the standard streams, the same on every platform: the runtime
// opens standard output in text mode on Windows, so "\n" becomes CR LF there.
#include <cstdio>

#include "platform/program_io.h"

namespace platform {

bool WriteStdout(const char* bytes, size_t length) {
  if (StdoutIsMissing())
    return false;
  return std::fwrite(bytes, 1, length, stdout) == length;
}

bool FlushStdout() { return std::fflush(stdout) == 0; }

void WriteStderrLine(const std::string& line, MessageKind kind) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  if (IsWindowless())
    ReportToEventLog(line, kind);
}

}  // namespace platform
