// A strict reader of JSON text (RFC 8259) for the fuzz targets, written apart
// from the program's writer: it rejects anything the grammar does not allow
// (control characters in strings, invalid UTF-8, leading zeros, trailing
// commas) and decodes strings to UTF-16, lone surrogates included, so that a
// name read back compares unit for unit with the one written.
//
// A value and everything in it take their memory from the memory resource
// the document was given: a fuzz target reads a document an input, and one
// arena for all of its strings and arrays costs far less under the
// sanitizers than an allocation each.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/utf8.h"

struct JsonValue {
  enum class Kind { Null, Boolean, Number, String, Array, Object };
  using allocator_type = std::pmr::polymorphic_allocator<char>;
  using Member = std::pair<std::pmr::u16string, JsonValue>;

  explicit JsonValue(const allocator_type& allocator = {})
      : number(allocator),
        string(allocator),
        items(allocator),
        members(allocator) {}
  JsonValue(const JsonValue& other, const allocator_type& allocator)
      : kind(other.kind),
        boolean(other.boolean),
        number(other.number, allocator),
        string(other.string, allocator),
        items(other.items, allocator),
        members(other.members, allocator) {}
  JsonValue(JsonValue&& other, const allocator_type& allocator)
      : kind(other.kind),
        boolean(other.boolean),
        number(std::move(other.number), allocator),
        string(std::move(other.string), allocator),
        items(std::move(other.items), allocator),
        members(std::move(other.members), allocator) {}
  JsonValue(const JsonValue&) = default;
  JsonValue(JsonValue&&) = default;
  JsonValue& operator=(const JsonValue&) = default;
  JsonValue& operator=(JsonValue&&) = default;

  Kind kind = Kind::Null;
  bool boolean = false;
  std::pmr::string number;  // the number's text
  std::pmr::u16string string;
  std::pmr::vector<JsonValue> items;
  std::pmr::vector<Member> members;

  // The member named `key`, or null.
  const JsonValue* Find(std::u16string_view key) const {
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
      JsonValue::Member member(
          std::piecewise_construct,
          std::forward_as_tuple(value->members.get_allocator()),
          std::forward_as_tuple(value->members.get_allocator()));
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
      JsonValue item(value->items.get_allocator());
      if (!ReadValue(&item, depth + 1))
        return false;
      value->items.push_back(std::move(item));
      SkipSpace();
    } while (Take(','));
    return Take(']');
  }

  bool ReadNumber(std::pmr::string* number) {
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
    number->assign(text_.substr(start, at_ - start));
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

  bool ReadString(std::pmr::u16string* out) {
    if (!Take('"'))
      return false;
    size_t runStart = at_;
    // A run of ASCII, which most are, is taken as it is.
    auto endRun = [&]() {
      std::string_view run = text_.substr(runStart, at_ - runStart);
      bool ascii = true;
      for (char c : run)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
      if (ascii) {
        out->append(run.begin(), run.end());
        return true;
      }
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
