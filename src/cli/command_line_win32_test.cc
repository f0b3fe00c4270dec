// The target's number conversion against the Windows runtime's own.
#include "cli/command_line.h"

#include <climits>
#include <cwchar>
#include <string>

#include <gtest/gtest.h>

namespace {

const char16_t* AsU16(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text)
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// The target's number conversion must agree with the runtime's wcstoul in
// base 10, whose unsigned long is 32 bits here.
TEST(CommandLineWin32Test, ConvertTargetNumberMatchesWcstoul) {
  static_assert(sizeof(unsigned long) == 4, "32-bit unsigned long");
  struct Case {
    const wchar_t* text;
    uint32_t value;
    size_t consumed;
  };
  const Case cases[] = {
      {L"42", 42, 2},
      {L" 42", 42, 3},
      {L"+42", 42, 3},
      {L"0", 0, 1},
      {L"", 0, 0},
      {L"   ", 0, 0},
      {L"-", 0, 0},
      {L"+", 0, 0},
      {L"+-5", 0, 0},
      {L"-+5", 0, 0},
      {L"- 5", 0, 0},
      {L"-1", 4294967295u, 2},
      {L"-0", 0, 2},
      {L"4294967295", 4294967295u, 10},
      {L"4294967296", 4294967295u, 10},
      {L"99999999999999999999999", 4294967295u, 23},
      {L"-4294967295", 1, 11},
      {L"-4294967296", 1, 11},
      {L"-99999999999999999999999", 1, 24},
      {L"00000000000000000000042", 42, 23},
      {L"12ab", 12, 2},
      {L"0x10", 0, 1},
      {L"42 ", 42, 2},
      {L"4 2", 4, 1},
      {L"\t7", 7, 2},
      {L"\n7", 7, 2},
      {L"\v\f\r 7", 7, 5},
      {L" \t -8", 4294967288u, 5},
      {L" + 5", 0, 0},
      {L"notepad", 0, 0},
      {L"1e3", 1, 1},
      {L"3.5", 3, 1},
  };
  for (const Case& c : cases) {
    std::u16string text = AsU16(c.text);
    SCOPED_TRACE("input \"" + Narrow(text) + "\"");
    wchar_t* end = nullptr;
    unsigned long expected = std::wcstoul(c.text, &end, 10);
    size_t expectedConsumed = static_cast<size_t>(end - c.text);
    size_t consumed = 99;
    uint32_t value = ConvertTargetNumber(text.data(), text.size(), &consumed);
    // For a negative number whose magnitude overflows, the universal C
    // runtime (MSVC's) returns ULONG_MAX where msvcrt negates the capped
    // value; the program keeps msvcrt's rule.
    if (!(expected == ULONG_MAX && value == 1)) {
      EXPECT_EQ(expected, value);
    }
    EXPECT_EQ(expectedConsumed, consumed);
    // And both say what the table says.
    EXPECT_EQ(c.value, value);
    EXPECT_EQ(c.consumed, consumed);
  }
}

}  // namespace
