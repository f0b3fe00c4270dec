// The growth report's numbers as the documents write them, JSON and CSV
// alike.
#pragma once

#include <cstdint>
#include <string>

// A rate per minute to six significant digits, never NaN or infinity:
// "360", "6.5", "0.000694444".
std::string PerMinuteNumber(double perMinute);

// The change from `first` to `last` per minute over `milliseconds` (0 over
// none).
double ChangePerMinute(uint32_t first, uint32_t last, uint64_t milliseconds);
