#include "platform/terminal_text.h"

std::string EscapedControlCharacter(char32_t c) {
  switch (c) {
    case u'\n':
      return "\\n";
    case u'\t':
      return "\\t";
    case u'\r':
      return "\\r";
    default:
      break;
  }
  const char digits[] = "0123456789abcdef";
  return {'\\', 'x', digits[(c >> 4) & 0xF], digits[c & 0xF]};
}
