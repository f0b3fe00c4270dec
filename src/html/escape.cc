#include "html/escape.h"

#include <cmath>

namespace {

void AppendUtf8(std::string& out, char32_t value) {
  if (value < 0x80) {
    out.push_back(static_cast<char>(value));
  } else if (value < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (value >> 6)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else if (value < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (value >> 12)));
    out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (value >> 18)));
    out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  }
}

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
  if (value < 0x20 || value == 0x7F)
    return false;
  AppendUtf8(out, value);
  return true;
}

}  // namespace

void AppendEscaped(std::string& out, std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t value = text[i];
    if (value >= 0xD800 && value <= 0xDBFF && i + 1 < text.size() &&
        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      value = 0x10000 + ((value - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (value >= 0xD800 && value <= 0xDFFF) {
      value = 0xFFFD;
    }
    if (!AppendCharacter(out, value))
      AppendUtf8(out, 0xFFFD);
  }
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (char byte : text) {
    // Bytes of multi-byte sequences pass through as they are.
    if (static_cast<unsigned char>(byte) >= 0x80)
      out.push_back(byte);
    else if (!AppendCharacter(out, static_cast<unsigned char>(byte)))
      AppendUtf8(out, 0xFFFD);
  }
}

std::string FormatChange(int64_t value) {
  return value > 0 ? "+" + FormatCount(value) : FormatCount(value);
}

std::string FormatDuration(double seconds) {
  long long whole = seconds > 0 && seconds < 1e15 ? std::llround(seconds) : 0;
  if (whole < 60)
    return std::to_string(whole) + " s";
  std::string text;
  if (whole >= 3600) {
    text = std::to_string(whole / 3600) + " h";
    if (whole / 60 % 60 != 0)
      text += " " + std::to_string(whole / 60 % 60) + " min";
    return text;
  }
  text = std::to_string(whole / 60) + " min";
  if (whole % 60 != 0)
    text += " " + std::to_string(whole % 60) + " s";
  return text;
}
