#include "documents/csv_growth.h"

#include <algorithm>
#include <cmath>

#include "census/object_categories.h"
#include "documents/csv_document.h"
#include "documents/growth_numbers.h"
#include "presentation/format.h"
#include "watch/growth.h"
#include "watch/sample_model.h"

namespace {

// `first,last,change,perMinute`.
void AppendCounts(std::string& out, uint32_t first, uint32_t last,
                  uint64_t milliseconds) {
  out +=
      std::to_string(first) + "," + std::to_string(last) + "," +
      std::to_string(CountChange(first, last)) + "," +
      PerMinuteNumber(ChangePerMinute(CountChange(first, last), milliseconds));
}

// `verdict,verdictPerMinute,heldLevel,heldSinceSeconds,heldUnchanged,least,
// greatest`.
void AppendVerdict(std::string& out, const Trend& trend) {
  out += TrendWordText(trend.word);
  switch (trend.word) {
    case TrendWord::StillGrowing:
      out += "," + PerMinuteNumber(trend.perMinute) + ",,,,,";
      break;
    case TrendWord::Held:
      out += ",," + std::to_string(trend.level) + "," +
             FormatSeconds(trend.levelMilliseconds) + "," +
             (trend.unchanged ? "true" : "false") + ",,";
      break;
    case TrendWord::UpAndDown:
      out += ",,,,," + std::to_string(trend.least) + "," +
             std::to_string(trend.greatest);
      break;
  }
}

// `limit,limitReached,limitSecondsLeft`: all empty where not known or not
// heading for it.
void AppendOutlook(std::string& out, const LimitOutlook& outlook,
                   uint32_t limit) {
  if (outlook.state == LimitState::Unknown || limit == 0) {
    out += ",,";
    return;
  }
  out += std::to_string(limit);
  if (outlook.state == LimitState::Reached) {
    out += ",true,";
    return;
  }
  out +=
      ",false," +
      std::to_string(std::llround(std::max(0.0, double{outlook.secondsLeft})));
}

}  // namespace

std::string CsvGrowthDocument(const RunEnd& end, uint32_t processQuota) {
  std::string bytes =
      "row,pid,name,firstSeconds,lastSeconds,first,last,change,perMinute,"
      "gdiTotalFirst,gdiTotalLast,gdiTotalChange";
  for (const char* category : kObjectCategoryNames)
    bytes += std::string(",") + category;
  bytes +=
      ",verdict,verdictPerMinute,heldLevel,heldSinceSeconds,heldUnchanged,"
      "least,greatest,limit,limitReached,limitSecondsLeft\n";

  const TableGrowth& table = end.growth->Table();
  bytes += "table,,," + FormatSeconds(table.firstMilliseconds) + "," +
           FormatSeconds(table.lastMilliseconds) + ",";
  AppendCounts(bytes, table.firstUsed, table.lastUsed,
               table.lastMilliseconds - table.firstMilliseconds);
  bytes += std::string(3 + kCategoryCount, ',') + ",";
  AppendVerdict(bytes, table.trend);
  bytes += ",";
  AppendOutlook(bytes, table.full, table.slots);
  bytes += "\n";

  for (const ProcessGrowth* process : end.growth->Grown()) {
    const uint64_t span =
        process->lastMilliseconds - process->firstMilliseconds;
    bytes += "process," + std::to_string(process->pid) + ",";
    AppendCsvField(bytes, process->name.view());
    bytes += "," + FormatSeconds(process->firstMilliseconds) + "," +
             FormatSeconds(process->lastMilliseconds) + ",";
    AppendCounts(bytes, process->firstGdiAll, process->lastGdiAll, span);
    bytes += "," + std::to_string(process->firstGdiTotal) + "," +
             std::to_string(process->lastGdiTotal) + "," +
             std::to_string(
                 CountChange(process->firstGdiTotal, process->lastGdiTotal));
    for (int32_t change : process->categoryGrowth)
      bytes += "," + std::to_string(change);
    bytes += ",";
    AppendVerdict(bytes, process->trend);
    bytes += ",";
    AppendOutlook(bytes, process->quota, processQuota);
    bytes += "\n";
  }
  return bytes;
}
