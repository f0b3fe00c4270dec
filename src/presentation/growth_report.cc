#include "presentation/growth_report.h"

#include <algorithm>
#include <cmath>

#include "gditable/object_types.h"
#include "presentation/format.h"

namespace {

// `change` over `milliseconds` as a rate.
void AppendRate(std::u16string& text, int64_t change, uint64_t milliseconds) {
  AppendAscii(text, FormatRate(ChangePerMinute(change, milliseconds)));
}

}  // namespace

std::string SinceStart(uint64_t milliseconds) {
  return "+" + FormatDuration(milliseconds / 1000, {false, 60});
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
  return "about " +
         FormatDuration(static_cast<uint64_t>(whole) * 60, {false, 120});
}

std::string QuotaTimeLeft(const ProcessGrowth& process) {
  switch (process.quota.state) {
    case LimitState::Reached:
      return "already at the quota";
    case LimitState::Ahead:
      return AboutTime(process.quota.secondsLeft);
    case LimitState::Unknown:
      break;
  }
  return "";
}

std::string TrendText(const Trend& trend) {
  std::string text = TrendWordText(trend.word);
  switch (trend.word) {
    case TrendWord::StillGrowing:
      text += " " + FormatRate(trend.perMinute);
      break;
    case TrendWord::Held:
      text += " at " + FormatCount(trend.level);
      text += trend.unchanged ? " throughout"
                              : " since " + SinceStart(trend.levelMilliseconds);
      break;
    case TrendWord::UpAndDown:
      text += ", " + FormatCount(trend.least) + " to " +
              FormatCount(trend.greatest);
      break;
  }
  return text;
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
    if (table.full.state == LimitState::Reached)
      line += ", full";
    else if (table.full.state == LimitState::Ahead)
      line += ", full in " + AboutTime(table.full.secondsLeft);
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
  if (process.quota.state == LimitState::Reached)
    AppendAscii(text, ", " + QuotaTimeLeft(process));
  else if (process.quota.state == LimitState::Ahead)
    AppendAscii(text, ", quota " + FormatCount(quota) + " in " +
                          QuotaTimeLeft(process));
  text.push_back(u'\n');
}
