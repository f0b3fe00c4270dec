// The wall-clock time as the documents and a text watch give it.
#pragma once

#include <cstdint>
#include <string>

// How finely a time is given. The seconds are a clock's: never rounded up,
// so that 23:59:59.999 on 31 December stays in its year.
enum class TimePrecision { Seconds, Milliseconds };

// `unixMilliseconds` (since 1970-01-01 00:00 UTC) in ISO 8601, in UTC:
// "2026-01-01T00:00:01Z", or "2026-01-01T00:00:01.250Z" with milliseconds.
std::string FormatUtcTime(uint64_t unixMilliseconds, TimePrecision precision);

// The time of day at `unixMilliseconds` on a clock `offsetMinutes` ahead of
// UTC: "14:03:07".
std::string FormatClockTime(uint64_t unixMilliseconds, int32_t offsetMinutes);
