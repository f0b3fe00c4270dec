#include "live/live_table.h"

#include <algorithm>
#include <cstddef>

#include "platform/name_cut.h"
#include "platform/terminal_text.h"
#include "platform/utf8.h"
#include "presentation/format.h"

namespace {

constexpr size_t kGap = 2;       // between two columns
constexpr size_t kNameMin = 12;  // a name is cut to this before columns go

// `text` with the characters that steer a terminal as "?", cut to `width`
// columns, with "..." marking a cut where there is room for it.
std::u16string Fitted(std::u16string_view text, size_t width) {
  std::u16string shown = ShownOnTerminal(std::u16string(text));
  size_t kept = CutLength(shown, width, 3, TerminalColumns);
  if (kept == shown.size())
    return shown;
  shown.resize(kept);
  if (width >= 3)
    shown += u"...";
  return shown;
}

std::u16string ChangeText(int64_t change) {
  std::string text = FormatCount(change);
  return Utf16(change > 0 ? "+" + text : text);
}

std::u16string RateText(const LiveRow& row) {
  if (!row.hasRate)
    return u"";
  std::string text = FormatOneDecimal(row.perMinute);
  // "0.0" says no more than "0".
  if (text == "0.0")
    return u"0";
  return Utf16(text[0] == '-' ? text : "+" + text);
}

// The whole categories of `row` that fit in `width`, two spaces apart.
std::u16string GrewText(const LiveRow& row, size_t width) {
  std::u16string text;
  for (const std::u16string& item : row.grownCategories) {
    size_t more = (text.empty() ? 0 : kGap) + TerminalColumns(item);
    if (TerminalColumns(text) + more > width)
      break;
    if (!text.empty())
      text += u"  ";
    text += item;
  }
  return text;
}

std::u16string CellText(const LiveRow& row, LiveColumn column) {
  switch (column) {
    case LiveColumn::Pid:
      return Utf16(std::to_string(row.pid));
    case LiveColumn::Name:
      return row.name;
    case LiveColumn::GdiAll:
      return Utf16(FormatCount(row.gdiAll));
    case LiveColumn::Change:
      return ChangeText(row.change);
    case LiveColumn::Rate:
      return RateText(row);
    case LiveColumn::Verdict:
      return row.verdict;
    case LiveColumn::Recent:
      return Sparkline(row.recent);
    case LiveColumn::Grew:
      return GrewText(row, SIZE_MAX);
  }
  return u"";
}

const char16_t* Title(LiveColumn column) {
  switch (column) {
    case LiveColumn::Pid:
      return u"PID";
    case LiveColumn::Name:
      return u"Name";
    case LiveColumn::GdiAll:
      return u"GDI All";
    case LiveColumn::Change:
      return u"Change";
    case LiveColumn::Rate:
      return u"Per min";
    case LiveColumn::Verdict:
      return u"Verdict";
    case LiveColumn::Recent:
      return u"Recent";
    case LiveColumn::Grew:
      return u"Grew";
  }
  return u"";
}

bool AlignsRight(LiveColumn column) {
  return column == LiveColumn::Pid || column == LiveColumn::GdiAll ||
         column == LiveColumn::Change || column == LiveColumn::Rate;
}

struct FittedColumn {
  LiveColumn column;
  size_t width;
};

// The columns shown and their widths, left to right.
std::vector<FittedColumn> Fit(const std::vector<LiveRow>& rows,
                              size_t columns) {
  // Given up from the end when the window is too narrow.
  std::vector<LiveColumn> kept = {LiveColumn::GdiAll,  LiveColumn::Change,
                                  LiveColumn::Verdict, LiveColumn::Rate,
                                  LiveColumn::Pid,     LiveColumn::Recent,
                                  LiveColumn::Grew};
  auto fullWidth = [&](LiveColumn column) {
    size_t width = TerminalColumns(Title(column));
    for (const LiveRow& row : rows)
      width = std::max(width, TerminalColumns(CellText(row, column)));
    return width;
  };
  // The categories need room for the first of them at least.
  size_t grewMin = TerminalColumns(Title(LiveColumn::Grew));
  for (const LiveRow& row : rows) {
    if (!row.grownCategories.empty())
      grewMin = std::max(grewMin, TerminalColumns(row.grownCategories[0]));
  }
  size_t nameFull = fullWidth(LiveColumn::Name);
  size_t nameMin = std::min(nameFull, kNameMin);
  auto fixedWidth = [&](bool grewAtLeast) {
    size_t width = 0;
    for (LiveColumn column : kept) {
      width += kGap;
      if (column == LiveColumn::Grew)
        width += grewAtLeast ? grewMin : 0;
      else
        width += fullWidth(column);
    }
    return width;
  };
  while (!kept.empty() && fixedWidth(true) + nameMin > columns)
    kept.pop_back();

  size_t grewFull = fullWidth(LiveColumn::Grew);
  size_t remaining =
      columns > fixedWidth(false) ? columns - fixedWidth(false) : 0;
  bool grew = !kept.empty() && kept.back() == LiveColumn::Grew;
  size_t nameWidth = std::min(nameFull, remaining);
  size_t grewWidth = 0;
  if (grew) {
    // The name takes what the categories leave, down to its least.
    grewWidth = std::min(grewFull, remaining - nameMin);
    nameWidth = std::min(nameFull, remaining - grewWidth);
    grewWidth = std::min(grewFull, remaining - nameWidth);
  }

  std::vector<FittedColumn> fitted;
  const LiveColumn kOrder[] = {LiveColumn::Pid,    LiveColumn::Name,
                               LiveColumn::GdiAll, LiveColumn::Change,
                               LiveColumn::Rate,   LiveColumn::Verdict,
                               LiveColumn::Recent, LiveColumn::Grew};
  for (LiveColumn column : kOrder) {
    if (column == LiveColumn::Name) {
      fitted.push_back({column, nameWidth});
    } else if (std::find(kept.begin(), kept.end(), column) != kept.end()) {
      fitted.push_back(
          {column, column == LiveColumn::Grew ? grewWidth : fullWidth(column)});
    }
  }
  return fitted;
}

void AppendCell(std::u16string& line, const std::u16string& text,
                const FittedColumn& fitted, bool last) {
  std::u16string shown =
      fitted.column == LiveColumn::Name ? Fitted(text, fitted.width) : text;
  size_t width = TerminalColumns(shown);
  size_t pad = fitted.width > width ? fitted.width - width : 0;
  if (AlignsRight(fitted.column))
    line.append(pad, u' ');
  line += shown;
  if (!AlignsRight(fitted.column) && !last)
    line.append(pad, u' ');
}

void AppendLine(std::u16string& frame, const std::vector<FittedColumn>& fitted,
                const std::vector<std::u16string>& cells) {
  std::u16string line;
  for (size_t i = 0; i < fitted.size(); ++i) {
    if (i > 0)
      line.append(kGap, u' ');
    AppendCell(line, cells[i], fitted[i], i + 1 == fitted.size());
  }
  while (!line.empty() && line.back() == u' ')
    line.pop_back();
  frame += line;
  frame += u'\n';
}

}  // namespace

std::u16string Sparkline(const std::vector<uint32_t>& values) {
  static const char16_t kBlocks[] =
      u"\u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588";
  if (values.empty())
    return u"";
  auto [least, greatest] = std::minmax_element(values.begin(), values.end());
  std::u16string line;
  for (uint32_t value : values) {
    size_t level = *greatest == *least
                       ? 0
                       : static_cast<size_t>((uint64_t{value} - *least) * 7 /
                                             (uint64_t{*greatest} - *least));
    line.push_back(kBlocks[level]);
  }
  return line;
}

std::vector<LiveColumn> FittedColumns(const std::vector<LiveRow>& rows,
                                      size_t columns) {
  std::vector<LiveColumn> shown;
  for (const FittedColumn& fitted : Fit(rows, columns))
    shown.push_back(fitted.column);
  return shown;
}

std::u16string RenderLiveTable(const LiveHeading& heading,
                               const std::vector<LiveRow>& rows, size_t width,
                               size_t height) {
  std::u16string frame;
  if (height == 0 || width == 0)
    return frame;
  // The heading's facts, as many as fit, from the first.
  std::u16string line;
  for (const std::u16string& part : heading.parts) {
    std::u16string longer = line + Fitted(part, TerminalColumns(part));
    if (TerminalColumns(longer) > width)
      break;
    line = std::move(longer);
  }
  frame += line;
  frame += u'\n';
  if (height == 1)
    return frame;

  size_t room = height - 2;
  size_t shown = rows.size() <= room ? rows.size() : room > 0 ? room - 1 : 0;
  std::vector<LiveRow> visible(
      rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(shown));
  std::vector<FittedColumn> fitted = Fit(visible, width);
  std::vector<std::u16string> cells;
  cells.reserve(fitted.size());
  for (const FittedColumn& column : fitted)
    cells.push_back(Title(column.column));
  AppendLine(frame, fitted, cells);
  for (const LiveRow& row : visible) {
    cells.clear();
    for (const FittedColumn& column : fitted) {
      cells.push_back(column.column == LiveColumn::Grew
                          ? GrewText(row, column.width)
                          : CellText(row, column.column));
    }
    AppendLine(frame, fitted, cells);
  }
  if (shown < rows.size() && room > 0) {
    std::u16string more = u"... and ";
    AppendNumber(more, static_cast<int64_t>(rows.size() - shown));
    more += u" more";
    frame += TerminalColumns(more) <= width ? more : u"";
    frame += u'\n';
  }
  return frame;
}
