// A strict reader of JSON text (RFC 8259) for the fuzz targets, written apart
// from the program's writer: it rejects anything the grammar does not allow
// (control characters in strings, invalid UTF-8, leading zeros, trailing
// commas) and decodes strings to UTF-16, lone surrogates included, so that a
// name read back compares unit for unit with the one written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/utf8.h"

struct JsonValue {
  enum class Kind { Null, Boolean, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string number;  // the number's text
  std::u16string string;
  std::vector<JsonValue> items;
  std::vector<std::pair<std::u16string, JsonValue>> members;

  // The member named `key`, or null.
  const JsonValue* Find(const std::u16string& key) const {
    for (const auto& member : members) {
      if (member.first == key)
        return &member.second;
    }
    return nullptr;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  // Reads the whole text as one value with optional white space around it.
  bool Read(JsonValue* value) {
    SkipSpace();
    if (!ReadValue(value, 0))
      return false;
    SkipSpace();
    return at_ == text_.size();
  }

 private:
  static constexpr int kMaxDepth = 32;

  bool More() const { return at_ < text_.size(); }
  char Peek() const { return text_[at_]; }
  bool Take(char c) {
    if (!More() || Peek() != c)
      return false;
    ++at_;
    return true;
  }
  bool TakeWord(std::string_view word) {
    if (text_.substr(at_, word.size()) != word)
      return false;
    at_ += word.size();
    return true;
  }
  void SkipSpace() {
    while (More() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' ||
                      Peek() == '\r'))
      ++at_;
  }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  bool ReadValue(JsonValue* value, int depth) {
    if (!More() || depth > kMaxDepth)
      return false;
    switch (Peek()) {
      case '{':
        return ReadObject(value, depth);
      case '[':
        return ReadArray(value, depth);
      case '"':
        value->kind = JsonValue::Kind::String;
        return ReadString(&value->string);
      case 't':
      case 'f':
        value->kind = JsonValue::Kind::Boolean;
        value->boolean = Peek() == 't';
        return TakeWord(value->boolean ? "true" : "false");
      case 'n':
        value->kind = JsonValue::Kind::Null;
        return TakeWord("null");
      default:
        value->kind = JsonValue::Kind::Number;
        return ReadNumber(&value->number);
    }
  }

  bool ReadObject(JsonValue* value, int depth) {
    value->kind = JsonValue::Kind::Object;
    ++at_;
    SkipSpace();
    if (Take('}'))
      return true;
    do {
      SkipSpace();
      std::pair<std::u16string, JsonValue> member;
      if (!ReadString(&member.first))
        return false;
      SkipSpace();
      if (!Take(':'))
        return false;
      SkipSpace();
      if (!ReadValue(&member.second, depth + 1))
        return false;
      value->members.push_back(std::move(member));
      SkipSpace();
    } while (Take(','));
    return Take('}');
  }

  bool ReadArray(JsonValue* value, int depth) {
    value->kind = JsonValue::Kind::Array;
    ++at_;
    SkipSpace();
    if (Take(']'))
      return true;
    do {
      SkipSpace();
      JsonValue item;
      if (!ReadValue(&item, depth + 1))
        return false;
      value->items.push_back(std::move(item));
      SkipSpace();
    } while (Take(','));
    return Take(']');
  }

  bool ReadNumber(std::string* number) {
    size_t start = at_;
    Take('-');
    if (Take('0')) {
      if (More() && IsDigit(Peek()))
        return false;
    } else {
      if (!More() || !IsDigit(Peek()))
        return false;
      while (More() && IsDigit(Peek()))
        ++at_;
    }
    if (Take('.')) {
      if (!More() || !IsDigit(Peek()))
        return false;
      while (More() && IsDigit(Peek()))
        ++at_;
    }
    if (Take('e') || Take('E')) {
      if (!Take('+'))
        Take('-');
      if (!More() || !IsDigit(Peek()))
        return false;
      while (More() && IsDigit(Peek()))
        ++at_;
    }
    *number = std::string(text_.substr(start, at_ - start));
    return true;
  }

  bool ReadHexUnit(char16_t* unit) {
    if (at_ + 4 > text_.size())
      return false;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      char c = text_[at_++];
      uint32_t digit;
      if (IsDigit(c))
        digit = static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        digit = static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        digit = static_cast<uint32_t>(c - 'A' + 10);
      else
        return false;
      value = value * 16 + digit;
    }
    *unit = static_cast<char16_t>(value);
    return true;
  }

  bool ReadString(std::u16string* out) {
    if (!Take('"'))
      return false;
    size_t runStart = at_;
    auto endRun = [&]() {
      std::string_view run = text_.substr(runStart, at_ - runStart);
      if (!IsValidUtf8(run))
        return false;
      *out += DecodeUtf8(run);
      return true;
    };
    while (More()) {
      char c = Peek();
      if (c == '"') {
        if (!endRun())
          return false;
        ++at_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20)
        return false;
      if (c != '\\') {
        ++at_;
        continue;
      }
      if (!endRun())
        return false;
      ++at_;
      if (!More())
        return false;
      char escape = text_[at_++];
      char16_t unit = 0;
      switch (escape) {
        case '"':
        case '\\':
        case '/':
          unit = static_cast<char16_t>(escape);
          break;
        case 'b':
          unit = u'\b';
          break;
        case 'f':
          unit = u'\f';
          break;
        case 'n':
          unit = u'\n';
          break;
        case 'r':
          unit = u'\r';
          break;
        case 't':
          unit = u'\t';
          break;
        case 'u':
          if (!ReadHexUnit(&unit))
            return false;
          break;
        default:
          return false;
      }
      out->push_back(unit);
      runStart = at_;
    }
    return false;
  }

  std::string_view text_;
  size_t at_ = 0;
};
