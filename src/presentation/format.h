// The few printf conversions the report uses, formatted into UTF-16 by hand:
// the runtimes disagree on "%s" and "%p" in wide printf, and widths here
// count UTF-16 code units.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// "% Nd": a space where a plus sign would go, filled on the left to `width`.
void AppendSpaceSigned(std::u16string& line, int32_t value, int width);

// "%Ns" (right-aligned) or "%-Ns" (left-aligned); a longer string is
// appended whole.
void AppendPadded(std::u16string& line, const char16_t* text, int width,
                  bool alignLeft);

// "%p": exactly sixteen upper-case hexadecimal digits, written at `out`;
// returns the end of them.
char* FormatPointer(char* out, uint64_t value);
// `value` in decimal digits written at `out`; returns the end of them.
char* FormatDecimal(char* out, uint64_t value);

void AppendText(std::u16string& line, const char16_t* text);
// Text that is all ASCII (the report's own words and numbers), unit by unit.
void AppendAscii(std::u16string& line, std::string_view ascii);
std::u16string Utf16(std::string_view ascii);

// "%lld": `value` in decimal, "-" before a negative one.
void AppendNumber(std::u16string& line, int64_t value);
// The same into a document's bytes.
void AppendNumber(std::string& out, int64_t value);
// "+6", "-2", "0": a change, signed unless it is none.
void AppendSigned(std::u16string& line, int64_t value);

// Seconds with up to three decimals, as the documents give the time of a
// sample: "0", "2", "2.004".
std::string FormatSeconds(uint64_t milliseconds);

// An integer with thousands separators: "12,345", "-1,000".
std::string FormatCount(int64_t value);

// `value` with one decimal, rounded half away from zero, "-" before a
// negative value that does not round to nothing: "6.0", "-2.5", "0.0".
std::string FormatOneDecimal(double value);

// How much of a duration is said. Under a minute it is always seconds
// ("45 s"); from `hoursFromMinutes` minutes on, hours and minutes ("3 h",
// "3 h 20 min").
struct DurationStyle {
  bool secondsAfterMinutes;   // "12 min 5 s" rather than "12 min"
  uint64_t hoursFromMinutes;  // 60, or 120 for "about 90 min"
};
// `seconds` as `style` says it; what is not said is cut off, not rounded.
std::string FormatDuration(uint64_t seconds, DurationStyle style);

// A rate of change, signed, with one decimal: per minute, or per hour or
// per day where per minute would round to nothing, rounded half away from
// zero: "+6.0/min", "+1.7/h", "-0.5/day"; "+0.0/min" for none.
std::string FormatRate(double perMinute);
