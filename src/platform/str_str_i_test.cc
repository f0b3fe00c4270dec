// StrStrIW as kestrel relies on it, the same on both backends: the Windows
// function itself, and the simulated backend's stand-in.
#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

// Where `search` is found in `text`, or -1.
long Find(const char16_t* text, const char16_t* search) {
  const char16_t* found = platform::StrStrIW(text, search);
  return found ? static_cast<long>(found - text) : -1;
}

TEST(StrStrIWTest, Matches) {
  struct Case {
    const char16_t* text;
    const char16_t* search;
    long position;
  };
  const Case cases[] = {
      {u"notepad.exe", u"note", 0},
      {u"notepad.exe", u"NOTE", 0},
      {u"NOTEPAD.EXE", u"pad", 4},
      {u"Notepad++.exe", u"PAD++", 4},
      {u"notepad.exe", u".EXE", 7},
      {u"notepad.exe", u"notepad.exe", 0},
      {u"notepad.exe", u"notepad.exe2", -1},
      {u"notepad.exe", u"calc", -1},
      {u"chrome.exe chrome.exe", u"CHROME", 0},
      {u"xchrome", u"CHROME", 1},
      // A partial match must not hide a later full one.
      {u"aaab", u"aab", 1},
      {u"abababc", u"ababc", 2},
      // An empty search finds nothing, and nothing is found in an empty text.
      {u"notepad.exe", u"", -1},
      {u"", u"", -1},
      {u"", u"a", -1},
      // Only letters fold: "[" and "{", "@" and "`" differ by the same bit.
      {u"a{b", u"A[B", -1},
      {u"a@b", u"A`B", -1},
      {u"x_y", u"X\u007FY", -1},
      // Latin-1 letters fold, the signs between them do not.
      {u"CAF\u00C9.EXE", u"caf\u00E9", 0},
      {u"caf\u00E9.exe", u"\u00C9", 3},
      {u"\u00C0\u00C9\u00CE\u00D5\u00DC\u00DE",
       u"\u00E0\u00E9\u00EE\u00F5\u00FC\u00FE", 0},
      {u"2\u00D73", u"2\u00F73", -1},
      {u"\u00DF", u"ss", -1},
      {u"\u0178", u"\u00FF", 0},
      {u"\u00FF", u"\u0178", 0},
      // Accents are not stripped.
      {u"\u00C4", u"a", -1},
      // Latin Extended-A pairs.
      {u"\u0100\u0102\u0104", u"\u0101\u0103\u0105", 0},
      {u"\u0141\u00F3d\u017A", u"\u0142\u00D3D\u0179", 0},
      {u"\u017D", u"\u017E", 0},
      {u"\u0139\u013D\u0147", u"\u013A\u013E\u0148", 0},
      {u"\u014A\u0152\u0160\u0176", u"\u014B\u0153\u0161\u0177", 0},
      {u"\u0132\u0134\u0136", u"\u0133\u0135\u0137", 0},
      // Neighbours of different pairs do not match each other.
      {u"\u0101", u"\u0102", -1},
      {u"\u013A", u"\u013B", -1},
      {u"\u0148", u"\u0149", -1},
      {u"I", u"\u0131", -1},       // dotless i is not I
      {u"\u0130", u"i", -1},       // dotted I is not i
      {u"\u00B5", u"\u039C", -1},  // the micro sign is not Mu
      // Greek and Cyrillic letters fold too.
      {u"\u0411a.exe", u"\u0431A", 0},
      {u"\u03A3\u03C9\u03C3", u"\u03C3\u03A9", 0},
      // Chinese has no case.
      {u"QQ\u97F3\u4E50.exe", u"\u97F3\u4E50", 2},
      {u"\u5FAE\u4FE1.exe", u"\u4FE1.EXE", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    EXPECT_EQ(c.position, Find(c.text, c.search));
  }
}

}  // namespace
