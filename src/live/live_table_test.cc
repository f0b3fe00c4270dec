#include "live/live_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/name_cut.h"
#include "platform/utf8.h"

namespace {

std::string Utf8(const std::u16string& text) {
  std::string bytes;
  size_t position = 0;
  while (position < text.size())
    AppendUtf8(NextCodePoint(text.data(), text.size(), &position), bytes);
  return bytes;
}

std::vector<std::u16string> Lines(const std::u16string& frame) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start < frame.size()) {
    size_t end = frame.find(u'\n', start);
    EXPECT_NE(std::u16string::npos, end) << "every line ends with \\n";
    if (end == std::u16string::npos)
      break;
    lines.push_back(frame.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The words of `line`, split at spaces.
std::vector<std::u16string> Words(const std::u16string& line) {
  std::vector<std::u16string> words;
  std::u16string word;
  for (char16_t unit : line + u' ') {
    if (unit != u' ') {
      word.push_back(unit);
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  return words;
}

LiveRow Row(uint32_t pid, std::u16string name, uint32_t gdiAll,
            int64_t change) {
  LiveRow row;
  row.pid = pid;
  row.name = std::move(name);
  row.gdiAll = gdiAll;
  row.change = change;
  row.hasRate = true;
  row.perMinute = static_cast<double>(change) * 6;
  row.verdict = change > 0 ? u"still growing" : u"";
  if (change > 0)
    row.grownCategories = {u"Bitmap +30", u"DC +30"};
  row.recent = {100, 120, 140, 160};
  return row;
}

const std::vector<LiveRow> kRows = {
    Row(4780, u"mspaint.exe", 12345, 333),
    Row(7084, u"QQ\u97F3\u4E50\u64AD\u653E\u5668\u6B63\u5728\u8FD0\u884C.exe",
        52, 0),
    Row(8, u"\x1B]2;PWNED\a\x1B[2J\u202Etxt.exe", 7, -3),
    Row(123456, u"a-process-with-a-name-far-longer-than-any-column.exe", 999,
        1),
};

// At any width a line fits the window, a character that steers a terminal
// (a control, a bidirectional override) never reaches
// it, and a number is whole or absent: its column gone, never cut.
TEST(LiveTableTest, FitsEveryWidthWithoutBreakingANumber) {
  LiveHeading heading;
  heading.parts = {u"kestrel: sample 12 of 720", u" at +22 s", u", every 2 s",
                   u"; 4 processes"};
  for (size_t width : {200, 120, 80, 60, 45, 32, 24, 16, 10, 5, 1}) {
    SCOPED_TRACE(width);
    std::vector<std::u16string> lines =
        Lines(RenderLiveTable(heading, kRows, width, 40));
    ASSERT_EQ(2 + kRows.size(), lines.size());
    for (const std::u16string& line : lines) {
      EXPECT_LE(TerminalColumns(line), width) << Utf8(line);
      EXPECT_EQ(std::u16string::npos, line.find(u'\x1B')) << Utf8(line);
      EXPECT_EQ(std::u16string::npos, line.find(u'\a')) << Utf8(line);
      EXPECT_EQ(std::u16string::npos, line.find(u'\u202E')) << Utf8(line);
    }
    // The heading's facts are whole, from the first.
    std::u16string expected;
    for (const std::u16string& part : heading.parts) {
      if (TerminalColumns(expected + part) > width)
        break;
      expected += part;
    }
    EXPECT_EQ(expected, lines[0]);

    std::vector<LiveColumn> columns = FittedColumns(kRows, width);
    bool gdiAll = std::find(columns.begin(), columns.end(),
                            LiveColumn::GdiAll) != columns.end();
    bool change = std::find(columns.begin(), columns.end(),
                            LiveColumn::Change) != columns.end();
    bool pid = std::find(columns.begin(), columns.end(), LiveColumn::Pid) !=
               columns.end();
    for (size_t i = 0; i < kRows.size(); ++i) {
      std::vector<std::u16string> words = Words(lines[2 + i]);
      auto has = [&](const std::string& number) {
        std::u16string wanted(number.begin(), number.end());
        return std::find(words.begin(), words.end(), wanted) != words.end();
      };
      const LiveRow& row = kRows[i];
      std::string all = row.gdiAll >= 1000
                            ? std::to_string(row.gdiAll / 1000) + "," +
                                  std::to_string(row.gdiAll % 1000)
                            : std::to_string(row.gdiAll);
      EXPECT_EQ(gdiAll, has(all)) << Utf8(lines[2 + i]);
      std::string signedChange =
          (row.change > 0 ? "+" : "") + std::to_string(row.change);
      EXPECT_EQ(change, has(signedChange)) << Utf8(lines[2 + i]);
      EXPECT_EQ(pid, has(std::to_string(row.pid))) << Utf8(lines[2 + i]);
    }
  }
}

// The columns go in their order as the window narrows: the categories
// first, GDI All last, the name never.
TEST(LiveTableTest, ColumnsGoInTheirOrder) {
  using C = LiveColumn;
  const struct {
    size_t width;
    std::vector<LiveColumn> columns;
  } kCases[] = {
      {200,
       {C::Pid, C::Name, C::GdiAll, C::Change, C::Rate, C::Verdict, C::Recent,
        C::Grew}},
      {81,
       {C::Pid, C::Name, C::GdiAll, C::Change, C::Rate, C::Verdict, C::Recent,
        C::Grew}},
      {80,
       {C::Pid, C::Name, C::GdiAll, C::Change, C::Rate, C::Verdict, C::Recent}},
      {60, {C::Name, C::GdiAll, C::Change, C::Rate, C::Verdict}},
      {40, {C::Name, C::GdiAll, C::Change}},
      {20, {C::Name}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.width);
    EXPECT_EQ(c.columns, FittedColumns(kRows, c.width));
  }
}

// A window too short for every row says how many it leaves out.
TEST(LiveTableTest, ShortWindowCountsTheRowsLeftOut) {
  LiveHeading heading;
  heading.parts = {u"kestrel: sample 1"};
  std::vector<std::u16string> lines =
      Lines(RenderLiveTable(heading, kRows, 120, 5));
  ASSERT_EQ(5u, lines.size());
  EXPECT_EQ(u"... and 2 more", lines[4]);
  EXPECT_EQ(1u, Lines(RenderLiveTable(heading, kRows, 120, 1)).size());
}

TEST(LiveTableTest, Sparkline) {
  EXPECT_EQ(u"\u2581\u2584\u2588", Sparkline({10, 15, 20}));
  EXPECT_EQ(u"\u2581\u2581", Sparkline({7, 7}));
  EXPECT_EQ(u"", Sparkline({}));
  EXPECT_EQ(u"\u2588\u2581", Sparkline({4000000000u, 0}));
}

}  // namespace
