#include "platform/name_cut.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/utf8.h"

namespace {

// Where a name is cut, as each caller measures it: whole when it fits, room
// left for the mark otherwise, never inside a character.
TEST(NameCutTest, CutsBetweenCharacters) {
  const struct {
    std::u16string text;
    size_t room;
    size_t markWidth;
    CharacterWidth width;
    size_t kept;
  } cases[] = {
      {u"notepad.exe", 11, 3, TerminalColumns, 11},
      {u"notepad.exe", 10, 3, TerminalColumns, 7},
      {u"notepad.exe", 3, 3, TerminalColumns, 0},
      {u"notepad.exe", 2, 3, TerminalColumns, 0},
      {u"", 0, 3, TerminalColumns, 0},
      // Wide characters take two columns; one that would end past the room
      // is left out whole.
      {u"\u97F3\u4E50\u97F3\u4E50", 8, 3, TerminalColumns, 4},
      {u"\u97F3\u4E50\u97F3\u4E50", 7, 3, TerminalColumns, 2},
      // Past U+1100 not every character is wide: a currency sign, an arrow
      // or a block element takes one column.
      {u"\u20AC\u2192\u2581\u2588", 4, 3, TerminalColumns, 4},
      {u"\u20AC\u2192\u2581\u2588", 3, 1, TerminalColumns, 2},
      // A pair stands for one wide character, kept or left out whole.
      {u"a\U0001F600b", 4, 0, TerminalColumns, 4},
      {u"a\U0001F600b", 3, 0, TerminalColumns, 3},
      {u"a\U0001F600b", 2, 0, TerminalColumns, 1},
      {u"a\U0001F600b", 3, 0, Utf16Units, 3},
      {u"a\U0001F600b", 2, 0, Utf16Units, 1},
      // In UTF-8 a lone surrogate is written as U+FFFD, three bytes.
      {u"a\xD800", 3, 0, Utf8Length, 1},
      {u"a\xD800", 4, 0, Utf8Length, 2},
      {u"a\xDC00\xD800", 4, 0, Utf8Length, 2},
      {u"\u00E9\u00E9", 3, 0, Utf8Length, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.text.size() << " units, room " << c.room);
    EXPECT_EQ(c.kept, CutLength(c.text, c.room, c.markWidth, c.width));
  }
}

}  // namespace
