// The entry point. On Windows the runtime splits the command line into UTF-16
// arguments (wmain); elsewhere the arguments arrive as UTF-8 bytes.
#include <new>
#include <string>
#include <vector>

#include "cli/run.h"
#include "platform/utf8.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
  std::vector<std::u16string> arguments;
  try {
    for (int i = 1; i < argc; ++i) {
      const wchar_t* argument = argv[i];
      std::u16string text;
      for (; *argument; ++argument)
        text.push_back(static_cast<char16_t>(*argument));
      arguments.push_back(std::move(text));
    }
  } catch (const std::bad_alloc&) {
    return ExitOutOfMemory();
  }
  return KestrelMain(arguments);
}
#else
int main(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  try {
    for (int i = 1; i < argc; ++i)
      arguments.push_back(DecodeUtf8(argv[i]));
  } catch (const std::bad_alloc&) {
    return ExitOutOfMemory();
  }
  return KestrelMain(arguments);
}
#endif
