#include "presentation/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(FormatTest, AppendSpaceSigned) {
  const struct {
    int32_t value;
    int width;
    const char16_t* text;
  } kCases[] = {
      // "% 6d"
      {4, 6, u"     4"},
      {0, 6, u"     0"},
      {12345, 6, u" 12345"},
      // The sign column comes on top of six digits.
      {123456, 6, u" 123456"},
      {-4, 6, u"    -4"},
      {-12345, 6, u"-12345"},
      {-123456, 6, u"-123456"},
      {INT32_MAX, 6, u" 2147483647"},
      {INT32_MIN, 6, u"-2147483648"},
      // "% 5d"
      {6, 5, u"    6"},
      {1480, 5, u" 1480"},
      {65536, 5, u" 65536"},
      {-1, 5, u"   -1"},
      {-9999, 5, u"-9999"},
      // "% 4d"
      {0, 4, u"   0"},
      {999, 4, u" 999"},
      {1000, 4, u" 1000"},
      {-999, 4, u"-999"},
      {-1000, 4, u"-1000"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.value << " width " << c.width);
    std::u16string line;
    AppendSpaceSigned(line, c.value, c.width);
    EXPECT_EQ(std::u16string(c.text), line);
  }
}

TEST(FormatTest, AppendPadded) {
  const struct {
    const char16_t* text;
    int width;
    bool alignLeft;
    const char16_t* expected;
  } kCases[] = {
      {u"Brush", 18, true, u"Brush             "},
      {u"Brush", 18, false, u"             Brush"},
      {u"", 3, true, u"   "},
      {u"abc", 3, true, u"abc"},
      // Longer than the width: printed whole, no fill.
      {u"StartMenuExperienceHost.exe!", 5, true,
       u"StartMenuExperienceHost.exe!"},
      {u"abcdef", 5, false, u"abcdef"},
      // Widths count UTF-16 units: two for a character outside the BMP.
      {u"\u5FAE\u4FE1.exe", 8, true, u"\u5FAE\u4FE1.exe  "},
      {u"\U0001F600a", 5, true, u"\U0001F600a  "},
      {u"\U0001F600a", 5, false, u"  \U0001F600a"},
      {u"\U0001F600\U0001F600", 3, true, u"\U0001F600\U0001F600"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << "width " << c.width << " left " << c.alignLeft);
    std::u16string line;
    AppendPadded(line, c.text, c.width, c.alignLeft);
    EXPECT_EQ(std::u16string(c.expected), line);
  }
}

TEST(FormatTest, FormatPointer) {
  const struct {
    uint64_t value;
    const char* text;
  } kCases[] = {
      {0, "0000000000000000"},
      {5, "0000000000000005"},
      {26, "000000000000001A"},
      {0x0123456789ABCDEF, "0123456789ABCDEF"},
      {0xFFFFF90000A3B2C0, "FFFFF90000A3B2C0"},
      {0x8000000000000000, "8000000000000000"},
      {UINT64_MAX, "FFFFFFFFFFFFFFFF"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    char digits[16];
    EXPECT_EQ(std::string(c.text),
              std::string(digits, FormatPointer(digits, c.value)));
  }
}

TEST(FormatTest, AppendsToWhatIsThere) {
  std::u16string line = u"PID:";
  AppendSpaceSigned(line, 4, 6);
  AppendText(line, u"  Name: ");
  AppendPadded(line, u"System", 8, true);
  AppendText(line, u"0x");
  AppendNumber(line, 26);
  AppendText(line, u"");
  EXPECT_EQ(std::u16string(u"PID:     4  Name: System  0x26"), line);
}

// A watch's elapsedSeconds: whole seconds bare, a fraction without its
// trailing zeros.
TEST(FormatTest, FormatSeconds) {
  const struct {
    uint64_t milliseconds;
    const char* text;
  } cases[] = {{0, "0"},       {2000, "2"},     {2500, "2.5"},
               {2050, "2.05"}, {2007, "2.007"}, {61010, "61.01"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.milliseconds);
    EXPECT_EQ(c.text, FormatSeconds(c.milliseconds));
  }
}

}  // namespace
