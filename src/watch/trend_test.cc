#include "watch/trend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "watch/trend_testing.h"

namespace {

TrendSummary Summarised(const std::vector<uint32_t>& counts,
                        uint64_t interval = 10000) {
  TrendSummary summary;
  for (size_t i = 0; i < counts.size(); ++i)
    summary.Add(i * interval, counts[i]);
  return summary;
}

bool RisesSteadily(TrendFamily family) {
  switch (family) {
    case TrendFamily::SteadyRise:
    case TrendFamily::LateLeak:
    case TrendFamily::LateStart:
    case TrendFamily::Spiked:
    case TrendFamily::SlowUnderChurn:
    case TrendFamily::ShortRise:
    case TrendFamily::HourlyLeak:
      return true;
    default:
      return false;
  }
}

}  // namespace

// Instances of the labelled set: the first few of each family and
// situation, and the single steps whose floor or jump decides. The word;
// for a leak whose latest stretch rises steadily, or a sawtooth's climbing
// floor, its slope within a quarter of the truth; where the latest stretch
// starts late in the watch, where it starts within four of the summary's
// stretches.
TEST(TrendTest, FamiliesGetTheirWord) {
  struct Row {
    TrendFamily family;
    std::vector<uint64_t> instances;
  };
  const Row rows[] = {
      {TrendFamily::SteadyRise, {0, 1, 2, 3, 4}},
      // Bursts 70: the flat since its last burst is one more stair, not a
      // hold. Climbing floor 77, 115 and 118: the latest tooth, whose floor
      // is not yet known, gives no slope of its own.
      {TrendFamily::Bursts, {0, 1, 2, 3, 4, 70}},
      {TrendFamily::ClimbingFloor, {0, 1, 2, 3, 4, 77, 115, 118}},
      {TrendFamily::LateLeak, {0, 1, 2, 3, 4}},
      {TrendFamily::Plateau, {0, 1, 2, 3, 4}},
      {TrendFamily::SingleStep, {0, 1, 2, 17, 22, 39, 160}},
      {TrendFamily::Churn, {0, 1, 2, 3, 4, 5, 6, 7}},
      {TrendFamily::Sawtooth, {0, 1, 2, 3, 4}},
      {TrendFamily::LateStart, {0, 1, 2, 3}},
      {TrendFamily::Stopped, {0, 1, 2, 3}},
      {TrendFamily::Spiked, {0, 1, 2, 3}},
      {TrendFamily::SlowUnderChurn, {0, 1, 2, 3}},
      {TrendFamily::GcClimbing, {1, 2, 3}},
      {TrendFamily::GcFlat, {0, 1, 2, 3}},
      {TrendFamily::AtQuota, {0, 1, 37}},
      {TrendFamily::BelowQuota, {0, 1}},
      {TrendFamily::ShortRise, {0, 1, 2, 3}},
      {TrendFamily::ShortChurn, {0, 1, 2, 3, 4, 5}},
      {TrendFamily::HourlyLeak, {0, 1, 2}},
  };
  for (const Row& row : rows) {
    for (uint64_t instance : row.instances) {
      TrendCase made = LabelledTrendCase(row.family, instance);
      SCOPED_TRACE(std::string(TrendFamilyName(row.family)) + " " +
                   std::to_string(instance) + ", " +
                   std::to_string(made.counts.size()) + " samples");
      if (made.counts.back() <= made.counts.front())
        continue;  // the report gives no line for it
      TrendSummary summary = Summarised(made.counts, made.intervalMilliseconds);
      Trend trend = JudgeTrend(summary);
      EXPECT_STREQ(TrendWordText(ExpectedWord(row.family)),
                   TrendWordText(trend.word));
      const double perMinute =
          made.risePerSample * 60000 / made.intervalMilliseconds;
      if (RisesSteadily(row.family) || row.family == TrendFamily::GcClimbing ||
          row.family == TrendFamily::ClimbingFloor) {
        EXPECT_NEAR(perMinute, trend.perMinute, perMinute / 4);
      }
      if (made.latestFrom != 0 && made.counts.size() >= 2000) {
        const double stretch = static_cast<double>(summary.BucketSamples(0) *
                                                   made.intervalMilliseconds);
        EXPECT_NEAR(
            static_cast<double>(made.latestFrom * made.intervalMilliseconds),
            static_cast<double>(trend.changeMilliseconds), 4 * stretch);
      }
    }
  }
}

// The floors: a momentary spike is no level, and each floor is the least
// the count came down to from then on.
TEST(TrendTest, Floors) {
  std::vector<TrendFloor> floors =
      TrendFloors(Summarised({10, 12, 900, 14, 11, 20, 16}));
  std::vector<double> least, floor;
  for (const TrendFloor& f : floors) {
    least.push_back(f.least);
    floor.push_back(f.floor);
  }
  EXPECT_EQ((std::vector<double>{10, 12, 14, 14, 11, 16, 16}), least);
  EXPECT_EQ((std::vector<double>{10, 11, 11, 11, 11, 16, 16}), floor);
}

// The churn: how far changes stray from the typical one, so that a steady
// rise, however steep, has none.
TEST(TrendTest, Churn) {
  EXPECT_EQ(0, TrendChurn(Summarised({10, 15, 20, 25, 30, 35})));
  EXPECT_EQ(0, TrendChurn(Summarised({10, 10, 10, 30, 30, 30, 30})));
  EXPECT_EQ(4, TrendChurn(Summarised({10, 14, 10, 14, 10, 14, 10})));
}

// A sawtooth's latest tooth is left out while it is no older than the
// longest before it, and the teeth are as long as the longest.
TEST(TrendTest, Releases) {
  std::vector<uint32_t> counts;
  for (int i = 0; i < 34; ++i)
    counts.push_back(static_cast<uint32_t>(100 + 10 * (i % 10)));
  TrendSummary summary = Summarised(counts);
  TrendTeeth teeth = TrendReleases(TrendFloors(summary), TrendChurn(summary));
  EXPECT_EQ(30u, teeth.end);
  EXPECT_EQ(100000, teeth.longestMilliseconds);
  // A "tooth" longer than any before it is no tooth: nothing left out.
  for (int i = 0; i < 12; ++i)
    counts.push_back(static_cast<uint32_t>(140 + 10 * i));
  summary = Summarised(counts);
  teeth = TrendReleases(TrendFloors(summary), TrendChurn(summary));
  EXPECT_EQ(summary.BucketCount(), teeth.end);
}

// The change is found where a rise stops and where one starts, to the
// bucket; a straight rise has none.
TEST(TrendTest, LatestChange) {
  struct Case {
    std::vector<uint32_t> counts;
    size_t change;
  };
  std::vector<Case> cases(3);
  for (uint32_t i = 0; i < 40; ++i) {
    cases[0].counts.push_back(100 + 5 * std::min(i, 25u));
    cases[1].counts.push_back(100 + 5 * (i < 28 ? 0 : i - 28) + i % 2);
    cases[2].counts.push_back(100 + 3 * i);
  }
  cases[0].change = 25;
  cases[1].change = 28;
  cases[2].change = 0;
  for (const Case& c : cases) {
    TrendSummary summary = Summarised(c.counts);
    std::vector<TrendFloor> floors = TrendFloors(summary);
    size_t change =
        TrendLatestChange(floors, floors.size(), TrendChurn(summary), 3);
    EXPECT_NEAR(static_cast<double>(c.change), static_cast<double>(change), 1);
  }
}

// A held level is the latest stretch's, not its last sample's; it was
// first reached where the count first came to it, however the summary's
// stretches merged since.
TEST(TrendTest, HeldLevelAndSince) {
  std::vector<uint32_t> counts;
  for (uint32_t i = 0; i < 1000; ++i)
    counts.push_back(i < 300 ? 100 + i : 400 + (i * 7 % 5) - 2);
  counts.back() = 403;
  Trend trend = JudgeTrend(Summarised(counts, 1000));
  ASSERT_EQ(TrendWord::Held, trend.word);
  EXPECT_EQ(400u, trend.level);
  // Reached 400 at sample 300 or just before, in a stretch of 16 samples.
  EXPECT_NEAR(300000.0, static_cast<double>(trend.levelMilliseconds), 16000);
}

// A count that never moved is held throughout; a short rise that never
// fell is still growing at its average rate; one that fell is judged.
TEST(TrendTest, ShortAndUnchanged) {
  Trend unchanged = JudgeTrend(Summarised({50, 50, 50}));
  EXPECT_EQ(TrendWord::Held, unchanged.word);
  EXPECT_TRUE(unchanged.unchanged);
  Trend rise = JudgeTrend(Summarised({10, 200, 260}));
  EXPECT_EQ(TrendWord::StillGrowing, rise.word);
  EXPECT_DOUBLE_EQ(750, rise.perMinute);
  EXPECT_NE(TrendWord::StillGrowing,
            JudgeTrend(Summarised({145, 146, 145, 145, 145, 147})).word);
}

// A staircase's stairs: steps of the floor that make its rise, the median
// time between them; a steady rise that steps now and then has none.
TEST(TrendTest, StairTime) {
  std::vector<uint32_t> stairs;
  std::vector<uint32_t> steady;
  TrendRandom random{7};
  for (int i = 0; i < 80; ++i) {
    stairs.push_back(static_cast<uint32_t>(100 + 6 * (i / 8)));
    steady.push_back(
        static_cast<uint32_t>(100 + 1.1 * i + random.Between(-1, 1)));
  }
  TrendSummary summary = Summarised(stairs);
  EXPECT_EQ(80000, TrendStairTime(TrendFloors(summary), TrendChurn(summary)));
  summary = Summarised(steady);
  EXPECT_EQ(0, TrendStairTime(TrendFloors(summary), TrendChurn(summary)));
}

// Against a limit: at it, or within the churn of it, whatever the word;
// ahead while still growing; nothing without a limit or a rise.
TEST(TrendTest, Limit) {
  Trend held;
  held.word = TrendWord::Held;
  held.churn = 3;
  // Held at a level the churn took a few objects from at the last sample.
  Trend heldNear = held;
  heldNear.level = 9998;
  Trend growing;
  growing.word = TrendWord::StillGrowing;
  growing.perMinute = 10;
  const struct {
    uint32_t last;
    Trend trend;
    uint32_t limit;
    LimitState state;
    double secondsLeft;
  } cases[] = {
      {10000, held, 10000, LimitState::Reached, 0},
      {9997, held, 10000, LimitState::Reached, 0},
      {9996, held, 10000, LimitState::Unknown, 0},
      {9994, heldNear, 10000, LimitState::Reached, 0},
      {10001, growing, 10000, LimitState::Reached, 0},
      {9000, growing, 10000, LimitState::Ahead, 6000},
      {9000, growing, 0, LimitState::Unknown, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.last);
    LimitOutlook outlook = JudgeLimit(c.last, c.trend, c.limit);
    EXPECT_EQ(c.state, outlook.state);
    EXPECT_DOUBLE_EQ(c.secondsLeft, outlook.secondsLeft);
  }
}
