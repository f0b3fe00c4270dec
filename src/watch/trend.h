// Whether a count watched over time is still growing, held, or going up and
// down: judged from a summary of bounded size fed sample by sample, with the
// Mann-Kendall test and the Theil-Sen slope over the latest stretch.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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

struct Trend {
  // Still growing: the latest stretch's slope.
  double perMinute = 0;
  // Held: the level, and when it was first reached.
  uint64_t levelMilliseconds = 0;
  uint32_t level = 0;
  // Up and down: the least and the greatest count.
  uint32_t least = 0;
  uint32_t greatest = 0;
  TrendWord word = TrendWord::UpAndDown;
};

// Fewer samples than this are too few to judge: a count that grew over
// them is still growing, at its rate from the first to the last.
constexpr uint64_t kTrendMinimumSamples = 8;

// The verdict on `summary`, which holds at least one sample.
Trend JudgeTrend(const TrendSummary& summary);

// "still growing", "held" or "up and down", as scripts may match them.
const char* TrendWordText(TrendWord word);
