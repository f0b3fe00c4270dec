#include "html/series_reduction.h"

std::vector<size_t> ReduceIndices(const std::vector<double>& values,
                                  size_t maxPoints) {
  size_t count = values.size();
  std::vector<size_t> kept;
  if (maxPoints < 4)
    maxPoints = 4;
  if (count <= maxPoints) {
    kept.reserve(count);
    for (size_t i = 0; i < count; ++i)
      kept.push_back(i);
    return kept;
  }
  kept.reserve(maxPoints);
  kept.push_back(0);
  // The points between the first and the last, in buckets of two survivors.
  size_t inner = count - 2;
  size_t buckets = (maxPoints - 2) / 2;
  for (size_t bucket = 0; bucket < buckets; ++bucket) {
    size_t begin = 1 + bucket * inner / buckets;
    size_t end = 1 + (bucket + 1) * inner / buckets;
    size_t low = begin;
    size_t high = begin;
    for (size_t i = begin + 1; i < end; ++i) {
      if (values[i] < values[low])
        low = i;
      if (values[i] > values[high])
        high = i;
    }
    if (low == high) {
      kept.push_back(low);
    } else {
      kept.push_back(low < high ? low : high);
      kept.push_back(low < high ? high : low);
    }
  }
  kept.push_back(count - 1);
  return kept;
}

std::vector<SeriesPoint> ReduceSeries(const std::vector<SeriesPoint>& points,
                                      size_t maxPoints) {
  std::vector<double> values;
  values.reserve(points.size());
  for (const SeriesPoint& point : points)
    values.push_back(point.y);
  std::vector<SeriesPoint> reduced;
  for (size_t index : ReduceIndices(values, maxPoints))
    reduced.push_back(points[index]);
  return reduced;
}
