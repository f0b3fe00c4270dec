// The entry point. On Windows the runtime splits the command line into UTF-16
// arguments (wmain); elsewhere the arguments arrive as UTF-8 bytes.
#include <string>
#include <string_view>
#include <vector>

#include "cli/run.h"
#include "platform/utf8.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
  return KestrelMain([argc, argv] {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) {
      const wchar_t* argument = argv[i];
      std::u16string text;
      for (; *argument; ++argument)
        text.push_back(static_cast<char16_t>(*argument));
      arguments.push_back(std::move(text));
    }
    return arguments;
  });
}
#else
int main(int argc, char** argv) {
  return KestrelMain([argc, argv] {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) {
      // -O's file name keeps its bytes that are not valid UTF-8 marked, so
      // that it is refused rather than written under another name; a target
      // matches names as they were decoded, with U+FFFD.
      std::string_view before = i > 1 ? argv[i - 1] : "";
      arguments.push_back(before == "-O" || before == "/O"
                              ? DecodeUtf8MarkingInvalidBytes(argv[i])
                              : DecodeUtf8(argv[i]));
    }
    return arguments;
  });
}
#endif
