// Conversion of output text to the locale's code page. ASCII is the same in
// every code page kestrel runs under (936 on Windows, GBK or the default
// locale on other hosts), so runs of it are copied without asking the
// runtime; only the other units go to the backend.
#include "platform/program_io.h"

namespace platform {

void AppendInCodePage(const char16_t* text, size_t length, std::string& bytes) {
  size_t start = 0;
  while (start < length) {
    size_t end = start;
    while (end < length && text[end] < 0x80)
      ++end;
    if (end > start) {
      size_t old = bytes.size();
      bytes.resize(old + (end - start));
      char* out = &bytes[old];
      for (size_t i = start; i < end; ++i)
        *out++ = static_cast<char>(text[i]);
    }
    if (end == length)
      break;
    AppendUnitInCodePage(text[end], bytes);
    start = end + 1;
  }
}

}  // namespace platform
