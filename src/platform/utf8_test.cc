#include "platform/utf8.h"

#include <string>

#include <gtest/gtest.h>

namespace {

struct Utf8Case {
  const char* what;
  std::string bytes;
  std::u16string text;
  bool valid;
};

TEST(Utf8Test, DecodeAndValidate) {
  const std::u16string R(1, u'\uFFFD');
  const Utf8Case cases[] = {
      {"empty", "", u"", true},
      {"ASCII", "notepad.exe", u"notepad.exe", true},
      {"ASCII controls", std::string("\t\x01\x7F", 3), u"\t\x01\x7F", true},
      {"two bytes", "\xC3\xA9\xC2\x80\xDF\xBF", u"\u00E9\u0080\u07FF", true},
      {"three bytes", "\xE5\xBE\xAE\xE4\xBF\xA1\xE0\xA0\x80\xEF\xBF\xBF",
       u"\u5FAE\u4FE1\u0800\uFFFF", true},
      {"just below the surrogates", "\xED\x9F\xBF", u"\uD7FF", true},
      {"just above the surrogates", "\xEE\x80\x80", u"\uE000", true},
      // Four bytes become a surrogate pair.
      {"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600", true},
      {"first four-byte value", "\xF0\x90\x80\x80", u"\U00010000", true},
      {"last code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", true},
      {"mixed", "a\xC3\xA9\xE5\xBE\xAE\xF0\x9F\x98\x80z",
       u"a\u00E9\u5FAE\U0001F600z", true},
      // Overlong forms: each byte is replaced.
      {"overlong slash", "\xC0\xAF", R + R, false},
      {"overlong NUL", "\xC0\x80", R + R, false},
      {"overlong two-byte limit", "\xC1\xBF", R + R, false},
      {"overlong three bytes", "\xE0\x9F\xBF", R + R + R, false},
      {"overlong four bytes", "\xF0\x8F\xBF\xBF", R + R + R + R, false},
      // Surrogates are not characters in UTF-8.
      {"high surrogate", "\xED\xA0\x80", R + R + R, false},
      {"low surrogate", "\xED\xBF\xBF", R + R + R, false},
      {"encoded pair", "\xED\xA0\xBD\xED\xB8\x80", R + R + R + R + R + R,
       false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", R + R + R + R, false},
      {"five-byte lead", "\xF8\x88\x80\x80\x80", R + R + R + R + R, false},
      {"FE and FF", "\xFE\xFF", R + R, false},
      // Truncated sequences, at the end and before other text.
      {"truncated two", "a\xC3", u"a" + R, false},
      {"truncated three", "\xE5\xBE", R + R, false},
      {"truncated four", "\xF0\x9F\x98", R + R + R, false},
      {"truncated before ASCII", "\xE5\xBEz", R + R + u"z", false},
      {"lead before a lead", "\xC3\xC3\xA9", R + u"\u00E9", false},
      // Continuation bytes without a lead.
      {"stray continuation", "\x80", R, false},
      {"stray continuations",
       "a\x80\xBF"
       "b",
       u"a" + R + R + u"b", false},
      {"one too many", "\xC3\xA9\xA9", u"\u00E9" + R, false},
  };
  for (const Utf8Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.text, DecodeUtf8(c.bytes));
    EXPECT_EQ(c.valid, IsValidUtf8(c.bytes));
  }
}

TEST(Utf8Test, NulIsAnOrdinaryCharacter) {
  std::string bytes("a\0b", 3);
  EXPECT_EQ(std::u16string(u"a\0b", 3), DecodeUtf8(bytes));
  EXPECT_TRUE(IsValidUtf8(bytes));
}

// Each length's first and last values, and what UTF-8 cannot hold.
TEST(Utf8Test, AppendUtf8) {
  const struct {
    char32_t value;
    std::string bytes;
  } cases[] = {
      {0x41, "A"},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
      {0xD800, "\xEF\xBF\xBD"},
      {0x110000, "\xEF\xBF\xBD"},
  };
  std::string bytes = "a";
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<unsigned>(c.value));
    bytes.resize(1);
    AppendUtf8(c.value, bytes);
    EXPECT_EQ("a" + c.bytes, bytes);
  }
}

}  // namespace
