// A Windows program for the console tests: writes one line through the
// report's output path, as kestrel does (the "chs" locale, then Output),
// and the line after it. The line holds ASCII, Chinese, a letter code page
// 936 has (é), one it lacks (ä) and an emoji (a surrogate pair). Exits 1
// when a write failed.
#include "output/output.h"
#include "platform/program_io.h"

int main() {
  platform::SetLocale("chs");
  Output out;
  out.Write(u"A: QQ\u97F3\u4E50.exe caf\u00E9 \u00E4 \U0001F600 end\n");
  out.Write(u"next line\n");
  out.Flush();
  return out.Failed() ? 1 : 0;
}
