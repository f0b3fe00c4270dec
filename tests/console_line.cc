// A Windows program for the console tests: writes one line through the
// report's output path, as kestrel does (the "chs" locale, then Output),
// and the line after it. The line holds ASCII, Chinese, a letter code page
// 936 has (é), one it lacks (ä) and an emoji (a surrogate pair). With the
// argument "document", the same two lines as a document's UTF-8 bytes.
// Exits 1 when a write failed.
#include "output/output.h"
#include "platform/program_io.h"

#include <cstring>

int main(int argc, char** argv) {
  platform::SetLocale("chs");
  Output out;
  if (argc == 2 && std::strcmp(argv[1], "document") == 0) {
    const char kLines[] =
        "A: QQ\xE9\x9F\xB3\xE4\xB9\x90.exe caf\xC3\xA9 \xC3\xA4 "
        "\xF0\x9F\x98\x80 end\nnext line\n";
    out.WriteBytes(kLines, sizeof(kLines) - 1);
    out.Flush();
    return out.Failed() ? 1 : 0;
  }
  out.Write(u"A: QQ\u97F3\u4E50.exe caf\u00E9 \u00E4 \U0001F600 end\n");
  out.Write(u"next line\n");
  out.Flush();
  return out.Failed() ? 1 : 0;
}
