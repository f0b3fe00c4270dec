// Thinning a long series for a chart: a watch of thousands of samples would
// draw more points than a chart has pixels and make the document large.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The charts draw at most this many points a series.
constexpr size_t kMaxChartPoints = 500;

struct SeriesPoint {
  double x;
  double y;
};

// What a series of points is reduced by: their values.
inline double ValueOf(const SeriesPoint& point) { return point.y; }

// The indices of `values` to keep so that at most `maxPoints` remain: all of
// them when they fit; otherwise the first and the last, and between them, in
// equal buckets, each bucket's minimum and maximum in their order, so that
// a spike never disappears. `maxPoints` below 4 counts as 4.
std::vector<size_t> ReduceIndices(const std::vector<double>& values,
                                  size_t maxPoints);

// `points` (in x order) reduced by their y values as above.
std::vector<SeriesPoint> ReduceSeries(const std::vector<SeriesPoint>& points,
                                      size_t maxPoints);

// A series that arrives a point at a time, kept within `maxPoints` (at least
// 4) however long it grows: every point while they fit; past that, the
// first, the latest, and between them the least and the greatest of each
// stretch by `Key`, stretches merging in pairs as the series goes on. So the
// memory it holds does not grow with the series, and a spike never
// disappears.
template <typename Point, double (*Key)(const Point&)>
class StreamingSeries {
 public:
  explicit StreamingSeries(size_t maxPoints = kMaxChartPoints)
      : maxPoints_(maxPoints < 4 ? 4 : maxPoints) {}

  void Add(const Point& point) {
    if (!reduced_) {
      if (points_.size() < maxPoints_) {
        points_.push_back(point);
        return;
      }
      // One more than fit: from now on in stretches.
      reduced_ = true;
      std::vector<Point> all;
      all.swap(points_);
      first_ = all.front();
      for (size_t i = 1; i < all.size(); ++i)
        Push(all[i]);
    }
    Push(point);
  }

  // The points kept, in the order they came.
  std::vector<Point> Points() const {
    if (!reduced_)
      return points_;
    std::vector<Point> points;
    points.reserve(2 * stretches_.size() + 2);
    points.push_back(first_);
    for (const Stretch& stretch : stretches_) {
      const Kept& early =
          stretch.low.order <= stretch.high.order ? stretch.low : stretch.high;
      const Kept& late = &early == &stretch.low ? stretch.high : stretch.low;
      points.push_back(early.point);
      if (late.order != early.order)
        points.push_back(late.point);
    }
    points.push_back(latest_.point);
    return points;
  }

 private:
  struct Kept {
    uint64_t order;
    Point point;
  };
  struct Stretch {
    Kept low;
    Kept high;
    uint64_t count;
  };

  // A point after the first: the one before it joins the open stretch.
  void Push(const Point& point) {
    if (hasLatest_)
      Join(latest_);
    latest_ = {added_++, point};
    hasLatest_ = true;
  }

  void Join(const Kept& kept) {
    if (stretches_.empty() || stretches_.back().count == width_) {
      // The first, the latest and two points a stretch stay within bounds.
      if (stretches_.size() == (maxPoints_ - 2) / 2)
        MergePairs();
      if (stretches_.empty() || stretches_.back().count == width_) {
        stretches_.push_back({kept, kept, 1});
        return;
      }
    }
    Stretch& open = stretches_.back();
    if (Key(kept.point) < Key(open.low.point))
      open.low = kept;
    if (Key(kept.point) > Key(open.high.point))
      open.high = kept;
    ++open.count;
  }

  // Halves the stretches: each pair becomes one twice as long, keeping the
  // lesser low and the greater high (the earlier on a tie).
  void MergePairs() {
    size_t merged = 0;
    for (size_t i = 0; i < stretches_.size(); i += 2) {
      Stretch stretch = stretches_[i];
      if (i + 1 < stretches_.size()) {
        const Stretch& next = stretches_[i + 1];
        if (Key(next.low.point) < Key(stretch.low.point))
          stretch.low = next.low;
        if (Key(next.high.point) > Key(stretch.high.point))
          stretch.high = next.high;
        stretch.count += next.count;
      }
      stretches_[merged++] = stretch;
    }
    stretches_.resize(merged);
    width_ *= 2;
  }

  size_t maxPoints_;
  bool reduced_ = false;
  std::vector<Point> points_;  // all of them, while they fit
  Point first_{};
  Kept latest_{};
  bool hasLatest_ = false;
  uint64_t added_ = 1;  // the order of the next point; the first's is 0
  std::vector<Stretch> stretches_;
  uint64_t width_ = 1;  // the points a full stretch holds
};
