// The growth verdict over a labelled set: seeded series of each family and
// situation of watch/trend_testing.h, judged as a watch judges a process.
// Prints situation x verdict, how often the process is called at its quota,
// how often -g at half the growth exits 7, and the error of the time to the
// quota for the leaks; with TREND_LABELS_VERBOSE, each case misjudged and
// each leak whose quota time is off by more than 25 %.
//   trend_labels [INSTANCES_PER_SITUATION [FIRST_INSTANCE]]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "watch/growth.h"
#include "watch/trend.h"
#include "watch/trend_testing.h"

namespace {

enum Verdict { kGrowing, kHeld, kUpAndDown, kNoLine, kVerdicts };
const char* const kVerdictNames[] = {"still growing", "held", "up and down",
                                     "no line"};

struct Tally {
  int verdicts[kVerdicts] = {};
  int atQuota = 0;
  int gated = 0;
  int wrong = 0;
  int instances = 0;
  std::vector<double> quotaErrors;  // of the leaks with a time
};

struct Judged {
  Verdict verdict = kNoLine;
  double perMinute = 0;  // the rate the quota time comes from; 0: none
  bool atQuota = false;
  bool gated = false;
};

Judged Judge(const TrendCase& made) {
  const std::vector<uint32_t>& counts = made.counts;
  Judged judged;
  if (counts.back() <= counts.front())
    return judged;
  TrendSummary summary;
  for (size_t i = 0; i < counts.size(); ++i)
    summary.Add(i * made.intervalMilliseconds, counts[i]);
  Trend trend = JudgeTrend(summary);
  switch (trend.word) {
    case TrendWord::StillGrowing:
      judged.verdict = kGrowing;
      judged.perMinute = trend.perMinute;
      break;
    case TrendWord::Held:
      judged.verdict = kHeld;
      break;
    case TrendWord::UpAndDown:
      judged.verdict = kUpAndDown;
      break;
  }
  // Decided as the watch decides for a process.
  ProcessGrowth process;
  process.firstGdiAll = counts.front();
  process.lastGdiAll = counts.back();
  process.trend = trend;
  process.quota = JudgeLimit(process.lastGdiAll, trend, kLabelledQuota);
  const int64_t growth = GdiAllGrowth(process);
  const uint32_t gate = static_cast<uint32_t>(std::max<int64_t>(1, growth / 2));
  judged.atQuota = process.quota.state == LimitState::Reached;
  judged.gated = FailsGrowthGate(process, gate);
  return judged;
}

void Print(const std::vector<Tally>& tallies) {
  std::printf(
      "| situation | n | still growing | held | up and down | no line | "
      "at the quota | -g at half exits 7 | misjudged | quota time within "
      "25 %% | error: median, worst |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (size_t f = 0; f < tallies.size(); ++f) {
    const Tally& tally = tallies[f];
    std::printf("| %s | %d", TrendFamilyName(kTrendFamilies[f]),
                tally.instances);
    for (int verdict : tally.verdicts)
      std::printf(" | %d", verdict);
    std::printf(" | %d | %d | %d", tally.atQuota, tally.gated, tally.wrong);
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
  int instances = argc > 1 ? std::atoi(argv[1]) : 24;
  int first = argc > 2 ? std::atoi(argv[2]) : 0;
  const bool verbose = std::getenv("TREND_LABELS_VERBOSE") != nullptr;
  std::vector<Tally> tallies(std::size(kTrendFamilies));
  int misjudged = 0;
  int cases = 0;
  for (size_t f = 0; f < std::size(kTrendFamilies); ++f) {
    TrendFamily family = kTrendFamilies[f];
    for (int i = first; i < first + instances; ++i) {
      TrendCase made = LabelledTrendCase(family, static_cast<uint64_t>(i));
      Judged judged = Judge(made);
      Tally& tally = tallies[f];
      ++tally.instances;
      ++cases;
      ++tally.verdicts[judged.verdict];
      tally.atQuota += judged.atQuota;
      tally.gated += judged.gated;
      if (IsLeak(family) && judged.perMinute > 0) {
        double trueRate =
            made.risePerSample * 60000 / made.intervalMilliseconds;
        double left = kLabelledQuota - made.counts.back();
        double trueTime = left / trueRate;
        double time = left / judged.perMinute;
        tally.quotaErrors.push_back(std::fabs(time - trueTime) / trueTime);
        if (verbose && tally.quotaErrors.back() > 0.25)
          std::printf(
              "%s instance %d, %zu samples: %+.2f a sample, judged "
              "%+.2f: quota time off by %.0f %%\n",
              TrendFamilyName(family), i, made.counts.size(),
              made.risePerSample,
              judged.perMinute * made.intervalMilliseconds / 60000,
              100 * tally.quotaErrors.back());
      }
      bool wrong;
      if (judged.verdict == kNoLine)
        wrong = IsLeak(family);
      else if (family == TrendFamily::AtQuota)
        wrong = !judged.atQuota || !judged.gated;
      else
        wrong = judged.gated != FailsGate(family) ||
                judged.atQuota != (family == TrendFamily::AtQuota) ||
                (judged.verdict == kGrowing) != IsLeak(family) ||
                (family == TrendFamily::Stopped && judged.verdict != kHeld) ||
                (family == TrendFamily::BelowQuota && judged.verdict != kHeld);
      if (wrong) {
        ++misjudged;
        ++tally.wrong;
        if (verbose)
          std::printf("%s instance %d, %zu samples: %s%s%s\n",
                      TrendFamilyName(family), i, made.counts.size(),
                      kVerdictNames[judged.verdict],
                      judged.atQuota ? ", at the quota" : "",
                      judged.gated ? ", -g exits 7" : "");
      }
    }
  }
  std::printf("%d instances of each situation from instance %d, %d cases\n\n",
              instances, first, cases);
  Print(tallies);
  std::printf("\nmisjudged: %d of %d\n", misjudged, cases);
  return 0;
}
