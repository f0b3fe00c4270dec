#include "html/escape.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HtmlTextTest, EscapesAndEncodesNames) {
  const struct {
    std::u16string name;
    const char* html;
  } kCases[] = {
      {u"a<b>&\"c'.exe", "a&lt;b&gt;&amp;&quot;c&#39;.exe"},
      {u"\u5FAE\u4FE1.exe", "\xE5\xBE\xAE\xE4\xBF\xA1.exe"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      // Lone surrogates, high and low, and control characters.
      {std::u16string(u"a") + char16_t(0xD83D) + u"b",
       "a\xEF\xBF\xBD"
       "b"},
      {std::u16string(u"a") + char16_t(0xDE00), "a\xEF\xBF\xBD"},
      {std::u16string(u"x") + char16_t(0xD83D), "x\xEF\xBF\xBD"},
      {std::u16string(u"\x01\x7F\t", 3), "\xEF\xBF\xBD\xEF\xBF\xBD\t"},
  };
  for (const auto& c : kCases) {
    std::string html;
    AppendEscaped(html, c.name);
    EXPECT_EQ(c.html, html);
  }
}

}  // namespace
