#include "documents/growth_numbers.h"

#include <cmath>
#include <cstdio>

#include "watch/growth.h"

std::string PerMinuteNumber(double perMinute) {
  if (!std::isfinite(perMinute))
    perMinute = 0;
  char text[32];
  int length = std::snprintf(text, sizeof text, "%.6g", perMinute);
  return std::string(text, static_cast<size_t>(length));
}

double ChangePerMinute(uint32_t first, uint32_t last, uint64_t milliseconds) {
  if (milliseconds == 0)
    return 0;
  return static_cast<double>(CountChange(first, last)) * 60000 /
         static_cast<double>(milliseconds);
}
