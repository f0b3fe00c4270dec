#include "presentation/handle_line.h"

#include <algorithm>
#include <cstdint>

#include "census/handle_record.h"
#include "gditable/object_types.h"
#include "presentation/format.h"

namespace {

// A type name as ASCII, filled with spaces to 18 columns.
struct AsciiName {
  char text[64];
  size_t length;
};

const AsciiName& PaddedTypeName(uint8_t code) {
  // The names are static ASCII text, so they are converted once a run.
  static const struct Names {
    AsciiName byCode[256];
    Names() : byCode() {
      for (int code = 0; code < 256; ++code) {
        const char16_t* name = ObjectTypeName(static_cast<uint8_t>(code));
        AsciiName& ascii = byCode[code];
        ascii.length = 0;
        for (; *name && ascii.length < sizeof(ascii.text); ++name)
          ascii.text[ascii.length++] = static_cast<char>(*name);
        for (; ascii.length < 18; ++ascii.length)
          ascii.text[ascii.length] = ' ';
      }
    }
  } kNames;
  return kNames.byCode[code];
}

}  // namespace

char* FormatHandleLine(char* at, const HandleRecord& handle) {
  const AsciiName& name = PaddedTypeName(TypeCodeOf(handle.entry));
  at = std::copy_n("0x", 2, at);
  at = FormatPointer(at, handle.handle);
  at = std::copy_n("    ", 4, at);
  at = std::copy_n(name.text, name.length, at);
  at = std::copy_n("    0x", 6, at);
  return FormatPointer(at, handle.entry.kernelAddress);
}
