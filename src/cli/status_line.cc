#include "cli/status_line.h"

#include "platform/platform.h"
#include "report/format.h"
#include "report/growth.h"

namespace {

constexpr size_t kMaxWidth = 79;

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

}  // namespace

std::u16string StatusText(uint64_t sample, uint64_t count,
                          uint64_t nextMilliseconds, GrowthTracker& growth) {
  std::u16string text;
  AppendAscii(text, "sample " + std::to_string(sample));
  if (count != 0)
    AppendAscii(text, " of " + std::to_string(count));
  AppendAscii(text, ", next in " +
                        std::to_string((nextMilliseconds + 999) / 1000) + " s");
  const ProcessGrowth* steepest = growth.SteepestGrowing();
  if (!steepest)
    return text;
  const ProcessGrowth& most = *steepest;
  std::string figures = " (" + std::to_string(most.pid) + ") +" +
                        std::to_string(GdiAllGrowth(most));
  AppendAscii(text, "; grew most: ");
  size_t used = Columns(text) + figures.size();
  size_t room = kMaxWidth > used ? kMaxWidth - used : 0;
  if (Columns(most.name) <= room) {
    text += most.name;
  } else {
    // Cut to fit, "..." marking the cut, and never between the halves of a
    // surrogate pair.
    size_t columns = 3;
    for (size_t i = 0; i < most.name.size(); ++i) {
      char16_t unit = most.name[i];
      size_t next = ColumnsOf(unit);
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < most.name.size())
        next += ColumnsOf(most.name[i + 1]);
      if (columns + next > room)
        break;
      columns += next;
      text.push_back(unit);
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < most.name.size())
        text.push_back(most.name[++i]);
    }
    AppendAscii(text, "...");
  }
  AppendAscii(text, figures);
  return text;
}

void StatusLine::Show(uint64_t sample, uint64_t count,
                      uint64_t nextMilliseconds, GrowthTracker& growth) {
  if (!shown_)
    return;
  std::u16string line = StatusText(sample, count, nextMilliseconds, growth);
  text_.assign(1, u'\r');
  text_ += line;
  // Spaces over what is left of a longer line before it.
  size_t width = Columns(line);
  if (width < width_) {
    text_.append(width_ - width, u' ');
    text_.append(width_ - width, u'\b');
  }
  width_ = width;
  platform::WriteStderrTerminal(text_);
}

void StatusLine::Clear() {
  if (!shown_ || width_ == 0)
    return;
  text_.assign(1, u'\r');
  text_.append(width_, u' ');
  text_.push_back(u'\r');
  width_ = 0;
  platform::WriteStderrTerminal(text_);
}
