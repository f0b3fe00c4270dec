#include "html/axis_ticks.h"

#include <cmath>
#include <cstdio>

#include "html/escape.h"
#include "presentation/format.h"

namespace {

AxisTicks TicksWithStep(double low, double high, double step) {
  AxisTicks ticks;
  // Data past any sensible size draws as an empty axis rather than a
  // runaway loop.
  if (!std::isfinite(low) || !std::isfinite(high) || !std::isfinite(step) ||
      std::fabs(low) > 1e15 || std::fabs(high) > 1e15) {
    low = 0;
    high = 1;
    step = 1;
  }
  ticks.step = step;
  ticks.low = std::floor(low / step) * step;
  ticks.high = std::ceil(high / step) * step;
  if (ticks.high <= ticks.low)
    ticks.high = ticks.low + step;
  // Counted, not accumulated, so that no rounding drifts into the values.
  long long count = std::llround((ticks.high - ticks.low) / step);
  for (long long i = 0; i <= count; ++i)
    ticks.values.push_back(ticks.low + static_cast<double>(i) * step);
  return ticks;
}

}  // namespace

AxisTicks CountTicks(double low, double high, int maxTicks) {
  if (maxTicks < 1)
    maxTicks = 1;
  double span = high - low;
  double rough = span > 0 ? span / maxTicks : 1;
  double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
  double step = magnitude;
  for (double factor : {1.0, 2.0, 5.0, 10.0}) {
    step = factor * magnitude;
    if (step >= rough)
      break;
  }
  if (step < 1)
    step = 1;
  return TicksWithStep(low, high, step);
}

AxisTicks TimeTicks(double low, double high, int maxTicks) {
  static const double kSteps[] = {1,    2,    5,     10,    15,    30,
                                  60,   120,  300,   600,   900,   1800,
                                  3600, 7200, 10800, 21600, 43200, 86400};
  if (maxTicks < 1)
    maxTicks = 1;
  double span = high - low;
  double rough = span > 0 ? span / maxTicks : 1;
  double step = std::ceil(rough / 86400) * 86400;
  for (double candidate : kSteps) {
    if (candidate >= rough) {
      step = candidate;
      break;
    }
  }
  AxisTicks ticks = TicksWithStep(low, high, step);
  // The axis ends where the watch did, not at the next round tick: a watch
  // of 12 h 29 min ends its axis there rather than at 14:00:00.
  if (span > 0 && ticks.high > high) {
    ticks.high = high;
    while (!ticks.values.empty() && ticks.values.back() > high)
      ticks.values.pop_back();
  }
  return ticks;
}

std::string FormatTickCount(double value) {
  return FormatCount(std::llround(value));
}

std::string FormatTickTime(double seconds, double axisHigh) {
  long long whole = std::llround(seconds);
  const char* sign = whole < 0 ? "-" : "";
  long long magnitude = whole < 0 ? -whole : whole;
  char text[64];
  if (axisHigh < 120) {
    std::snprintf(text, sizeof text, "%s%lld s", sign, magnitude);
  } else if (axisHigh < 7200) {
    std::snprintf(text, sizeof text, "%s%lld:%02lld", sign, magnitude / 60,
                  magnitude % 60);
  } else {
    std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld", sign,
                  magnitude / 3600, magnitude / 60 % 60, magnitude % 60);
  }
  return text;
}
