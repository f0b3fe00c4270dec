#include "cli/status_line.h"

#include <algorithm>
#include <vector>

#include "platform/name_cut.h"
#include "platform/program_io.h"
#include "platform/terminal_text.h"
#include "watch/growth.h"

namespace {

// Columns the line leaves free at the terminal's right edge, so that it
// never reaches the last column, where some terminals wrap at once.
constexpr size_t kRightMargin = 3;

// Appends `piece` when the line then still fits `columns`: a piece is
// shown whole or not at all, so that no number is ever cut.
bool AppendWhole(std::u16string& text, std::u16string_view piece,
                 size_t columns) {
  if (TerminalColumns(text) + TerminalColumns(piece) > columns)
    return false;
  text += piece;
  return true;
}

}  // namespace

std::u16string StatusText(uint64_t sample, uint64_t count,
                          uint64_t nextMilliseconds,
                          const GrowthTracker& growth, size_t columns) {
  std::u16string text;
  auto ascii = [](const std::string& piece) {
    return std::u16string(piece.begin(), piece.end());
  };
  // The pieces in order, each whole or left out with those after it.
  if (!AppendWhole(text, ascii("sample " + std::to_string(sample)), columns))
    return {};
  if (count != 0 &&
      !AppendWhole(text, ascii(" of " + std::to_string(count)), columns))
    return text;
  if (!AppendWhole(
          text,
          ascii(", next in " + std::to_string((nextMilliseconds + 999) / 1000) +
                " s"),
          columns))
    return text;
  // The process still growing the steepest, as the watch last judged: its
  // name is cut to fit, "..." marking the cut, its figures never.
  if (const ProcessGrowth* most = growth.SteepestGrowing()) {
    std::u16string lead = u"; grew most: ";
    std::u16string figures = ascii(" (" + std::to_string(most->pid) + ") +" +
                                   std::to_string(GdiAllGrowth(*most)));
    std::u16string name = ShownOnTerminal(std::u16string(most->name.view()));
    size_t used = TerminalColumns(text) + TerminalColumns(lead) +
                  TerminalColumns(figures);
    size_t room = columns > used ? columns - used : 0;
    size_t kept = CutLength(name, room, 3, TerminalColumns);
    if (kept == name.size() || room >= 3) {
      text += lead;
      text.append(name, 0, kept);
      if (kept < name.size())
        text += u"...";
      text += figures;
    }
  }
  return text;
}

void StatusLine::Show(uint64_t sample, uint64_t count,
                      uint64_t nextMilliseconds, const GrowthTracker& growth) {
  if (!shown_)
    return;
  // Asked at each update: the terminal may have been resized, or the watch
  // sent to the background.
  size_t columns = platform::StderrTerminalColumns();
  if (columns == 0)
    return;
  size_t room = columns > kRightMargin ? columns - kRightMargin : 1;
  std::u16string line =
      StatusText(sample, count, nextMilliseconds, growth, room);
  ClearIfWrapped(columns);
  text_.assign(1, u'\r');
  text_ += line;
  // Spaces over what is left of a longer line before it.
  size_t width = TerminalColumns(line);
  if (width < width_)
    text_.append(width_ - width, u' ');
  // The cursor waits at the line's start, where a terminal that wraps its
  // lines again when narrowed (tmux, the Windows console) keeps it: the
  // rows the line then takes are all below it.
  text_.push_back(u'\r');
  width_ = width;
  platform::WriteStderrTerminal(text_);
}

void StatusLine::Clear() {
  if (!shown_ || width_ == 0)
    return;
  size_t columns = platform::StderrTerminalColumns();
  if (columns == 0)
    return;
  ClearIfWrapped(columns);
  if (width_ == 0)
    return;
  text_.assign(1, u'\r');
  text_.append(width_, u' ');
  text_.push_back(u'\r');
  width_ = 0;
  platform::WriteStderrTerminal(text_);
}

void StatusLine::ClearIfWrapped(size_t columns) {
  if (width_ < columns)
    return;
  platform::ClearStderrTerminalBelow();
  width_ = 0;
}
