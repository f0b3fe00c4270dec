// A watch's growth as text: the growth report at the end of a text watch,
// and the texts the HTML page's growth table shares with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "watch/growth.h"

// "121 -> 181 (+60, +360.0/min)": a count's first and last value, the
// change, and the change per minute over `milliseconds`.
std::u16string GrowthText(uint32_t first, uint32_t last, uint64_t milliseconds);

// "Bitmap +30  DC +30": the categories of `process` that grew, in the count
// view's order; empty when none did.
std::u16string GrownCategoriesText(const ProcessGrowth& process);

// A time ahead as the growth report gives it: "about 45 min" under 2 h,
// "about 2 h 15 min" under 2 days, then "about 3 days"; rounded to the
// minute (at least one), then to the day.
std::string AboutTime(double seconds);

// How far a process is from its quota, as judged: "already at the quota",
// "about 2 h 15 min" while it is still growing, or empty.
std::string QuotaTimeLeft(const ProcessGrowth& process);

// A time in the watch, truncated: "+45 s", "+12 min", "+1 h 6 min".
std::string SinceStart(uint64_t milliseconds);

// "still growing +2.0/min" (or per hour or day), "held at 279 since +1 h 6
// min" or "up and down, 150 to 310": the verdict on a count with its
// figures.
std::string TrendText(const Trend& trend);

// The growth report at the end of a text watch, written a line at a time:
// "Growth over N samples, T s:" (T whole seconds); when the table's used
// entries grew, "Table: 7,604 -> 7,664 of 65,536 entries (+60, full in
// about 18 h)" (", full" once it is full, as judged); "No process grew."
// when `noneGrew`.
void AppendGrowthHeading(bool noneGrew, uint64_t samples, uint64_t milliseconds,
                         const TableGrowth& table, std::u16string& text);
// The line of one process that grew:
//   "% 6d  %-28s  GDI All 121 -> 181 (+60, +6.0/min)  GDI Total 119 -> 179
//   (+60, +6.0/min)  Bitmap +30  DC +30  still growing +6.0/min, quota
//   10,000 in about 27 min"
// (the rates over the process's own first and last sample, the categories
// that grew, its GDI All's verdict, and where that leaves it against its
// `quota`: ", already at the quota", or the time to it while still
// growing).
void AppendGrowthLine(const ProcessGrowth& process, uint32_t quota,
                      std::u16string& text);
