// A process's counts over a watch, kept for its charts in memory that does
// not grow with the watch: every sample while they fit; past that, the
// first, the latest, and between them each stretch's least and greatest.
// The charts draw what it keeps: a series is thinned here once.
//
// The verdict reads its own reduction of GDI All (TrendSummary), for one
// reason: a drawing needs when each stretch's least and greatest came, and
// the categories there, which the verdict's buckets do not keep; kept in
// all 96 of those, they would cost a process four times what its 24
// stretches do, and the points drawn would no longer be these.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <variant>
#include <vector>

#include "census/object_categories.h"

// A series keeps at most this many points, so that a process costs a watch
// a few kilobytes whatever its length.
constexpr size_t kMaxChartPoints = 50;

// The line charts show at most this many processes: the first of the
// growth order. So a watch keeps the series of at most this many processes
// that exited.
constexpr size_t kMaxChartedProcesses = 10;

struct SeriesPoint {
  double x;
  double y;
};

// One process's objects of each category in one sample.
struct CategorySample {
  double seconds = 0;  // since the first sample
  std::array<uint32_t, kCategoryCount> counts = {};
};

// One process's counts in one sample.
struct ChartSample {
  double seconds = 0;  // since the first sample
  uint32_t gdiAll = 0;
  // The shared table's entries by category: GDI Total is their sum.
  std::array<uint32_t, kCategoryCount> categories = {};
};

// A stretch of a series: its least and greatest GDI All, and the categories
// of its least and greatest total, each with when it came. The counts are
// kept as narrow as they fit (`Count`), so that a process costs the watch's
// page a few kilobytes.
template <typename Count>
struct ChartStretch {
  double allLowSeconds;
  double allHighSeconds;
  double totalLowSeconds;
  double totalHighSeconds;
  uint32_t allLow;
  uint32_t allHigh;
  std::array<Count, kCategoryCount> totalLow;
  std::array<Count, kCategoryCount> totalHigh;
};

// A process's GDI All, and its categories with their total, arriving a
// sample at a time, later each than the last. The samples between the first
// and the latest fall in stretches of equal length, at most
// (`maxPoints` - 2) / 2 of them, which merge in pairs when they are all
// full. So a short series is kept whole, a spike never disappears from
// either line, and the layers stay stacked.
class ChartSeries {
 public:
  // `maxPoints` at least 4.
  explicit ChartSeries(size_t maxPoints = kMaxChartPoints);

  void Add(const ChartSample& sample);

  // The samples added.
  uint32_t Samples() const { return added_; }
  // The points kept, in the order they came, at most `maxPoints` each.
  std::vector<SeriesPoint> GdiAll() const;
  std::vector<SeriesPoint> GdiTotal() const;
  std::vector<CategorySample> Categories() const;

 private:
  // Counts of 16 bits until one needs more; then all of 32.
  using Narrow = std::vector<ChartStretch<uint16_t>>;
  using Wide = std::vector<ChartStretch<uint32_t>>;

  void Join(const ChartSample& sample);

  std::variant<Narrow, Wide> stretches_;  // allocated once, whole
  ChartSample first_;
  ChartSample latest_;
  uint32_t maxStretches_;
  uint32_t added_ = 0;   // the samples so far
  uint32_t width_ = 1;   // the samples a full stretch holds
  uint32_t inOpen_ = 0;  // the samples the last stretch holds
};
