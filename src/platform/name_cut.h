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

// Whether `c` takes two columns of a terminal rather than one, roughly: the
// wide scripts of East Asia (from U+1100 on), and whatever lies past U+FFFF
// (ideographs and emoji, mostly).
inline bool IsWideCharacter(char32_t c) { return c >= 0x1100; }

// The columns `c` takes on a terminal: 1 or 2.
size_t TerminalColumns(char32_t c);
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
