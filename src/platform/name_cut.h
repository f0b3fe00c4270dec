// Cutting a name to the room it has: a process's name in the status line
// or a chart's label, a file's name beside the file it replaces. One rule
// for where a cut may fall (between code points, never between the halves
// of a surrogate pair) and for which characters are wide.
#pragma once

#include <cstddef>
#include <string_view>

// How much room a character takes, in the caller's units (columns, bytes,
// tenths of a font's size).
using CharacterWidth = size_t (*)(char32_t c);

// Whether `c` takes two columns of a terminal rather than one: the wide
// scripts of East Asia (Hangul, CJK, kana, full-width forms), the
// ideographs past U+FFFF and the common emoji.
inline bool IsWideCharacter(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
         (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
         (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The columns `c` takes on a terminal: 1 or 2.
size_t TerminalColumns(char32_t c);
// The columns `text` takes on a terminal.
size_t TerminalColumns(std::u16string_view text);
// The UTF-16 units of `c`: 1 or 2.
size_t Utf16Units(char32_t c);

// The room `text` takes as `width` measures it.
size_t WidthOf(std::u16string_view text, CharacterWidth width);

// How many UTF-16 units of `text` to keep within `room`: all of it when it
// fits; otherwise the longest start that fits within `room - markWidth`,
// leaving room for the mark that says the name was cut ("...", an
// ellipsis), or none when the mark does not fit either.
size_t CutLength(std::u16string_view text, size_t room, size_t markWidth,
                 CharacterWidth width);
