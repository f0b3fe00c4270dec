#include "presentation/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

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

TEST(FormatTest, FormatDuration) {
  const DurationStyle kReading = {true, 60};
  const DurationStyle kTruncated = {false, 60};
  const DurationStyle kAbout = {false, 120};
  struct Case {
    uint64_t seconds;
    DurationStyle style;
    const char* text;
  };
  const Case cases[] = {
      {0, kReading, "0 s"},
      {59, kReading, "59 s"},
      {60, kReading, "1 min"},
      {61, kReading, "1 min 1 s"},
      {61, kTruncated, "1 min"},
      {3599, kReading, "59 min 59 s"},
      {3600, kReading, "1 h"},
      {3659, kReading, "1 h"},
      {3660, kTruncated, "1 h 1 min"},
      {5400, kAbout, "90 min"},
      {7199, kAbout, "119 min"},
      {7200, kAbout, "2 h"},
      {90000, kTruncated, "25 h"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(c.text, FormatDuration(c.seconds, c.style));
  }
}

// Half away from zero, and no "-" on a value that rounds to nothing: the
// rate's sign is the caller's to give.
TEST(FormatTest, FormatOneDecimal) {
  const std::pair<double, const char*> cases[] = {
      {0, "0.0"},     {6, "6.0"},     {0.25, "0.3"},       {-0.25, "-0.3"},
      {-0.04, "0.0"}, {-2.5, "-2.5"}, {1234.56, "1234.6"},
  };
  for (const auto& [value, text] : cases)
    EXPECT_EQ(text, FormatOneDecimal(value)) << value;
}
