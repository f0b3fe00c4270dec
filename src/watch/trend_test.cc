#include "watch/trend.h"

#include <gtest/gtest.h>

#include "watch/trend_testing.h"

namespace {

TrendSummary Summarised(const std::vector<uint32_t>& counts) {
  TrendSummary summary;
  for (size_t i = 0; i < counts.size(); ++i)
    summary.Add(i * 10000, counts[i]);
  return summary;
}

}  // namespace

// Series of each family, short and long: the word, and for a leak whose
// latest stretch rises steadily its slope within a quarter of the truth.
TEST(TrendTest, FamiliesGetTheirWord) {
  const size_t lengths[] = {30, 61, 200, 600};
  for (TrendFamily family : kTrendFamilies) {
    for (size_t samples : lengths) {
      for (uint64_t seed = 1; seed <= 2; ++seed) {
        TrendCase made = GenerateTrendCase(family, seed * 7 + samples, samples);
        if (made.counts.back() <= made.counts.front())
          continue;  // the report gives no line for it
        SCOPED_TRACE(std::string(TrendFamilyName(family)) + ", " +
                     std::to_string(samples) + " samples, seed " +
                     std::to_string(seed));
        Trend trend = JudgeTrend(Summarised(made.counts));
        EXPECT_STREQ(TrendWordText(ExpectedWord(family)),
                     TrendWordText(trend.word));
        if (family == TrendFamily::SteadyRise ||
            family == TrendFamily::LateLeak) {
          double perMinute = made.risePerSample * 6;
          EXPECT_NEAR(perMinute, trend.perMinute, perMinute / 4);
        }
      }
    }
  }
}
