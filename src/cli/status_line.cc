#include "cli/status_line.h"

#include <algorithm>
#include <vector>

#include "platform/program_io.h"
#include "platform/terminal_text.h"
#include "presentation/format.h"
#include "watch/growth.h"

namespace {

// Columns the line leaves free at the terminal's right edge: one, so that
// the cursor never wraps, and two for the "^C" a terminal echoes.
constexpr size_t kRightMargin = 3;

// The columns `unit` takes on a terminal, roughly: two for the wide scripts
// of East Asia, none for the second half of a surrogate pair.
size_t ColumnsOf(char16_t unit) {
  if (unit >= 0xDC00 && unit <= 0xDFFF)
    return 0;
  return unit >= 0x1100 ? 2 : 1;
}

size_t Columns(const std::u16string& text) {
  size_t columns = 0;
  for (char16_t unit : text)
    columns += ColumnsOf(unit);
  return columns;
}

// `text` cut to `columns`, never between the halves of a surrogate pair;
// `marked` puts "..." where it was cut, within the columns.
std::u16string Cut(const std::u16string& text, size_t columns, bool marked) {
  if (Columns(text) <= columns)
    return text;
  size_t room = marked ? (columns > 3 ? columns - 3 : 0) : columns;
  std::u16string cut;
  size_t used = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size();
    size_t next = ColumnsOf(text[i]) + (pair ? ColumnsOf(text[i + 1]) : 0);
    if (used + next > room)
      break;
    used += next;
    cut.push_back(text[i]);
    if (pair)
      cut.push_back(text[++i]);
  }
  if (marked)
    AppendAscii(cut, std::string("...").substr(0, columns - used));
  return cut;
}

}  // namespace

std::u16string StatusText(uint64_t sample, uint64_t count,
                          uint64_t nextMilliseconds, GrowthTracker& growth,
                          size_t columns) {
  std::u16string text;
  AppendAscii(text, "sample " + std::to_string(sample));
  if (count != 0)
    AppendAscii(text, " of " + std::to_string(count));
  AppendAscii(text, ", next in " +
                        std::to_string((nextMilliseconds + 999) / 1000) + " s");
  // The process still growing the steepest, as the watch last judged.
  if (const ProcessGrowth* steepest = growth.SteepestGrowing()) {
    const ProcessGrowth& most = *steepest;
    std::string figures = " (" + std::to_string(most.pid) + ") +" +
                          std::to_string(GdiAllGrowth(most));
    AppendAscii(text, "; grew most: ");
    // A control character of the name would command the terminal.
    std::u16string name(most.name.view());
    for (char16_t& unit : name) {
      if (IsControlCharacter(unit))
        unit = u'?';
    }
    size_t used = Columns(text) + figures.size();
    text += Cut(name, columns > used ? columns - used : 0, true);
    AppendAscii(text, figures);
  }
  // However narrow the terminal, the line never wraps.
  return Cut(text, columns, false);
}

void StatusLine::Show(uint64_t sample, uint64_t count,
                      uint64_t nextMilliseconds, GrowthTracker& growth) {
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
  text_.assign(1, u'\r');
  text_ += line;
  // Spaces over what is left of a longer line before it.
  size_t width = Columns(line);
  size_t left = std::min(width_, columns - 1);
  if (width < left) {
    text_.append(left - width, u' ');
    text_.append(left - width, u'\b');
  }
  width_ = width;
  platform::WriteStderrTerminal(text_);
}

void StatusLine::Clear() {
  if (!shown_ || width_ == 0)
    return;
  size_t columns = platform::StderrTerminalColumns();
  if (columns == 0)
    return;
  text_.assign(1, u'\r');
  text_.append(std::min(width_, columns - 1), u' ');
  text_.push_back(u'\r');
  width_ = 0;
  platform::WriteStderrTerminal(text_);
}
