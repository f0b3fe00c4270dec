// A process's counts over a watch, kept for its charts in memory that does
// not grow with the watch: every sample while they fit; past that, the
// first, the latest, and between them each stretch's least and greatest.
// The charts draw what it keeps: a series is thinned here once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "html/area_chart.h"

// A series keeps at most this many points, so that a process costs a watch
// a few kilobytes whatever its length.
constexpr size_t kMaxChartPoints = 50;

struct SeriesPoint {
  double x;
  double y;
};

// One process's counts in one sample.
struct ChartSample {
  double seconds = 0;  // since the first sample
  uint32_t gdiAll = 0;
  // The shared table's entries by category: GDI Total is their sum.
  std::array<uint32_t, kObjectCategoryCount> categories = {};
};

// A process's GDI All, and its categories with their total, arriving a
// sample at a time. The samples between the first and the latest fall in
// stretches of equal length, at most (`maxPoints` - 2) / 2 of them, which
// merge in pairs when they are all full; each stretch keeps the least and
// the greatest GDI All and, apart, the categories of its least and greatest
// total (the earlier on a tie). So a short series is kept whole, a spike
// never disappears from either line, and the layers stay stacked.
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
  struct AllKept {
    double seconds;
    uint32_t value;
    uint32_t order;  // the sample's number in the series, from 0
  };
  struct CategoriesKept {
    double seconds;
    uint32_t order;
    std::array<uint32_t, kObjectCategoryCount> counts;
  };
  struct Stretch {
    AllKept allLow;
    AllKept allHigh;
    CategoriesKept totalLow;
    CategoriesKept totalHigh;
  };

  void Join(const ChartSample& sample, uint32_t order);
  void MergePairs();

  size_t maxStretches_;
  std::vector<Stretch> stretches_;  // allocated once, whole
  ChartSample first_;
  ChartSample latest_;
  uint32_t added_ = 0;   // the samples so far
  uint32_t width_ = 1;   // the samples a full stretch holds
  uint32_t inOpen_ = 0;  // the samples the last stretch holds
};
