// Seeded series of GDI counts in the shapes a watch meets, four that leak
// and four that do not, for the trend's test and the labelled-set tool.
// Its own generator, so that a seed gives the same series everywhere.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
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
};

constexpr TrendFamily kTrendFamilies[] = {
    TrendFamily::SteadyRise, TrendFamily::Bursts,  TrendFamily::ClimbingFloor,
    TrendFamily::LateLeak,   TrendFamily::Plateau, TrendFamily::SingleStep,
    TrendFamily::Churn,      TrendFamily::Sawtooth};

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
  }
  return "";
}

inline bool IsLeak(TrendFamily family) {
  return family == TrendFamily::SteadyRise || family == TrendFamily::Bursts ||
         family == TrendFamily::ClimbingFloor ||
         family == TrendFamily::LateLeak;
}

// The word a family's series should get when it ended higher than it began.
inline TrendWord ExpectedWord(TrendFamily family) {
  if (IsLeak(family))
    return TrendWord::StillGrowing;
  if (family == TrendFamily::Plateau || family == TrendFamily::SingleStep)
    return TrendWord::Held;
  return TrendWord::UpAndDown;
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
  // Leaks: the rise per sample of the latest stretch.
  double risePerSample = 0;
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
    }
    made.counts.push_back(static_cast<uint32_t>(std::max(0.0, value)));
  }
  return made;
}

// Instance `instance` of the labelled set's `family`: its seed, and a
// length of 30 to 600 samples drawn from it.
inline TrendCase LabelledTrendCase(TrendFamily family, uint64_t instance) {
  uint64_t seed = 1000 * (static_cast<uint64_t>(family) + 1) + instance;
  TrendRandom length{seed};
  return GenerateTrendCase(family, seed,
                           static_cast<size_t>(length.Between(30, 600)));
}
