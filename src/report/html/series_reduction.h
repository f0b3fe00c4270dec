// Thinning a long series for a chart: a watch of thousands of samples would
// draw more points than a chart has pixels and make the document large.
#pragma once

#include <cstddef>
#include <vector>

// The charts draw at most this many points a series.
constexpr size_t kMaxChartPoints = 500;

struct SeriesPoint {
  double x;
  double y;
};

// The indices of `values` to keep so that at most `maxPoints` remain: all of
// them when they fit; otherwise the first and the last, and between them, in
// equal buckets, each bucket's minimum and maximum in their order, so that
// a spike never disappears. `maxPoints` below 4 counts as 4.
std::vector<size_t> ReduceIndices(const std::vector<double>& values,
                                  size_t maxPoints);

// `points` (in x order) reduced by their y values as above.
std::vector<SeriesPoint> ReduceSeries(const std::vector<SeriesPoint>& points,
                                      size_t maxPoints);
