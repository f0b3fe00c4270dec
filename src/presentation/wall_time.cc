#include "presentation/wall_time.h"

#include <cstdio>

namespace {

constexpr int64_t kMillisecondsPerDay = int64_t{86400} * 1000;

struct CivilDate {
  int64_t year;
  unsigned month;  // 1 to 12
  unsigned day;    // 1 to 31
};

// The proleptic Gregorian date `days` after 1970-01-01 (`days` >= 0),
// counted in 400-year eras of 146,097 days that start on 1 March, so that
// a leap day ends its year.
CivilDate DateOfDay(int64_t days) {
  days += 719468;  // from 0000-03-01
  const int64_t era = days / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear =
      dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  CivilDate date;
  date.day =
      static_cast<unsigned>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  date.month = static_cast<unsigned>(monthFromMarch < 10 ? monthFromMarch + 3
                                                         : monthFromMarch - 9);
  date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
  return date;
}

}  // namespace

std::string FormatUtcTime(uint64_t unixMilliseconds, TimePrecision precision) {
  const int64_t days =
      static_cast<int64_t>(unixMilliseconds / kMillisecondsPerDay);
  const uint64_t ofDay = unixMilliseconds % kMillisecondsPerDay;
  const CivilDate date = DateOfDay(days);
  const unsigned seconds = static_cast<unsigned>(ofDay / 1000);
  char text[48];
  int length =
      std::snprintf(text, sizeof(text), "%04lld-%02u-%02uT%02u:%02u:%02u",
                    static_cast<long long>(date.year), date.month, date.day,
                    seconds / 3600, seconds / 60 % 60, seconds % 60);
  std::string result(text, static_cast<size_t>(length));
  if (precision == TimePrecision::Milliseconds) {
    std::snprintf(text, sizeof(text), ".%03u",
                  static_cast<unsigned>(ofDay % 1000));
    result += text;
  }
  result.push_back('Z');
  return result;
}

std::string FormatClockTime(uint64_t unixMilliseconds, int32_t offsetMinutes) {
  // The offset is less than a day: shifting by a whole day first keeps the
  // sum positive near 1970.
  const int64_t shift = int64_t{offsetMinutes} * 60 * 1000;
  int64_t ofDay = static_cast<int64_t>(unixMilliseconds % kMillisecondsPerDay) +
                  shift % kMillisecondsPerDay + kMillisecondsPerDay;
  ofDay %= kMillisecondsPerDay;
  const unsigned seconds = static_cast<unsigned>(ofDay / 1000);
  char text[16];
  int length = std::snprintf(text, sizeof(text), "%02u:%02u:%02u",
                             seconds / 3600, seconds / 60 % 60, seconds % 60);
  return std::string(text, static_cast<size_t>(length));
}
