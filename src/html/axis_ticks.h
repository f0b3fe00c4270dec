// Axis ticks at round values and their labels.
#pragma once

#include <string>
#include <vector>

struct AxisTicks {
  // The axis runs from `low` to `high`, both ticks.
  double low = 0;
  double high = 1;
  double step = 1;
  std::vector<double> values;
};

// Ticks at multiples of 1, 2 or 5 × 10^k covering [low, high] with at most
// about `maxTicks` intervals; counts never get a step below 1. An empty range
// is widened to one step.
AxisTicks CountTicks(double low, double high, int maxTicks);

// Ticks for seconds at steps a clock reads well: 1, 2, 5, 10, 15, 30 s,
// 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h, then days. The axis runs to
// `high` itself (the watch's end), the ticks at the steps up to it.
AxisTicks TimeTicks(double low, double high, int maxTicks);

// "12,000".
std::string FormatTickCount(double value);
// "45 s" while the axis stays under two minutes, "12:30" (minutes and
// seconds) under two hours, "3:05:00" beyond.
std::string FormatTickTime(double seconds, double axisHigh);
