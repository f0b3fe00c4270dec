#include "html/escape.h"

#include "platform/terminal_text.h"
#include "platform/utf8.h"

namespace {

// Appends one character; false when it is one the document must not hold
// as it is.
bool AppendCharacter(std::string& out, char32_t value) {
  switch (value) {
    case '&':
      out += "&amp;";
      return true;
    case '<':
      out += "&lt;";
      return true;
    case '>':
      out += "&gt;";
      return true;
    case '"':
      out += "&quot;";
      return true;
    case '\'':
      out += "&#39;";
      return true;
    case '\t':
    case '\n':
    case '\r':
      out.push_back(static_cast<char>(value));
      return true;
    default:
      break;
  }
  // No control character is a character of an HTML document: C0, DEL and
  // C1 alike are errors in its input stream.
  if (IsControlCharacter(value))
    return false;
  if (value < 0x80)
    out.push_back(static_cast<char>(value));
  else
    AppendUtf8(value, out);
  return true;
}

}  // namespace

void AppendEscaped(std::string& out, std::u16string_view text) {
  // A lone surrogate passes as itself, which AppendUtf8 makes U+FFFD.
  for (size_t i = 0; i < text.size();) {
    // Names are mostly ASCII: a unit below the surrogates is its own code
    // point, and the loop's position stays out of memory.
    char32_t value = text[i];
    if (value < 0xD800) {
      ++i;
    } else {
      size_t next = i;
      value = NextCodePoint(text.data(), text.size(), &next);
      i = next;
    }
    if (!AppendCharacter(out, value))
      AppendUtf8(0xFFFD, out);
  }
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (char byte : text) {
    // Bytes of multi-byte sequences pass through as they are.
    if (static_cast<unsigned char>(byte) >= 0x80)
      out.push_back(byte);
    else if (!AppendCharacter(out, static_cast<unsigned char>(byte)))
      AppendUtf8(0xFFFD, out);
  }
}
