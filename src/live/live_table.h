// The table -o live draws at each sample: a heading with the watch's facts,
// then a row per process, fitted to the window. A number is shown whole or
// not at all: a name is cut first, then the columns least needed go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One process as the live table shows it.
struct LiveRow {
  uint32_t pid = 0;
  std::u16string name;
  uint32_t gdiAll = 0;
  int64_t change = 0;  // GDI All's, since the process's first sample
  // The change per minute since its first sample; none while it has been
  // seen in one sample only.
  bool hasRate = false;
  double perMinute = 0;
  std::u16string verdict;  // "still growing", ...; empty when it did not grow
  std::vector<std::u16string> grownCategories;  // "Bitmap +30", ...
  std::vector<uint32_t> recent;  // GDI All in its latest samples, oldest first
};

// The heading's facts, each shown whole or left out from the last.
struct LiveHeading {
  std::vector<std::u16string> parts;
};

// The columns a table may show, in the order they are given up when the
// window is too narrow: the name, GDI All and its change stay longest.
enum class LiveColumn {
  Name,
  GdiAll,
  Change,
  Verdict,
  Rate,
  Pid,
  Recent,
  Grew
};

// The columns a table of `rows` shows within `columns`, left to right.
std::vector<LiveColumn> FittedColumns(const std::vector<LiveRow>& rows,
                                      size_t columns);

// The frame: at most `height` lines, each at most `width` columns wide,
// each ended by "\n". Names' characters that steer a terminal show as "?". When the rows
// do not all fit, the last line says how many more there are.
std::u16string RenderLiveTable(const LiveHeading& heading,
                               const std::vector<LiveRow>& rows, size_t width,
                               size_t height);

// "▁▃▅█": `values` scaled from their least to their greatest, one block a
// value.
std::u16string Sparkline(const std::vector<uint32_t>& values);
