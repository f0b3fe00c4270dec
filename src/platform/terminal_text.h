// Text that reaches a terminal as it stands: a process's name may hold
// control characters, which a terminal would obey (set its title, clear the
// screen) rather than show.
#pragma once

#include <string>
#include <string_view>

// Whether `c` is a control character: C0, DEL or C1.
inline bool IsControlCharacter(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// How an error line shows control character `c`: "\n", "\t", "\r", or
// "\x" and two hexadecimal digits.
std::string EscapedControlCharacter(char32_t c);

// `text` as an error line on standard error shows it: in the locale's code
// page, control characters escaped, so that a process's or a file's name can
// neither break the line nor command the terminal.
std::string ErrorLineText(std::u16string_view text);
