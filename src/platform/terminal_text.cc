#include "platform/terminal_text.h"

#include "platform/program_io.h"

std::u16string ShownOnTerminal(std::u16string text) {
  for (char16_t& unit : text)
    unit = static_cast<char16_t>(ShownOnTerminal(char32_t{unit}));
  return text;
}

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
  if (c <= 0xFF)
    return {'\\', 'x', digits[(c >> 4) & 0xF], digits[c & 0xF]};
  return {'\\',
          'u',
          digits[(c >> 12) & 0xF],
          digits[(c >> 8) & 0xF],
          digits[(c >> 4) & 0xF],
          digits[c & 0xF]};
}

std::string ErrorLineText(std::u16string_view text) {
  std::string line;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !IsControlCharacter(text[i]))
      continue;
    platform::AppendInCodePage(text.data() + start, i - start, line);
    if (i < text.size())
      line += EscapedControlCharacter(text[i]);
    start = i + 1;
  }
  return line;
}
