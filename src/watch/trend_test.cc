#include "watch/trend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "watch/trend_testing.h"

namespace {

TrendSummary Summarised(const std::vector<uint32_t>& counts) {
  TrendSummary summary;
  for (size_t i = 0; i < counts.size(); ++i)
    summary.Add(i * 10000, counts[i]);
  return summary;
}

}  // namespace

// Instances of the labelled set, 30 to 600 samples ten seconds apart: the
// first few of each family, and the single steps whose floor or jump
// decides. The word, and for a steady or late leak its slope within a
// quarter of the truth.
TEST(TrendTest, FamiliesGetTheirWord) {
  struct Row {
    TrendFamily family;
    std::vector<uint64_t> instances;
  };
  const Row rows[] = {
      {TrendFamily::SteadyRise, {0, 1, 2, 3, 4}},
      {TrendFamily::Bursts, {0, 1, 2, 3, 4}},
      {TrendFamily::ClimbingFloor, {0, 1, 2, 3, 4}},
      {TrendFamily::LateLeak, {0, 1, 2, 3, 4}},
      {TrendFamily::Plateau, {0, 1, 2, 3, 4}},
      {TrendFamily::SingleStep, {0, 1, 2, 17, 22, 39, 160}},
      {TrendFamily::Churn, {0, 1, 2, 3, 4, 5, 6, 7}},
      {TrendFamily::Sawtooth, {0, 1, 2, 3, 4}},
  };
  for (const Row& row : rows) {
    for (uint64_t instance : row.instances) {
      TrendCase made = LabelledTrendCase(row.family, instance);
      SCOPED_TRACE(std::string(TrendFamilyName(row.family)) + " " +
                   std::to_string(instance) + ", " +
                   std::to_string(made.counts.size()) + " samples");
      if (made.counts.back() <= made.counts.front())
        continue;  // the report gives no line for it
      Trend trend = JudgeTrend(Summarised(made.counts));
      EXPECT_STREQ(TrendWordText(ExpectedWord(row.family)),
                   TrendWordText(trend.word));
      if (row.family == TrendFamily::SteadyRise ||
          row.family == TrendFamily::LateLeak) {
        double perMinute = made.risePerSample * 6;
        EXPECT_NEAR(perMinute, trend.perMinute, perMinute / 4);
      }
    }
  }
}
