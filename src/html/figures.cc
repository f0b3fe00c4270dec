#include "html/figures.h"

#include <cmath>

#include "presentation/format.h"

std::string FormatChange(int64_t value) {
  return value > 0 ? "+" + FormatCount(value) : FormatCount(value);
}

std::string FormatDuration(double seconds) {
  long long whole = seconds > 0 && seconds < 1e15 ? std::llround(seconds) : 0;
  if (whole < 60)
    return std::to_string(whole) + " s";
  std::string text;
  if (whole >= 3600) {
    text = std::to_string(whole / 3600) + " h";
    if (whole / 60 % 60 != 0)
      text += " " + std::to_string(whole / 60 % 60) + " min";
    return text;
  }
  text = std::to_string(whole / 60) + " min";
  if (whole % 60 != 0)
    text += " " + std::to_string(whole % 60) + " s";
  return text;
}
