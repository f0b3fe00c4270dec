// Text that reaches a terminal or a console as it stands: a process's name
// may hold characters that the terminal would obey rather than show (set
// its title, write its clipboard, clear the screen) or that reorder the
// rest of the line (bidirectional controls). One rule for every view and
// format shown there; a file or a pipe gets the text as it is.
#pragma once

#include <string>
#include <string_view>

// Whether `c` is a control character: C0, DEL or C1.
inline bool IsControlCharacter(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Whether `c` can steer a terminal or console: a control character other
// than "\n" (which ends a line), the bidirectional marks, embeddings,
// overrides and isolates (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066
// to U+2069), and the line and paragraph separators (U+2028, U+2029).
inline bool SteersTerminal(char32_t c) {
  if (c < 0x200E)
    return (IsControlCharacter(c) && c != u'\n') || c == 0x061C;
  return c <= 0x200F || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// What a terminal is given for `c`: "?" for a character that steers it,
// otherwise `c` itself.
inline char32_t ShownOnTerminal(char32_t c) {
  return SteersTerminal(c) ? U'?' : c;
}

// `text` as a terminal is given it, each character that steers it as "?".
// Every such character is a single UTF-16 unit.
std::u16string ShownOnTerminal(std::u16string text);

// How an error line shows a character that steers a terminal: "\n", "\t",
// "\r", "\x" and two hexadecimal digits, or "\u" and four.
std::string EscapedControlCharacter(char32_t c);

// `text` as an error line on standard error shows it: in the locale's code
// page, control characters escaped, so that a process's or a file's name can
// neither break the line nor command the terminal.
std::string ErrorLineText(std::u16string_view text);
