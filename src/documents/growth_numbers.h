// The growth report's numbers as the documents write them, JSON and CSV
// alike.
#pragma once

#include <cstdint>
#include <string>

// A rate per minute to six significant digits, never NaN or infinity:
// "360", "6.5", "0.000694444".
std::string PerMinuteNumber(double perMinute);
