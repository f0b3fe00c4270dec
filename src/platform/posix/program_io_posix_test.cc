#include <clocale>
#include <string>

#include <gtest/gtest.h>

#include "platform/program_io.h"

namespace {

// Code page conversion under the host's locales. The tests leave the "C"
// locale behind them.
class AppendInCodePageTest : public testing::Test {
 protected:
  void TearDown() override { std::setlocale(LC_ALL, "C"); }

  std::string Convert(const std::u16string& text) {
    std::string bytes;
    platform::AppendInCodePage(text.data(), text.size(), bytes);
    return bytes;
  }

  bool UseGbk() {
    if (!std::setlocale(LC_ALL, "zh_CN.GBK"))
      return false;
    std::setlocale(LC_ALL, "C");
    return platform::SetLocale("chs");
  }
};

TEST_F(AppendInCodePageTest, AsciiPassesUnchanged) {
  std::u16string ascii;
  for (char16_t c = 1; c < 0x80; ++c)
    ascii.push_back(c);
  std::string expected;
  for (int c = 1; c < 0x80; ++c)
    expected.push_back(static_cast<char>(c));
  EXPECT_EQ(expected, Convert(ascii));
  EXPECT_EQ(std::string("a\0b", 3), Convert(std::u16string(u"a\0b", 3)));
  EXPECT_EQ("", Convert(u""));
}

TEST_F(AppendInCodePageTest, AppendsToWhatIsThere) {
  std::string bytes = "pid ";
  std::u16string text = u"4524\n";
  platform::AppendInCodePage(text.data(), text.size(), bytes);
  EXPECT_EQ("pid 4524\n", bytes);
  // Only `length` units are taken.
  platform::AppendInCodePage(u"abc", 2, bytes);
  EXPECT_EQ("pid 4524\nab", bytes);
}

TEST_F(AppendInCodePageTest, CLocaleCannotShowNonAscii) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ("caf?.exe", Convert(u"caf\u00E9.exe"));
  EXPECT_EQ("??.exe", Convert(u"\u5FAE\u4FE1.exe"));
}

TEST_F(AppendInCodePageTest, ChineseUnderGbk) {
  if (!UseGbk())
    GTEST_SKIP() << "the zh_CN.GBK locale is not installed";
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {u"\u5FAE", "\xCE\xA2"},
      {u"\u5FAE\u4FE1.exe", "\xCE\xA2\xD0\xC5.exe"},
      {u"QQ\u97F3\u4E50.exe", "QQ\xD2\xF4\xC0\xD6.exe"},
      {u"caf\u00E9", "caf\xA8\xA6"},
      {u"notepad.exe", "notepad.exe"},
      // A lone surrogate cannot be shown, nor can either half of a pair.
      {u"a\xD800z", "a?z"},
      {u"a\xDC00z", "a?z"},
      {u"\U0001F600", "??"},
      // Hangul is not in GBK.
      {u"\uD55C.exe", "?.exe"},
      {u"\u5FAE\uD55C\u4FE1", "\xCE\xA2?\xD0\xC5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(c.bytes, Convert(c.text));
  }
}

TEST_F(AppendInCodePageTest, SetLocale) {
  EXPECT_TRUE(platform::SetLocale("C"));
  EXPECT_FALSE(platform::SetLocale("no_SUCH.locale"));
  if (!std::setlocale(LC_ALL, "zh_CN.GBK"))
    GTEST_SKIP() << "the zh_CN.GBK locale is not installed";
  std::setlocale(LC_ALL, "C");
  ASSERT_TRUE(platform::SetLocale("chs"));
  // "chs" stands for zh_CN.GBK here.
  EXPECT_EQ("\xCE\xA2", Convert(u"\u5FAE"));
}

}  // namespace
