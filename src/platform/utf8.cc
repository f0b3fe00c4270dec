#include "platform/utf8.h"

namespace {

// Decodes one sequence at `position`; returns its length in bytes, or 0 when
// it is not valid UTF-8 (overlong forms, surrogates and values past U+10FFFF
// included).
size_t DecodeOne(std::string_view bytes, size_t position, char32_t* out) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = byte(position);
  if (lead < 0x80) {
    *out = lead;
    return 1;
  }
  size_t length;
  char32_t value;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (position + length > bytes.size())
    return 0;
  for (size_t i = 1; i < length; ++i) {
    unsigned char next = byte(position + i);
    if ((next & 0xC0) != 0x80)
      return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || IsSurrogate(value))
    return 0;
  *out = value;
  return length;
}

}  // namespace

namespace {

std::u16string Decode(std::string_view bytes, bool markInvalidBytes) {
  std::u16string text;
  text.reserve(bytes.size());
  size_t position = 0;
  while (position < bytes.size()) {
    char32_t value = 0;
    size_t length = DecodeOne(bytes, position, &value);
    if (length == 0) {
      text.push_back(markInvalidBytes ? static_cast<char16_t>(
                                            0xDC00 + static_cast<unsigned char>(
                                                         bytes[position]))
                                      : u'\uFFFD');
      ++position;
      continue;
    }
    position += length;
    if (value >= 0x10000) {
      value -= 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(value));
    }
  }
  return text;
}

}  // namespace

std::u16string DecodeUtf8(std::string_view bytes) {
  return Decode(bytes, false);
}

std::u16string DecodeUtf8MarkingInvalidBytes(std::string_view bytes) {
  return Decode(bytes, true);
}

bool HoldsLoneSurrogate(std::u16string_view text) {
  size_t position = 0;
  while (position < text.size()) {
    if (IsSurrogate(NextCodePoint(text.data(), text.size(), &position)))
      return true;
  }
  return false;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t position = 0;
  while (position < bytes.size()) {
    char32_t value = 0;
    size_t length = DecodeOne(bytes, position, &value);
    if (length == 0)
      return false;
    position += length;
  }
  return true;
}

char32_t NextCodePoint(const char16_t* text, size_t length, size_t* position) {
  char32_t unit = text[(*position)++];
  if (IsLeadSurrogate(unit) && *position < length &&
      IsSurrogate(text[*position]) && !IsLeadSurrogate(text[*position])) {
    char32_t low = text[(*position)++];
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  return unit;
}

void AppendUtf8(char32_t value, std::string& bytes) {
  if (IsSurrogate(value) || value > 0x10FFFF)
    value = 0xFFFD;
  auto byte = [&](char32_t bits) {
    bytes.push_back(static_cast<char>(static_cast<unsigned char>(bits)));
  };
  if (value < 0x80) {
    byte(value);
  } else if (value < 0x800) {
    byte(0xC0 | (value >> 6));
    byte(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    byte(0xE0 | (value >> 12));
    byte(0x80 | ((value >> 6) & 0x3F));
    byte(0x80 | (value & 0x3F));
  } else {
    byte(0xF0 | (value >> 18));
    byte(0x80 | ((value >> 12) & 0x3F));
    byte(0x80 | ((value >> 6) & 0x3F));
    byte(0x80 | (value & 0x3F));
  }
}

size_t Utf8Length(char32_t value) {
  if (value < 0x80)
    return 1;
  if (value < 0x800)
    return 2;
  if (value < 0x10000 || value > 0x10FFFF)
    return 3;  // a surrogate, or past U+10FFFF: U+FFFD
  return 4;
}

void AppendUtf8(std::u16string_view text, std::string& bytes) {
  size_t position = 0;
  while (position < text.size())
    AppendUtf8(NextCodePoint(text.data(), text.size(), &position), bytes);
}
