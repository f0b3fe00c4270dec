// Seeded series of GDI counts in the shapes a watch meets, for the trend's
// test and the labelled-set tool: eight families of 30 to 600 samples, and
// the situations a long or short watch adds (leaks that start late or stop,
// spikes, churn, garbage-collected sawtooths, the quota). Its own
// generator, so that a seed gives the same series everywhere.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "watch/trend.h"

enum class TrendFamily {
  SteadyRise,     // a rise every sample, with or without churn
  Bursts,         // a jump every few samples
  ClimbingFloor,  // a sawtooth whose least rises each cycle
  LateLeak,       // flat for the first half or more, then a steady rise
  Plateau,        // a rise in the first half at most, then flat with churn
  SingleStep,     // flat, one jump anywhere, flat
  Churn,          // a few objects up and down around a level
  Sawtooth,       // fills and releases to the same floor
  // Watches of 2,000 to 20,000 samples unless said otherwise.
  LateStart,       // flat, then a leak over the last 5-20 %
  Stopped,         // a rise that stops with 10-40 % of the watch left
  Spiked,          // a steady leak with one to three momentary spikes
  SlowUnderChurn,  // a floor climbing 3-10 times the churn band
  GcClimbing,      // released every 50-300 samples, the floor climbing
  GcFlat,          // released every 50-300 samples to the same floor
  AtQuota,         // rises to the quota of 10,000 and stays there
  BelowQuota,      // rises to well below the quota and holds
  ShortRise,       // 5-30 samples, rising every sample
  ShortChurn,      // 5-30 samples, up and down around a level
  HourlyLeak,      // 24-200 samples an hour apart, a few objects an hour
};

constexpr TrendFamily kTrendFamilies[] = {
    TrendFamily::SteadyRise,    TrendFamily::Bursts,
    TrendFamily::ClimbingFloor, TrendFamily::LateLeak,
    TrendFamily::Plateau,       TrendFamily::SingleStep,
    TrendFamily::Churn,         TrendFamily::Sawtooth,
    TrendFamily::LateStart,     TrendFamily::Stopped,
    TrendFamily::Spiked,        TrendFamily::SlowUnderChurn,
    TrendFamily::GcClimbing,    TrendFamily::GcFlat,
    TrendFamily::AtQuota,       TrendFamily::BelowQuota,
    TrendFamily::ShortRise,     TrendFamily::ShortChurn,
    TrendFamily::HourlyLeak};

// The quota the labelled set's series are judged against.
constexpr uint32_t kLabelledQuota = 10000;

inline const char* TrendFamilyName(TrendFamily family) {
  switch (family) {
    case TrendFamily::SteadyRise:
      return "steady rise";
    case TrendFamily::Bursts:
      return "bursts";
    case TrendFamily::ClimbingFloor:
      return "climbing floor";
    case TrendFamily::LateLeak:
      return "late leak";
    case TrendFamily::Plateau:
      return "plateau";
    case TrendFamily::SingleStep:
      return "single step";
    case TrendFamily::Churn:
      return "churn";
    case TrendFamily::Sawtooth:
      return "sawtooth";
    case TrendFamily::LateStart:
      return "leak in the last 5-20 %";
    case TrendFamily::Stopped:
      return "rise stopped, 10-40 % left";
    case TrendFamily::Spiked:
      return "leak with spikes";
    case TrendFamily::SlowUnderChurn:
      return "slow leak under churn";
    case TrendFamily::GcClimbing:
      return "GC sawtooth, floor climbing";
    case TrendFamily::GcFlat:
      return "GC sawtooth, flat floor";
    case TrendFamily::AtQuota:
      return "reached the quota";
    case TrendFamily::BelowQuota:
      return "held below the quota";
    case TrendFamily::ShortRise:
      return "short rise";
    case TrendFamily::ShortChurn:
      return "short churn";
    case TrendFamily::HourlyLeak:
      return "hourly slow leak";
  }
  return "";
}

inline bool IsLeak(TrendFamily family) {
  switch (family) {
    case TrendFamily::SteadyRise:
    case TrendFamily::Bursts:
    case TrendFamily::ClimbingFloor:
    case TrendFamily::LateLeak:
    case TrendFamily::LateStart:
    case TrendFamily::Spiked:
    case TrendFamily::SlowUnderChurn:
    case TrendFamily::GcClimbing:
    case TrendFamily::ShortRise:
    case TrendFamily::HourlyLeak:
      return true;
    default:
      return false;
  }
}

// Whether -g at half the growth should fail the run: a leak, or a process
// that reached its quota.
inline bool FailsGate(TrendFamily family) {
  return IsLeak(family) || family == TrendFamily::AtQuota;
}

// The word a family's series should get when it ended higher than it began;
// a process at its quota is judged by that alone, whatever its word.
inline TrendWord ExpectedWord(TrendFamily family) {
  if (IsLeak(family))
    return TrendWord::StillGrowing;
  switch (family) {
    case TrendFamily::Plateau:
    case TrendFamily::SingleStep:
    case TrendFamily::Stopped:
    case TrendFamily::AtQuota:
    case TrendFamily::BelowQuota:
      return TrendWord::Held;
    default:
      return TrendWord::UpAndDown;
  }
}

// splitmix64: small, and the same on every compiler.
struct TrendRandom {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // In [low, high].
  int64_t Between(int64_t low, int64_t high) {
    return low +
           static_cast<int64_t>(Next() % static_cast<uint64_t>(high - low + 1));
  }
  // In [low, high).
  double Real(double low, double high) {
    return low + (high - low) * static_cast<double>(Next() >> 11) /
                     9007199254740992.0;
  }
};

struct TrendCase {
  std::vector<uint32_t> counts;  // one a sample
  uint64_t intervalMilliseconds = 10000;
  // Leaks: the rise per sample of the latest stretch (of its floor).
  double risePerSample = 0;
  // Where the latest stretch starts, as a sample index.
  size_t latestFrom = 0;
};

// A series of `samples` counts of `family` from `seed`.
inline TrendCase GenerateTrendCase(TrendFamily family, uint64_t seed,
                                   size_t samples) {
  TrendRandom random{seed * 0x2545F4914F6CDD1Dull + 1};
  TrendCase made;
  const double n = static_cast<double>(samples);
  const double base = static_cast<double>(random.Between(40, 400));
  // Churn of a few objects, none in some series.
  const int64_t churn = random.Between(0, 3);
  auto noise = [&]() {
    return static_cast<double>(churn == 0 ? 0 : random.Between(-churn, churn));
  };
  double rate = 0;
  double rise = 0, riseEnd = 0, tau = 0, stepAt = 0, startAt = 0;
  int64_t every = 0, jump = 0, period = 0, amplitude = 0, climb = 0;
  bool saturating = false;
  switch (family) {
    case TrendFamily::SteadyRise:
      rate = random.Real(0.2, 2);
      made.risePerSample = rate;
      break;
    case TrendFamily::Bursts:
      // At least three jumps in the latest third.
      every = random.Between(
          3, std::max<int64_t>(3, std::min<int64_t>(8, samples / 12)));
      jump = random.Between(4, 15);
      made.risePerSample = static_cast<double>(jump) / every;
      break;
    case TrendFamily::ClimbingFloor:
      // At least four cycles in the latest third, each floor a quarter to
      // a half of the swing above the one before.
      period = random.Between(4, std::max<int64_t>(4, samples / 12));
      amplitude = random.Between(10, 40);
      climb = random.Between(amplitude / 4, amplitude / 2);
      made.risePerSample = static_cast<double>(climb) / period;
      break;
    case TrendFamily::LateLeak:
      // Rising by 20 or more, so that it stands out of the churn.
      startAt = random.Real(0.5, 0.65) * n;
      rate = std::max(random.Real(0.3, 2), 20 / (n - startAt));
      made.risePerSample = rate;
      break;
    case TrendFamily::Plateau:
      rise = static_cast<double>(random.Between(20, 200));
      riseEnd = random.Real(0.1, 0.5) * n;
      saturating = random.Between(0, 1) == 1;
      tau = riseEnd / 5;
      break;
    case TrendFamily::SingleStep:
      stepAt = random.Real(0.1, 0.9) * n;
      jump = random.Between(20, 100);
      break;
    case TrendFamily::Churn:
      break;
    case TrendFamily::Sawtooth:
      period = random.Between(4, std::max<int64_t>(4, samples / 8));
      amplitude = random.Between(10, 40);
      break;
    default:
      break;
  }
  int64_t churnLevel = churn == 0 ? 3 : churn + 2;
  for (size_t i = 0; i < samples; ++i) {
    double t = static_cast<double>(i);
    double value = base;
    switch (family) {
      case TrendFamily::SteadyRise:
        value += std::floor(rate * t) + noise();
        break;
      case TrendFamily::Bursts:
        value += static_cast<double>(jump * (static_cast<int64_t>(i) / every)) +
                 noise();
        break;
      case TrendFamily::ClimbingFloor:
      case TrendFamily::Sawtooth: {
        int64_t cycle = static_cast<int64_t>(i) / period;
        int64_t phase = static_cast<int64_t>(i) % period;
        value += static_cast<double>(amplitude * phase / period);
        if (family == TrendFamily::ClimbingFloor)
          value += static_cast<double>(climb * cycle);
        break;
      }
      case TrendFamily::LateLeak:
        value += (t < startAt ? 0 : std::floor(rate * (t - startAt))) + noise();
        break;
      case TrendFamily::Plateau:
        if (saturating)
          value += std::round(rise * (1 - std::exp(-t / tau)));
        else
          value += std::round(rise * std::min(1.0, t / riseEnd));
        value += noise();
        break;
      case TrendFamily::SingleStep:
        value += (t < stepAt ? 0 : static_cast<double>(jump)) + noise();
        break;
      case TrendFamily::Churn:
        value += static_cast<double>(random.Between(-churnLevel, churnLevel));
        break;
      default:
        break;
    }
    made.counts.push_back(static_cast<uint32_t>(std::max(0.0, value)));
  }
  return made;
}

// A series of `samples` counts of one of the situations a long or short
// watch adds (LateStart and after) from `seed`.
inline TrendCase GenerateSituation(TrendFamily family, uint64_t seed,
                                   size_t samples) {
  TrendRandom random{seed * 0x2545F4914F6CDD1Dull + 7};
  TrendCase made;
  const double n = static_cast<double>(samples);
  const double quota = kLabelledQuota;
  double base = static_cast<double>(random.Between(40, 400));
  int64_t churn = random.Between(0, 3);
  double rate = 0, startAt = 0, stopAt = 0, climb = 0;
  int64_t period = 1, amplitude = 0;
  std::vector<std::pair<size_t, int64_t>> spikes;
  switch (family) {
    case TrendFamily::LateStart:
      startAt = std::floor(n * (1 - random.Real(0.05, 0.2)));
      rate = std::max(random.Real(0.3, 2), 20 / (n - startAt));
      made.latestFrom = static_cast<size_t>(startAt);
      break;
    case TrendFamily::Stopped:
      stopAt = std::floor(n * (1 - random.Real(0.1, 0.4)));
      rate = std::min(random.Real(0.2, 2), 8000 / n);
      rate = std::max(rate, 20 / stopAt);
      made.latestFrom = static_cast<size_t>(stopAt);
      break;
    case TrendFamily::Spiked: {
      rate = std::min(random.Real(0.2, 2), 8000 / n);
      int64_t count = random.Between(1, 3);
      for (int64_t i = 0; i < count; ++i)
        spikes.push_back({static_cast<size_t>(random.Between(
                              1, static_cast<int64_t>(samples) - 2)),
                          random.Between(200, 2000)});
      break;
    }
    case TrendFamily::SlowUnderChurn:
      churn = random.Between(3, 25);
      rate = random.Real(3, 10) * static_cast<double>(2 * churn) / n;
      break;
    case TrendFamily::GcClimbing:
    case TrendFamily::GcFlat:
      period = random.Between(50, 300);
      amplitude = random.Between(20, 400);
      if (family == TrendFamily::GcClimbing) {
        climb = random.Real(0.1, 0.5) * static_cast<double>(amplitude);
        climb = std::max(
            1.0, std::min(climb, 8000 * static_cast<double>(period) / n));
        rate = climb / static_cast<double>(period);
      }
      break;
    case TrendFamily::AtQuota:
    case TrendFamily::BelowQuota: {
      double top = family == TrendFamily::AtQuota
                       ? quota
                       : quota - static_cast<double>(random.Between(20, 300));
      stopAt = std::floor(n * random.Real(0.3, 0.9));
      rate = (top - base) / stopAt;
      made.latestFrom = static_cast<size_t>(stopAt);
      break;
    }
    case TrendFamily::ShortRise:
      churn = 0;
      rate = random.Real(1, 10);
      break;
    case TrendFamily::ShortChurn:
      churn = random.Between(1, 5);
      break;
    case TrendFamily::HourlyLeak:
      made.intervalMilliseconds = 3600000;
      churn = random.Between(0, 1);
      rate = random.Real(0.5, 3);
      break;
    default:
      break;
  }
  if (family != TrendFamily::Stopped && family != TrendFamily::AtQuota &&
      family != TrendFamily::BelowQuota)
    made.risePerSample = rate;
  auto noise = [&]() {
    return static_cast<double>(churn == 0 ? 0 : random.Between(-churn, churn));
  };
  for (size_t i = 0; i < samples; ++i) {
    double t = static_cast<double>(i);
    double value = base;
    switch (family) {
      case TrendFamily::LateStart:
        value += (t < startAt ? 0 : std::floor(rate * (t - startAt))) + noise();
        break;
      case TrendFamily::Stopped:
        value += std::floor(rate * std::min(t, stopAt)) + noise();
        break;
      case TrendFamily::Spiked:
        value += std::floor(rate * t) + noise();
        for (const auto& spike : spikes) {
          if (spike.first == i)
            value += static_cast<double>(spike.second);
        }
        break;
      case TrendFamily::SlowUnderChurn:
      case TrendFamily::ShortRise:
      case TrendFamily::HourlyLeak:
        value += std::floor(rate * t) + noise();
        break;
      case TrendFamily::GcClimbing:
      case TrendFamily::GcFlat: {
        int64_t cycle = static_cast<int64_t>(i) / period;
        int64_t phase = static_cast<int64_t>(i) % period;
        value += static_cast<double>(amplitude * phase / period) +
                 std::floor(climb * static_cast<double>(cycle)) + noise();
        break;
      }
      case TrendFamily::AtQuota:
      case TrendFamily::BelowQuota: {
        double top = std::floor(base + rate * std::min(t, stopAt));
        // No process holds more than its quota: churn takes objects away.
        value = std::min(quota, top) -
                static_cast<double>(churn == 0 ? 0 : random.Between(0, churn));
        break;
      }
      case TrendFamily::ShortChurn:
        value += noise();
        break;
      default:
        break;
    }
    made.counts.push_back(static_cast<uint32_t>(std::max(0.0, value)));
  }
  return made;
}

// Instance `instance` of the labelled set's `family`: its seed, and a
// length drawn from it (30 to 600 samples for the eight families, 2,000
// to 20,000 for the long situations, 5 to 30 for the short ones).
inline TrendCase LabelledTrendCase(TrendFamily family, uint64_t instance) {
  uint64_t seed = 1000 * (static_cast<uint64_t>(family) + 1) + instance;
  TrendRandom length{seed};
  if (family < TrendFamily::LateStart)
    return GenerateTrendCase(family, seed,
                             static_cast<size_t>(length.Between(30, 600)));
  int64_t samples = length.Between(2000, 20000);
  switch (family) {
    case TrendFamily::Stopped:
    case TrendFamily::Spiked:
      samples = length.Between(100, 20000);
      break;
    case TrendFamily::AtQuota:
    case TrendFamily::BelowQuota:
      samples = length.Between(30, 5000);
      break;
    case TrendFamily::ShortRise:
    case TrendFamily::ShortChurn:
      samples = length.Between(5, 30);
      break;
    case TrendFamily::HourlyLeak:
      samples = length.Between(24, 200);
      break;
    default:
      break;
  }
  return GenerateSituation(family, seed, static_cast<size_t>(samples));
}
