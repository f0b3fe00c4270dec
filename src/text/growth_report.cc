#include "text/growth_report.h"

#include <algorithm>
#include <cmath>

#include "gditable/object_types.h"
#include "text/format.h"

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

// The seconds until `last` reaches `limit`, growing by `change` every
// `milliseconds`; `change` and `milliseconds` are positive.
double SecondsUntil(uint32_t last, uint32_t limit, int64_t change,
                    uint64_t milliseconds) {
  return static_cast<double>(limit - last) * static_cast<double>(milliseconds) /
         static_cast<double>(change) / 1000;
}

}  // namespace

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
    int64_t change = CountChange(process.first.counts.categories[category],
                                 process.last.counts.categories[category]);
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
  uint32_t last = process.last.counts.gdiAll;
  if (quota != 0 && last >= quota)
    return "already at the quota";
  int64_t change = GdiAllGrowth(process);
  uint64_t span = process.last.milliseconds - process.first.milliseconds;
  if (quota == 0 || change <= 0 || span == 0)
    return "";
  return AboutTime(SecondsUntil(last, quota, change, span));
}

void AppendGrowthReport(const std::vector<const ProcessGrowth*>& grown,
                        uint64_t samples, uint64_t milliseconds, uint32_t quota,
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
    uint64_t span = table.lastMilliseconds - table.firstMilliseconds;
    if (table.lastUsed >= table.slots)
      line += ", full";
    else if (span > 0)
      line += ", full in " + AboutTime(SecondsUntil(table.lastUsed, table.slots,
                                                    tableChange, span));
    AppendAscii(text, line + ")\n");
  }
  if (grown.empty())
    AppendText(text, u"No process grew.\n");
  for (const ProcessGrowth* process : grown) {
    const CountsAt& first = process->first;
    const CountsAt& last = process->last;
    uint64_t span = last.milliseconds - first.milliseconds;
    AppendSpaceSigned(text, static_cast<int32_t>(process->pid), 6);
    AppendText(text, u"  ");
    AppendPadded(text, process->name.c_str(), 28, true);
    AppendText(text, u"  GDI All ");
    text += GrowthText(first.counts.gdiAll, last.counts.gdiAll, span);
    AppendText(text, u"  GDI Total ");
    text += GrowthText(first.counts.gdiTotal, last.counts.gdiTotal, span);
    std::u16string categories = GrownCategoriesText(*process);
    if (!categories.empty()) {
      AppendText(text, u"  ");
      text += categories;
    }
    std::string left = QuotaTimeLeft(*process, quota);
    if (left == "already at the quota")
      AppendAscii(text, "  " + left);
    else if (!left.empty())
      AppendAscii(text, "  quota " + FormatCount(quota) + " in " + left);
    text.push_back(u'\n');
  }
}
