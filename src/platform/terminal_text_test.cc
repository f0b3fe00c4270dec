#include "platform/terminal_text.h"

#include <gtest/gtest.h>

namespace {

// Each kind of character that can steer a terminal, at its edges, and its
// neighbours that cannot.
TEST(TerminalTextTest, SteeringCharacters) {
  const struct {
    char32_t c;
    bool steers;
  } cases[] = {
      {0x00, true},    {0x07, true},    {0x09, true},    {0x0A, false},
      {0x0D, true},    {0x1B, true},    {0x1F, true},    {0x20, false},
      {0x7E, false},   {0x7F, true},    {0x80, true},    {0x9B, true},
      {0x9F, true},    {0xA0, false},   {0x061B, false}, {0x061C, true},
      {0x200D, false}, {0x200E, true},  {0x200F, true},  {0x2010, false},
      {0x2027, false}, {0x2028, true},  {0x2029, true},  {0x202A, true},
      {0x202E, true},  {0x202F, false}, {0x2065, false}, {0x2066, true},
      {0x2069, true},  {0x206A, false}, {0x4E50, false}, {0x1F600, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<uint32_t>(c.c));
    EXPECT_EQ(c.steers, SteersTerminal(c.c));
    EXPECT_EQ(c.steers ? U'?' : c.c, ShownOnTerminal(c.c));
  }
  EXPECT_EQ(u"a?b?\n?\xD83D\xDE00",
            ShownOnTerminal(std::u16string(u"a\x1b"
                                           u"b\u202E\n\u2066\xD83D\xDE00")));
}

TEST(TerminalTextTest, EscapedInErrorLines) {
  EXPECT_EQ("\\n", EscapedControlCharacter(u'\n'));
  EXPECT_EQ("\\x1b", EscapedControlCharacter(0x1B));
  EXPECT_EQ("\\x9b", EscapedControlCharacter(0x9B));
  EXPECT_EQ("\\u202e", EscapedControlCharacter(0x202E));
}

}  // namespace
