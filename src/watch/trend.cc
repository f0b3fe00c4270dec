#include "watch/trend.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace {

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

// The median of `values`, which are not empty.
double Median(std::vector<double> values) {
  auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  double upper = *middle;
  if (values.size() % 2 != 0)
    return upper;
  return (*std::max_element(values.begin(), middle) + upper) / 2;
}

// The Theil-Sen slope of `points[from, to)`: the median of the slopes
// between every two points, per millisecond.
double TheilSenSlope(const std::vector<Point>& points, size_t from, size_t to) {
  std::vector<double> slopes;
  slopes.reserve((to - from) * (to - from - 1) / 2);
  for (size_t i = from; i < to; ++i) {
    for (size_t j = i + 1; j < to; ++j) {
      double dt = points[j].milliseconds - points[i].milliseconds;
      if (dt > 0)
        slopes.push_back((points[j].value - points[i].value) / dt);
    }
  }
  return slopes.empty() ? 0 : Median(std::move(slopes));
}

// Whether no sample of `summary`, which keeps every sample, is below the
// one before.
bool NeverFell(const TrendSummary& summary) {
  for (size_t i = 1; i < summary.BucketCount(); ++i) {
    if (summary.Bucket(i).least < summary.Bucket(i - 1).last)
      return false;
  }
  return true;
}

// Running sums over a series, so that the least-squares line of any of its
// stretches, and what the line leaves unexplained, cost a few operations.
class LineFits {
 public:
  explicit LineFits(const std::vector<Point>& points)
      : sums_(points.size() + 1) {
    // Times from the first point, in minutes, keep the squares small.
    const double origin = points.empty() ? 0 : points[0].milliseconds;
    for (size_t i = 0; i < points.size(); ++i) {
      double t = (points[i].milliseconds - origin) / 60000;
      double y = points[i].value;
      Sums& next = sums_[i + 1];
      next = sums_[i];
      next.t += t;
      next.y += y;
      next.tt += t * t;
      next.ty += t * y;
      next.yy += y * y;
    }
  }

  // The sum of squared residuals of the least-squares line through the
  // points [from, to).
  double Residual(size_t from, size_t to) const {
    const Sums& a = sums_[from];
    const Sums& b = sums_[to];
    double n = static_cast<double>(to - from);
    double t = b.t - a.t, y = b.y - a.y;
    double stt = (b.tt - a.tt) - t * t / n;
    double sty = (b.ty - a.ty) - t * y / n;
    double syy = (b.yy - a.yy) - y * y / n;
    double residual = stt > 0 ? syy - sty * sty / stt : syy;
    return std::max(0.0, residual);
  }

 private:
  struct Sums {
    double t = 0, y = 0, tt = 0, ty = 0, yy = 0;
  };
  std::vector<Sums> sums_;
};

// Whether the floor over [from, end) stays within the reach of the stretch
// [earlier, from) before it: under that stretch's floor line, carried on,
// plus how far above its line the count typically went there (the upper
// quartile, so that a spike or two do not count), where that is more than
// its churn. A climbing sawtooth's last tooth, whose floor is not yet
// known, is more of the same.
bool WithinReach(const TrendSummary& summary, const std::vector<Point>& points,
                 size_t earlier, size_t from, size_t end, double band) {
  if (from - earlier < 2)
    return false;
  const double slope = TheilSenSlope(points, earlier, from);
  std::vector<double> offsets;
  offsets.reserve(from - earlier);
  for (size_t i = earlier; i < from; ++i)
    offsets.push_back(points[i].value - slope * points[i].milliseconds);
  const double intercept = Median(offsets);
  std::vector<double> above;
  above.reserve(from - earlier);
  for (size_t i = earlier; i < from; ++i)
    above.push_back(summary.Bucket(i).greatest -
                    (intercept + slope * points[i].milliseconds));
  std::sort(above.begin(), above.end());
  const double reach = above[above.size() * 3 / 4];
  // A count that kept to its floor has no teeth to hide a change in.
  if (reach <= 2 * band)
    return false;
  for (size_t i = from; i < end; ++i) {
    if (points[i].value >
        intercept + slope * points[i].milliseconds + reach + band)
      return false;
  }
  return true;
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

std::vector<TrendFloor> TrendFloors(const TrendSummary& summary) {
  const size_t buckets = summary.BucketCount();
  std::vector<TrendFloor> floors(buckets);
  for (size_t i = 0; i < buckets; ++i) {
    const TrendBucket& bucket = summary.Bucket(i);
    // When the least came is not kept: at the first or the last sample
    // where it is one of them, else in the middle.
    double at = static_cast<double>(bucket.spanMilliseconds) / 2;
    if (bucket.least == bucket.first)
      at = 0;
    else if (bucket.least == bucket.last)
      at = bucket.spanMilliseconds;
    floors[i].milliseconds = static_cast<double>(bucket.firstMilliseconds) + at;
    double least = bucket.least;
    if (i > 0 && i + 1 < buckets)
      least = std::min(
          least, static_cast<double>(std::max(summary.Bucket(i - 1).least,
                                              summary.Bucket(i + 1).least)));
    floors[i].least = least;
  }
  double below = std::numeric_limits<double>::infinity();
  for (size_t i = buckets; i-- > 0;) {
    below = std::min(below, floors[i].least);
    floors[i].floor = below;
  }
  return floors;
}

double TrendChurn(const TrendSummary& summary) {
  const size_t buckets = summary.BucketCount();
  std::vector<double> changes;
  changes.reserve(2 * buckets);
  for (size_t i = 0; i < buckets; ++i) {
    const TrendBucket& bucket = summary.Bucket(i);
    if (i + 1 < buckets)
      changes.push_back(static_cast<double>(summary.Bucket(i + 1).first) -
                        static_cast<double>(bucket.last));
    if (summary.BucketSamples(i) == 2)
      changes.push_back(static_cast<double>(bucket.last) -
                        static_cast<double>(bucket.first));
  }
  if (changes.empty())
    return 0;
  // Around the typical change, so that a steady rise is not churn.
  const double typical = Median(changes);
  for (double& change : changes)
    change = std::fabs(change - typical);
  return Median(std::move(changes));
}

TrendTeeth TrendReleases(const std::vector<TrendFloor>& floors, double churn) {
  TrendTeeth teeth;
  teeth.end = floors.size();
  // A release: the least falls by far more than the churn.
  const double drop = std::max(4 * churn, 4.0);
  size_t last = 0;
  size_t releases = 0;
  for (size_t i = 1; i < floors.size(); ++i) {
    if (floors[i].least + drop >= floors[i - 1].least)
      continue;
    if (releases++ > 0)
      teeth.longestMilliseconds =
          std::max(teeth.longestMilliseconds,
                   floors[i].milliseconds - floors[last].milliseconds);
    last = i;
  }
  // A tooth younger than the longest one before it is a tooth like them.
  if (releases >= 2 && floors.back().milliseconds - floors[last].milliseconds <=
                           teeth.longestMilliseconds)
    teeth.end = last;
  if (releases < 2)
    teeth.longestMilliseconds = 0;
  return teeth;
}

double TrendStairTime(const std::vector<TrendFloor>& floors, double churn) {
  if (floors.size() < 2)
    return 0;
  const double step = std::max(4 * churn, 4.0);
  std::vector<double> between;
  double climbed = 0;  // by the steps
  size_t last = 0;
  for (size_t i = 1; i < floors.size(); ++i) {
    const double rise = floors[i].floor - floors[i - 1].floor;
    if (rise < step)
      continue;
    climbed += rise;
    if (last > 0)
      between.push_back(floors[i].milliseconds - floors[last].milliseconds);
    last = i;
  }
  // A steady rise takes a step now and then; a staircase climbs by its
  // steps, flat between them.
  const double rise = floors.back().floor - floors.front().floor;
  if (between.size() < 3 || climbed < 0.75 * rise)
    return 0;
  return Median(std::move(between));
}

size_t TrendLatestChange(const std::vector<TrendFloor>& floors, size_t end,
                         double churn, size_t shortest) {
  std::vector<Point> points(end);
  for (size_t i = 0; i < end; ++i)
    points[i] = {floors[i].milliseconds, floors[i].floor};
  const LineFits fits(points);
  shortest = std::max<size_t>(shortest, 1);
  std::vector<double> rises;
  rises.reserve(end);
  size_t from = 0;
  while (end - from >= 2 * shortest) {
    // Where in its bucket a floor was reached is not kept: a floor may be
    // off its line by up to half a bucket's rise, so the noise is at least
    // half the stretch's typical rise from one floor to the next.
    rises.clear();
    for (size_t i = from + 1; i < end; ++i)
      rises.push_back(points[i].value - points[i - 1].value);
    const double noise = std::max({churn, Median(rises) / 2, 1.0});
    const double penalty = kTrendChangePenalty *
                           std::log(static_cast<double>(end)) * noise * noise;
    const double whole = fits.Residual(from, end);
    double best = whole;
    size_t split = from;
    for (size_t k = from + shortest; k + shortest <= end; ++k) {
      double parts = fits.Residual(from, k) + fits.Residual(k, end);
      if (parts < best) {
        best = parts;
        split = k;
      }
    }
    if (split == from || whole - best <= penalty)
      break;
    from = split;
  }
  return from;
}

namespace {

// The fewest buckets a stretch is judged over: three, the samples too few
// to judge, and two of the longest teeth or the typical stairs, so that a
// floor is judged by more than one release or step.
size_t ShortestStretch(const TrendSummary& summary,
                       const std::vector<TrendFloor>& floors,
                       const TrendTeeth& teeth, double churn) {
  const size_t buckets = summary.BucketCount();
  const uint64_t perBucket = summary.BucketSamples(0);
  size_t shortest = std::max<size_t>(
      kTrendMinimumStretch,
      static_cast<size_t>((kTrendMinimumSamples + perBucket - 1) / perBucket));
  // A full bucket's time: where in it a floor lies varies.
  const double bucketMilliseconds =
      buckets > 1 ? static_cast<double>(summary.Bucket(1).firstMilliseconds -
                                        summary.Bucket(0).firstMilliseconds)
                  : 1;
  if (bucketMilliseconds > 0) {
    const double longest =
        std::max(teeth.longestMilliseconds, TrendStairTime(floors, churn));
    shortest = std::max(
        shortest,
        static_cast<size_t>(std::ceil(2 * longest / bucketMilliseconds)));
  }
  return shortest;
}

// The latest stretch judged, [from, end) of the floors, and its slope.
struct LatestStretch {
  size_t from = 0;
  double slope = 0;  // per millisecond
  bool rising = false;
};

// The stretch since the latest change, or an earlier one where the latest
// is more of what came before it.
LatestStretch FindLatestStretch(const TrendSummary& summary,
                                const std::vector<TrendFloor>& floors,
                                const std::vector<Point>& points, size_t end,
                                double churn, size_t shortest, double band) {
  LatestStretch stretch;
  stretch.from = TrendLatestChange(floors, end, churn, shortest);
  for (;;) {
    const size_t from = stretch.from;
    stretch.slope = TheilSenSlope(points, from, end);
    const double duration =
        points[end - 1].milliseconds - points[from].milliseconds;
    stretch.rising = end - from >= 2 && stretch.slope * duration > 2 * band;
    if (!stretch.rising || from == 0)
      return stretch;
    // A latest stretch that rises no higher than the count had already
    // been before it is more of what came before (a tooth, the churn's
    // ends): judged with the stretch before it.
    uint32_t before = 0;
    for (size_t i = 0; i < from; ++i)
      before = std::max(before, summary.Bucket(i).greatest);
    const size_t earlier = TrendLatestChange(floors, from, churn, shortest);
    if (floors[end - 1].floor > before + band &&
        !WithinReach(summary, points, earlier, from, end, band))
      return stretch;
    stretch.from = earlier;
  }
}

// Held: the stretch from bucket `from` sits above the first count by more
// than the band, and its counts keep within the band of its level, the
// median of them. Sets the level and when the count first reached it.
bool JudgeHeld(const TrendSummary& summary, size_t from, double band,
               Trend* trend) {
  const size_t buckets = summary.BucketCount();
  std::vector<double> values;
  values.reserve(2 * (buckets - from));
  for (size_t i = from; i < buckets; ++i) {
    values.push_back(summary.Bucket(i).first);
    values.push_back(summary.Bucket(i).last);
  }
  const double level = Median(values);
  for (double& value : values)
    value = std::fabs(value - level);
  const double spread = Median(std::move(values));
  if (level - summary.First() < band || spread > band)
    return false;
  trend->level = static_cast<uint32_t>(std::lround(level));
  for (size_t i = 0; i < buckets; ++i) {
    const TrendBucket& bucket = summary.Bucket(i);
    if (bucket.greatest >= trend->level) {
      trend->levelMilliseconds =
          bucket.firstMilliseconds +
          (bucket.first >= trend->level ? 0 : bucket.greatestAfterMilliseconds);
      break;
    }
  }
  return true;
}

}  // namespace

Trend JudgeTrend(const TrendSummary& summary) {
  Trend trend;
  const size_t buckets = summary.BucketCount();
  trend.least = summary.Bucket(0).least;
  trend.greatest = summary.Bucket(0).greatest;
  for (size_t i = 1; i < buckets; ++i) {
    trend.least = std::min(trend.least, summary.Bucket(i).least);
    trend.greatest = std::max(trend.greatest, summary.Bucket(i).greatest);
  }
  const double churn = TrendChurn(summary);
  trend.churn = static_cast<uint32_t>(std::ceil(2 * churn));
  const uint32_t first = summary.First();
  const uint32_t last = summary.Last();
  trend.level = last;
  trend.levelMilliseconds = summary.FirstMilliseconds();
  if (last <= first) {
    trend.unchanged = trend.least == trend.greatest;
    trend.word = trend.unchanged ? TrendWord::Held : TrendWord::UpAndDown;
    return trend;
  }
  // Too few samples to tell churn from a rise: one that never fell is
  // still growing, at its rate from the first to the last.
  if (summary.Samples() < kTrendMinimumSamples && NeverFell(summary)) {
    uint64_t span = summary.LastMilliseconds() - summary.FirstMilliseconds();
    trend.word = TrendWord::StillGrowing;
    trend.perMinute =
        span == 0 ? 0
                  : static_cast<float>(static_cast<double>(last - first) *
                                       60000 / static_cast<double>(span));
    return trend;
  }
  const std::vector<TrendFloor> floors = TrendFloors(summary);
  const TrendTeeth teeth = TrendReleases(floors, churn);
  const size_t end = teeth.end;
  std::vector<Point> points(end);
  for (size_t i = 0; i < end; ++i)
    points[i] = {floors[i].milliseconds, floors[i].floor};
  const double band = std::max(2 * churn, 1.0);
  const LatestStretch stretch =
      FindLatestStretch(summary, floors, points, end, churn,
                        ShortestStretch(summary, floors, teeth, churn), band);
  trend.changeMilliseconds = summary.Bucket(stretch.from).firstMilliseconds;
  if (stretch.rising) {
    trend.word = TrendWord::StillGrowing;
    trend.perMinute = static_cast<float>(stretch.slope * 60000);
  } else {
    trend.word = JudgeHeld(summary, stretch.from, band, &trend)
                     ? TrendWord::Held
                     : TrendWord::UpAndDown;
  }
  return trend;
}

LimitOutlook JudgeLimit(uint32_t last, const Trend& trend, uint32_t limit) {
  LimitOutlook outlook;
  if (limit == 0)
    return outlook;
  // A held count stands at its level: churn may have taken a few objects
  // away at the last sample.
  const uint32_t standing =
      trend.word == TrendWord::Held ? std::max(last, trend.level) : last;
  if (standing >= limit || limit - standing <= trend.churn) {
    outlook.state = LimitState::Reached;
  } else if (trend.word == TrendWord::StillGrowing && trend.perMinute > 0) {
    outlook.state = LimitState::Ahead;
    outlook.secondsLeft = static_cast<float>(static_cast<double>(limit - last) *
                                             60 / trend.perMinute);
  }
  return outlook;
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

int CompareTrends(const Trend& a, const Trend& b) {
  if (a.word != b.word)
    return a.word < b.word ? -1 : 1;
  if (a.word == TrendWord::StillGrowing && a.perMinute != b.perMinute)
    return a.perMinute > b.perMinute ? -1 : 1;
  return 0;
}
