#include "presentation/growth_report.h"

#include <algorithm>
#include <cmath>

#include "gditable/object_types.h"
#include "presentation/format.h"

namespace {

// `change` over `milliseconds` per minute, signed, with one decimal,
// rounded half away from zero.
void AppendRate(std::u16string& text, int64_t change, uint64_t milliseconds) {
  int64_t magnitude = change < 0 ? -change : change;
  // Tenths: change * 60000 / ms * 10, rounded.
  int64_t tenths =
      milliseconds == 0
          ? 0
          : (magnitude * 1200000 / static_cast<int64_t>(milliseconds) + 1) / 2;
  text.push_back(change < 0 ? u'-' : u'+');
  AppendNumber(text, tenths / 10);
  text.push_back(u'.');
  AppendNumber(text, tenths % 10);
  AppendText(text, u"/min");
}

// The seconds until `last` reaches `limit`, above it, at `perMinute`, a
// positive rate.
double SecondsAtRate(uint32_t last, uint32_t limit, double perMinute) {
  return static_cast<double>(limit - last) * 60 / perMinute;
}

}  // namespace

std::string SinceStart(uint64_t milliseconds) {
  uint64_t seconds = milliseconds / 1000;
  if (seconds < 60)
    return "+" + std::to_string(seconds) + " s";
  uint64_t minutes = seconds / 60;
  if (minutes < 60)
    return "+" + std::to_string(minutes) + " min";
  std::string text = "+" + std::to_string(minutes / 60) + " h";
  if (minutes % 60 != 0)
    text += " " + std::to_string(minutes % 60) + " min";
  return text;
}

std::u16string GrowthText(uint32_t first, uint32_t last,
                          uint64_t milliseconds) {
  std::u16string text;
  AppendNumber(text, first);
  AppendText(text, u" -> ");
  AppendNumber(text, last);
  AppendText(text, u" (");
  AppendSigned(text, CountChange(first, last));
  AppendText(text, u", ");
  AppendRate(text, CountChange(first, last), milliseconds);
  text.push_back(u')');
  return text;
}

std::u16string GrownCategoriesText(const ProcessGrowth& process) {
  std::u16string text;
  for (int category = 0; category < kCategoryCount; ++category) {
    int64_t change = process.categoryGrowth[category];
    if (change <= 0)
      continue;
    if (!text.empty())
      AppendText(text, u"  ");
    AppendAscii(text, kObjectCategoryNames[category]);
    text.push_back(u' ');
    AppendSigned(text, change);
  }
  return text;
}

std::string AboutTime(double seconds) {
  double minutes = seconds / 60;
  // Two days and more, once rounded to the minute: in days.
  if (!(minutes < 2879.5)) {
    int64_t days = std::max<int64_t>(2, std::llround(seconds / 86400));
    return "about " + std::to_string(days) + " days";
  }
  int64_t whole = std::max<int64_t>(1, std::llround(minutes));
  if (whole < 120)
    return "about " + std::to_string(whole) + " min";
  std::string text = "about " + std::to_string(whole / 60) + " h";
  if (whole % 60 != 0)
    text += " " + std::to_string(whole % 60) + " min";
  return text;
}

std::string QuotaTimeLeft(const ProcessGrowth& process, uint32_t quota) {
  uint32_t last = process.lastGdiAll;
  if (quota != 0 && last >= quota)
    return "already at the quota";
  const Trend& trend = process.trend;
  if (quota == 0 || trend.word != TrendWord::StillGrowing ||
      !(trend.perMinute > 0))
    return "";
  return AboutTime(SecondsAtRate(last, quota, trend.perMinute));
}

std::string TrendText(const Trend& trend) {
  std::string text = TrendWordText(trend.word);
  switch (trend.word) {
    case TrendWord::StillGrowing: {
      int64_t tenths = std::llround(std::fabs(trend.perMinute) * 10);
      text += trend.perMinute < 0 ? " -" : " +";
      text += std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) +
              "/min";
      break;
    }
    case TrendWord::Held:
      text += " at " + FormatCount(trend.level) + " since " +
              SinceStart(trend.levelMilliseconds);
      break;
    case TrendWord::UpAndDown:
      text += ", " + FormatCount(trend.least) + " to " +
              FormatCount(trend.greatest);
      break;
  }
  return text;
}

void AppendGrowthReport(const std::vector<const ProcessGrowth*>& grown,
                        uint64_t samples, uint64_t milliseconds, uint32_t quota,
                        const TableGrowth& table, std::u16string& text) {
  AppendGrowthHeading(grown.empty(), samples, milliseconds, table, text);
  for (const ProcessGrowth* process : grown)
    AppendGrowthLine(*process, quota, text);
}

void AppendGrowthHeading(bool noneGrew, uint64_t samples, uint64_t milliseconds,
                         const TableGrowth& table, std::u16string& text) {
  AppendText(text, u"Growth over ");
  AppendNumber(text, static_cast<int64_t>(samples));
  AppendText(text, samples == 1 ? u" sample, " : u" samples, ");
  AppendNumber(text, static_cast<int64_t>(milliseconds / 1000));
  AppendText(text, u" s:\n");
  int64_t tableChange = CountChange(table.firstUsed, table.lastUsed);
  if (tableChange > 0) {
    std::string line = "Table: " + FormatCount(table.firstUsed) + " -> " +
                       FormatCount(table.lastUsed) + " of " +
                       FormatCount(table.slots) + " entries (+" +
                       FormatCount(tableChange);
    Trend trend = JudgeTrend(table.used);
    if (table.lastUsed >= table.slots)
      line += ", full";
    else if (trend.word == TrendWord::StillGrowing && trend.perMinute > 0)
      line += ", full in " + AboutTime(SecondsAtRate(
                                 table.lastUsed, table.slots, trend.perMinute));
    AppendAscii(text, line + ")\n");
  }
  if (noneGrew)
    AppendText(text, u"No process grew.\n");
}

void AppendGrowthLine(const ProcessGrowth& process, uint32_t quota,
                      std::u16string& text) {
  uint64_t span = process.lastMilliseconds - process.firstMilliseconds;
  AppendSpaceSigned(text, static_cast<int32_t>(process.pid), 6);
  AppendText(text, u"  ");
  AppendPadded(text, process.name.c_str(), 28, true);
  AppendText(text, u"  GDI All ");
  text += GrowthText(process.firstGdiAll, process.lastGdiAll, span);
  AppendText(text, u"  GDI Total ");
  text += GrowthText(process.firstGdiTotal, process.lastGdiTotal, span);
  std::u16string categories = GrownCategoriesText(process);
  if (!categories.empty()) {
    AppendText(text, u"  ");
    text += categories;
  }
  AppendAscii(text, "  " + TrendText(process.trend));
  std::string left = QuotaTimeLeft(process, quota);
  if (left == "already at the quota")
    AppendAscii(text, ", " + left);
  else if (!left.empty())
    AppendAscii(text, ", quota " + FormatCount(quota) + " in " + left);
  text.push_back(u'\n');
}
