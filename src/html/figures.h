// Numbers as the HTML report writes them for reading: a count's change and a
// length of time.
#pragma once

#include <cstdint>
#include <string>

// A count's change with its sign: "+12", "-3", "0".
std::string FormatChange(int64_t value);

// A length of time for reading, to the nearest second: "45 s",
// "2 min 30 s", "1 h 5 min".
std::string DurationText(double seconds);
