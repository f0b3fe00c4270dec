#include "watch/trend.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace {

// The one-sided Mann-Kendall statistic that a rise must reach: a churning
// count passes it by chance about once in a thousand stretches.
constexpr double kRisingZ = 2.33;

struct Point {
  double milliseconds;
  double value;
};

uint32_t Clamped(uint64_t milliseconds) {
  return static_cast<uint32_t>(
      std::min<uint64_t>(milliseconds, std::numeric_limits<uint32_t>::max()));
}

TrendBucket Merged(const TrendBucket& a, const TrendBucket& b) {
  TrendBucket merged = a;
  uint64_t offset = b.firstMilliseconds - a.firstMilliseconds;
  merged.spanMilliseconds = Clamped(offset + b.spanMilliseconds);
  merged.last = b.last;
  merged.least = std::min(a.least, b.least);
  if (b.greatest > a.greatest) {
    merged.greatest = b.greatest;
    merged.greatestAfterMilliseconds =
        Clamped(offset + b.greatestAfterMilliseconds);
  }
  return merged;
}

// The Mann-Kendall S of `points` in time order: the rising pairs less the
// falling ones.
int64_t KendallS(const std::vector<Point>& points) {
  int64_t s = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    for (size_t j = i + 1; j < points.size(); ++j) {
      if (points[j].value > points[i].value)
        ++s;
      else if (points[j].value < points[i].value)
        --s;
    }
  }
  return s;
}

// S as a standard normal score, continuity corrected, with the variance
// reduced for tied values.
double KendallZ(const std::vector<Point>& points, int64_t s) {
  double n = static_cast<double>(points.size());
  double variance = n * (n - 1) * (2 * n + 5);
  std::vector<double> values;
  values.reserve(points.size());
  for (const Point& point : points)
    values.push_back(point.value);
  std::sort(values.begin(), values.end());
  for (size_t i = 0; i < values.size();) {
    size_t j = i;
    while (j < values.size() && values[j] == values[i])
      ++j;
    double tied = static_cast<double>(j - i);
    variance -= tied * (tied - 1) * (2 * tied + 5);
    i = j;
  }
  variance /= 18;
  if (s == 0 || variance <= 0)
    return 0;
  double corrected = static_cast<double>(s > 0 ? s - 1 : s + 1);
  return corrected / std::sqrt(variance);
}

// The index of the point after the largest rise from one to the next; 0
// when none rises.
size_t LargestJump(const std::vector<Point>& points) {
  size_t at = 0;
  double largest = 0;
  for (size_t i = 1; i < points.size(); ++i) {
    double rise = points[i].value - points[i - 1].value;
    if (rise > largest) {
      largest = rise;
      at = i;
    }
  }
  return at;
}

// The points with their largest rise taken out, so that one jump alone
// does not make a trend.
std::vector<Point> WithoutLargestJump(std::vector<Point> points) {
  size_t at = LargestJump(points);
  double largest = at == 0 ? 0 : points[at].value - points[at - 1].value;
  for (size_t i = at; largest > 0 && i < points.size(); ++i)
    points[i].value -= largest;
  return points;
}

// The median of `values`, which are not empty.
double Median(std::vector<double> values) {
  auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  double upper = *middle;
  if (values.size() % 2 != 0)
    return upper;
  return (*std::max_element(values.begin(), middle) + upper) / 2;
}

// The Theil-Sen slope: the median of the slopes between every two points,
// per millisecond.
double TheilSenSlope(const std::vector<Point>& points) {
  std::vector<double> slopes;
  slopes.reserve(points.size() * (points.size() - 1) / 2);
  for (size_t i = 0; i < points.size(); ++i) {
    for (size_t j = i + 1; j < points.size(); ++j) {
      double dt = points[j].milliseconds - points[i].milliseconds;
      if (dt > 0)
        slopes.push_back((points[j].value - points[i].value) / dt);
    }
  }
  return slopes.empty() ? 0 : Median(std::move(slopes));
}

}  // namespace

void TrendSummary::Add(uint64_t milliseconds, uint32_t value) {
  if (used_ > 0 && BucketSamples(used_ - 1) < perBucket_) {
    ++samples_;
    TrendBucket& bucket = buckets_[used_ - 1];
    uint32_t offset = Clamped(milliseconds - bucket.firstMilliseconds);
    bucket.spanMilliseconds = offset;
    bucket.last = value;
    bucket.least = std::min(bucket.least, value);
    if (value > bucket.greatest) {
      bucket.greatest = value;
      bucket.greatestAfterMilliseconds = offset;
    }
    return;
  }
  if (used_ == kTrendBuckets) {
    for (size_t i = 0; i < kTrendBuckets / 2; ++i)
      buckets_[i] = Merged(buckets_[2 * i], buckets_[2 * i + 1]);
    used_ = kTrendBuckets / 2;
    perBucket_ *= 2;
  }
  ++samples_;
  TrendBucket& bucket = buckets_[used_++];
  bucket = TrendBucket();
  bucket.firstMilliseconds = milliseconds;
  bucket.first = bucket.last = bucket.least = bucket.greatest = value;
}

uint64_t TrendSummary::LastMilliseconds() const {
  const TrendBucket& last = buckets_[used_ - 1];
  return last.firstMilliseconds + last.spanMilliseconds;
}

Trend JudgeTrend(const TrendSummary& summary) {
  Trend trend;
  const size_t buckets = summary.BucketCount();
  trend.least = summary.Bucket(0).least;
  trend.greatest = summary.Bucket(0).greatest;
  for (size_t i = 1; i < buckets; ++i) {
    trend.least = std::min(trend.least, summary.Bucket(i).least);
    trend.greatest = std::max(trend.greatest, summary.Bucket(i).greatest);
  }
  const uint32_t first = summary.First();
  const uint32_t last = summary.Last();
  trend.level = last;
  trend.levelMilliseconds = summary.FirstMilliseconds();
  if (last <= first) {
    trend.word =
        trend.least == trend.greatest ? TrendWord::Held : TrendWord::UpAndDown;
    return trend;
  }
  const uint64_t samples = summary.Samples();
  if (samples < kTrendMinimumSamples) {
    uint64_t span = summary.LastMilliseconds() - summary.FirstMilliseconds();
    trend.word = TrendWord::StillGrowing;
    trend.perMinute = span == 0 ? 0
                                : static_cast<double>(last - first) * 60000 /
                                      static_cast<double>(span);
    return trend;
  }

  // The latest stretch: the buckets of the latest third of the samples, at
  // least kTrendMinimumSamples of them.
  const uint64_t wanted = std::max<uint64_t>(samples / 3, 16);
  size_t start = buckets;
  uint64_t taken = 0;
  while (start > 0 && taken < wanted)
    taken += summary.BucketSamples(--start);
  std::vector<Point> points;
  points.reserve(2 * (buckets - start));
  for (size_t i = start; i < buckets; ++i) {
    const TrendBucket& bucket = summary.Bucket(i);
    double at = static_cast<double>(bucket.firstMilliseconds);
    points.push_back({at, static_cast<double>(bucket.first)});
    if (summary.BucketSamples(i) > 1)
      points.push_back(
          {at + bucket.spanMilliseconds, static_cast<double>(bucket.last)});
  }

  std::vector<Point> steady = WithoutLargestJump(points);
  bool rising = KendallZ(steady, KendallS(steady)) >= kRisingZ;
  if (rising) {
    // A churn whose floor does not climb is not a rise, however its peaks
    // fall within the stretch: the later half's least must be above the
    // earlier half's.
    size_t middle = start + (buckets - start) / 2;
    uint32_t earlier = summary.Bucket(start).least;
    uint32_t later = summary.Bucket(middle).least;
    for (size_t i = start; i < buckets; ++i) {
      uint32_t& least = i < middle ? earlier : later;
      least = std::min(least, summary.Bucket(i).least);
    }
    rising = later > earlier;
  }
  double slope = TheilSenSlope(points) * 60000;
  if (rising && slope > 0) {
    trend.word = TrendWord::StillGrowing;
    trend.perMinute = slope;
    return trend;
  }

  // Held: the latest stretch sits above the start by more than it churns
  // apart from its largest jump. Its level is where it settled: after that
  // jump, unless that leaves less than a quarter of the stretch.
  size_t jump = LargestJump(points);
  if (4 * (points.size() - jump) < points.size())
    jump = 0;
  std::vector<double> values;
  values.reserve(points.size() - jump);
  double steadyLeast = steady[0].value;
  double steadyGreatest = steadyLeast;
  for (size_t i = 0; i < points.size(); ++i) {
    if (i >= jump)
      values.push_back(points[i].value);
    steadyLeast = std::min(steadyLeast, steady[i].value);
    steadyGreatest = std::max(steadyGreatest, steady[i].value);
  }
  double level = Median(values);
  if (level - first > steadyGreatest - steadyLeast) {
    trend.word = TrendWord::Held;
    trend.level = static_cast<uint32_t>(std::lround(level));
    for (size_t i = 0; i < buckets; ++i) {
      const TrendBucket& bucket = summary.Bucket(i);
      if (bucket.greatest >= trend.level) {
        trend.levelMilliseconds =
            bucket.firstMilliseconds + (bucket.first >= trend.level
                                            ? 0
                                            : bucket.greatestAfterMilliseconds);
        break;
      }
    }
    return trend;
  }
  trend.word = TrendWord::UpAndDown;
  return trend;
}

const char* TrendWordText(TrendWord word) {
  switch (word) {
    case TrendWord::StillGrowing:
      return "still growing";
    case TrendWord::Held:
      return "held";
    case TrendWord::UpAndDown:
      return "up and down";
  }
  return "";
}
