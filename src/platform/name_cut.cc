#include "platform/name_cut.h"

#include "platform/utf8.h"

size_t TerminalColumns(char32_t c) { return IsWideCharacter(c) ? 2 : 1; }

size_t TerminalColumns(std::u16string_view text) {
  return WidthOf(text, TerminalColumns);
}

size_t Utf16Units(char32_t c) { return c > 0xFFFF ? 2 : 1; }

size_t WidthOf(std::u16string_view text, CharacterWidth width) {
  size_t total = 0;
  size_t position = 0;
  while (position < text.size())
    total += width(NextCodePoint(text.data(), text.size(), &position));
  return total;
}

size_t CutLength(std::u16string_view text, size_t room, size_t markWidth,
                 CharacterWidth width) {
  if (WidthOf(text, width) <= room)
    return text.size();
  size_t left = room > markWidth ? room - markWidth : 0;
  size_t kept = 0;
  size_t position = 0;
  while (position < text.size()) {
    size_t next = width(NextCodePoint(text.data(), text.size(), &position));
    if (next > left)
      break;
    left -= next;
    kept = position;
  }
  return kept;
}
