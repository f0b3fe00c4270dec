// A watch's progress on standard error, for a watch whose output shows
// nothing for a long time (a document, or output to a file): one line
// rewritten in place after each sample and cleared at the end, only where
// standard error is a terminal, so scripts see nothing of it. It fits the
// terminal's width at each update, and is left out while the watch is in
// the terminal's background.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class GrowthTracker;

class StatusLine {
 public:
  explicit StatusLine(bool shown) : shown_(shown) {}
  ~StatusLine() { Clear(); }
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  // "sample 12 of 720, next in 4 s; grew most: mspaint.exe (4780) +60":
  // `count` 0 for a watch without one, `nextMilliseconds` until the next
  // sample is due; the process named is the steepest still growing.
  void Show(uint64_t sample, uint64_t count, uint64_t nextMilliseconds,
            const GrowthTracker& growth);
  // Rubs the line out, leaving the cursor where it began.
  void Clear();

 private:
  // Where the terminal was narrowed to `columns` since the line was
  // written, and may have wrapped it over several rows: clears them all.
  void ClearIfWrapped(size_t columns);

  const bool shown_;
  size_t width_ = 0;  // of the line on the terminal now
  std::u16string text_;
};

// The status line's text within `columns`: the name is cut first, "..."
// marking the cut, then the pieces are left out from the end, each whole,
// so that no number is ever cut; a name's characters that would steer the
// terminal show as "?".
std::u16string StatusText(uint64_t sample, uint64_t count,
                          uint64_t nextMilliseconds,
                          const GrowthTracker& growth, size_t columns);
