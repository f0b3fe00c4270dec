#include "documents/growth_numbers.h"

#include <cmath>
#include <cstdio>

std::string PerMinuteNumber(double perMinute) {
  if (!std::isfinite(perMinute))
    perMinute = 0;
  char text[32];
  int length = std::snprintf(text, sizeof text, "%.6g", perMinute);
  return std::string(text, static_cast<size_t>(length));
}
