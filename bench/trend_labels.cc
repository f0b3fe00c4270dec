// The growth verdict over a labelled set: seeded series of the eight
// families, 30 to 600 samples ten seconds apart, judged by the first -> last
// rule (a count that ended higher is a leak, at its average rate) and by
// the trend. Prints, for each rule, family x verdict, how often -g at half
// the growth exits 7, and the error of the time to a quota of 10,000 for
// the leaks.
//   trend_labels [INSTANCES_PER_FAMILY]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "watch/trend.h"
#include "watch/trend_testing.h"

namespace {

constexpr uint64_t kInterval = 10000;
constexpr double kQuota = 10000;

enum Verdict { kGrowing, kHeld, kUpAndDown, kNoLine, kVerdicts };
const char* const kVerdictNames[] = {"still growing", "held", "up and down",
                                     "no line"};

struct Tally {
  int verdicts[kVerdicts] = {};
  int gated = 0;
  int instances = 0;
  std::vector<double> quotaErrors;  // of the leaks with a time
};

struct Judged {
  Verdict verdict;
  double perMinute;  // the rate the quota time comes from; 0: none
};

Judged OldRule(const std::vector<uint32_t>& counts) {
  int64_t change = int64_t{counts.back()} - int64_t{counts.front()};
  if (change <= 0)
    return {kNoLine, 0};
  double minutes = static_cast<double>((counts.size() - 1) * kInterval) / 60000;
  return {kGrowing, static_cast<double>(change) / minutes};
}

Judged NewRule(const std::vector<uint32_t>& counts) {
  if (counts.back() <= counts.front())
    return {kNoLine, 0};
  TrendSummary summary;
  for (size_t i = 0; i < counts.size(); ++i)
    summary.Add(i * kInterval, counts[i]);
  Trend trend = JudgeTrend(summary);
  switch (trend.word) {
    case TrendWord::StillGrowing:
      return {kGrowing, trend.perMinute};
    case TrendWord::Held:
      return {kHeld, 0};
    case TrendWord::UpAndDown:
      return {kUpAndDown, 0};
  }
  return {kNoLine, 0};
}

void Print(const char* rule, const std::vector<Tally>& tallies) {
  std::printf("\n%s\n\n", rule);
  std::printf(
      "| family | n | still growing | held | up and down | no line | "
      "-g at half exits 7 | quota time within 25 %% | error: median, worst |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (size_t f = 0; f < tallies.size(); ++f) {
    const Tally& tally = tallies[f];
    std::printf("| %s | %d", TrendFamilyName(kTrendFamilies[f]),
                tally.instances);
    for (int verdict : tally.verdicts)
      std::printf(" | %d", verdict);
    std::printf(" | %d", tally.gated);
    std::vector<double> errors = tally.quotaErrors;
    if (errors.empty()) {
      std::printf(" | | |\n");
      continue;
    }
    std::sort(errors.begin(), errors.end());
    size_t within = static_cast<size_t>(
        std::upper_bound(errors.begin(), errors.end(), 0.25) - errors.begin());
    std::printf(" | %zu of %zu", within, errors.size());
    std::printf(" | %.1f %%, %.1f %% |\n", 100 * errors[errors.size() / 2],
                100 * errors.back());
  }
}

}  // namespace

int main(int argc, char** argv) {
  int instances = argc > 1 ? std::atoi(argv[1]) : 50;
  std::vector<Tally> oldRule(std::size(kTrendFamilies));
  std::vector<Tally> newRule(std::size(kTrendFamilies));
  int misjudged = 0;
  for (size_t f = 0; f < std::size(kTrendFamilies); ++f) {
    TrendFamily family = kTrendFamilies[f];
    for (int i = 0; i < instances; ++i) {
      TrendCase made = LabelledTrendCase(family, static_cast<uint64_t>(i));
      size_t samples = made.counts.size();
      int64_t growth =
          int64_t{made.counts.back()} - int64_t{made.counts.front()};
      int64_t gate = std::max<int64_t>(1, growth / 2);
      for (int rule = 0; rule < 2; ++rule) {
        Judged judged = rule == 0 ? OldRule(made.counts) : NewRule(made.counts);
        Tally& tally = (rule == 0 ? oldRule : newRule)[f];
        ++tally.instances;
        ++tally.verdicts[judged.verdict];
        if (judged.verdict == kGrowing && growth >= gate)
          ++tally.gated;
        if (IsLeak(family) && judged.perMinute > 0) {
          double trueRate = made.risePerSample * 60000 / kInterval;
          double left = kQuota - made.counts.back();
          double trueTime = left / trueRate;
          double time = left / judged.perMinute;
          tally.quotaErrors.push_back(std::fabs(time - trueTime) / trueTime);
        }
        bool wrong = IsLeak(family) ? judged.verdict != kGrowing
                                    : judged.verdict == kGrowing;
        if (rule == 1 && wrong) {
          ++misjudged;
          if (std::getenv("TREND_LABELS_VERBOSE"))
            std::printf("%s instance %d, %zu samples: %s\n",
                        TrendFamilyName(family), i, samples,
                        kVerdictNames[judged.verdict]);
        }
      }
    }
  }
  std::printf("%d instances of each of %zu families, 30-600 samples\n",
              instances, std::size(kTrendFamilies));
  Print("first -> last (before):", oldRule);
  Print("trend (after):", newRule);
  std::printf("\nmisjudged by the trend: %d\n", misjudged);
  return 0;
}
