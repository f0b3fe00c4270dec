// Whether a count watched over time is still growing, held, or going up and
// down: judged from a summary of bounded size fed sample by sample, over
// the stretch since the count's floor last changed its course (found by
// binary segmentation of straight lines), by that stretch's Theil-Sen slope.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// A run of consecutive samples, reduced to what the judgement reads.
struct TrendBucket {
  uint64_t firstMilliseconds = 0;
  uint32_t spanMilliseconds = 0;           // from its first sample to its last
  uint32_t greatestAfterMilliseconds = 0;  // when it first reached greatest
  uint32_t first = 0;
  uint32_t last = 0;
  uint32_t least = 0;
  uint32_t greatest = 0;
};

// A count's samples, kept in at most kTrendBuckets buckets of equal sample
// counts: when they are all full, neighbours merge in pairs and each bucket
// takes twice as many samples from then on. So a long watch costs what a
// short one does.
class TrendSummary {
 public:
  static constexpr size_t kTrendBuckets = 96;

  // Notes the count `value` at `milliseconds`, later than the last.
  void Add(uint64_t milliseconds, uint32_t value);

  uint64_t Samples() const { return samples_; }
  size_t BucketCount() const { return used_; }
  const TrendBucket& Bucket(size_t i) const { return buckets_[i]; }
  // The samples bucket `i` holds: every one but the last is full.
  uint64_t BucketSamples(size_t i) const {
    return i + 1 < used_ ? perBucket_ : samples_ - perBucket_ * (used_ - 1);
  }
  uint32_t First() const { return buckets_[0].first; }
  uint32_t Last() const { return buckets_[used_ - 1].last; }
  uint64_t FirstMilliseconds() const { return buckets_[0].firstMilliseconds; }
  uint64_t LastMilliseconds() const;

 private:
  std::array<TrendBucket, kTrendBuckets> buckets_;
  size_t used_ = 0;
  uint64_t perBucket_ = 1;
  uint64_t samples_ = 0;
};

enum class TrendWord : uint8_t {
  StillGrowing,  // rises over the latest stretch: a leak, or not done yet
  Held,          // rose, then stopped: flat apart from churn
  UpAndDown,     // rises and falls without a lasting rise
};

// Every process that grew keeps one, so it is small: its times first, then
// its counts, in 40 bytes.
struct Trend {
  // Held: when the level was first reached.
  uint64_t levelMilliseconds = 0;
  // Where the latest stretch judged starts.
  uint64_t changeMilliseconds = 0;
  // Still growing: the latest stretch's slope, to seven digits where the
  // report words three.
  float perMinute = 0;
  // Held: the level.
  uint32_t level = 0;
  // Up and down: the least and the greatest count.
  uint32_t least = 0;
  uint32_t greatest = 0;
  // How far the count moves about its level from sample to sample.
  uint32_t churn = 0;
  TrendWord word = TrendWord::UpAndDown;
  // Held: the count never moved.
  bool unchanged = false;
};

// Where a count stands against a limit it cannot pass (a process's quota,
// the table's slots).
enum class LimitState : uint8_t {
  Unknown,  // no limit, or not heading for it
  Reached,  // at it, or within its churn of it, whatever its word
  Ahead,    // still growing: reaches it in secondsLeft at its trend
};
// How the growth report orders two trends: the word first (still growing
// before held before up and down), then, between two still growing, the
// steeper. Negative when `a` goes first, positive when `b` does, 0 when
// the trends do not decide.
int CompareTrends(const Trend& a, const Trend& b);

// Kept for every process that grew, so small: a float holds a time ahead
// to well under a second in a day, more than the report words it.
struct LimitOutlook {
  float secondsLeft = 0;
  LimitState state = LimitState::Unknown;
};

// The outlook of a count whose last value is `last`, judged `trend`,
// against `limit` (0: none).
LimitOutlook JudgeLimit(uint32_t last, const Trend& trend, uint32_t limit);

// The fewest samples a stretch is judged over, unless the count has fewer.
// A count with fewer that grew and never fell is still growing, at its rate
// from the first sample to the last.
constexpr uint64_t kTrendMinimumSamples = 8;

// The verdict on `summary`, which holds at least one sample.
Trend JudgeTrend(const TrendSummary& summary);

// The stages of JudgeTrend, for their tests.

// A bucket's least count at its middle, no higher than the higher of its
// neighbours' (a momentary spike is no level); and
// its floor: the least the count came down to from that bucket on, so that
// churn and a spike count by the level the count keeps returning to, and a
// sawtooth by the level of its releases.
struct TrendFloor {
  double milliseconds = 0;
  double least = 0;
  double floor = 0;
};
std::vector<TrendFloor> TrendFloors(const TrendSummary& summary);

// How much a count moves from one sample to the next, typically: the median
// of the changes between neighbouring samples that the summary keeps.
double TrendChurn(const TrendSummary& summary);

// The releases of a sawtooth: falls of the least by far more than the
// churn. With two or more, `end` leaves out the latest tooth when it is no
// older than the longest before it (it is one more tooth), and
// `longestMilliseconds` is that longest; else all the floors and 0.
struct TrendTeeth {
  size_t end = 0;
  double longestMilliseconds = 0;
};
TrendTeeth TrendReleases(const std::vector<TrendFloor>& floors, double churn);

// The steps of a staircase (a leak in bursts): rises of the floor by far
// more than the churn, which make most of its rise. With four or more, the
// typical (median) time between two of them, so that the flat since the
// latest step is judged as one more stair until it lasts longer; else 0.
double TrendStairTime(const std::vector<TrendFloor>& floors, double churn);

// Least-squares lines through the stretches of floors, at least this many
// buckets each.
constexpr size_t kTrendMinimumStretch = 3;
// A change costs this many times the log of the floors' count, times the
// churn squared: Schwarz's criterion for a line's two more parameters and
// its start, with the churn as the noise.
constexpr double kTrendChangePenalty = 3;

// Where the latest stretch of `floors[0, end)` starts: binary segmentation,
// splitting the latest stretch where two lines explain it better than one
// by more than the penalty, until no split does; stretches of at least
// `shortest` buckets.
size_t TrendLatestChange(const std::vector<TrendFloor>& floors, size_t end,
                         double churn, size_t shortest);

// "still growing", "held" or "up and down", as scripts may match them.
const char* TrendWordText(TrendWord word);
