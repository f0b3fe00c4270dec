#include "html/figures.h"

#include <cmath>

#include "presentation/format.h"

std::string FormatChange(int64_t value) {
  return value > 0 ? "+" + FormatCount(value) : FormatCount(value);
}

std::string DurationText(double seconds) {
  long long whole = seconds > 0 && seconds < 1e15 ? std::llround(seconds) : 0;
  return FormatDuration(static_cast<uint64_t>(whole), {true, 60});
}
