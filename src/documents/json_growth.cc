#include "documents/json_growth.h"

#include <algorithm>
#include <cmath>

#include "census/object_categories.h"
#include "documents/growth_numbers.h"
#include "documents/json_document.h"
#include "documents/version.h"
#include "presentation/format.h"
#include "presentation/wall_time.h"
#include "watch/growth.h"
#include "watch/sample_model.h"

namespace {

// The version project() names.
constexpr char kVersion[] = KESTREL_PROJECT_VERSION;

void AppendPerMinute(std::string& out, double perMinute) {
  out += PerMinuteNumber(perMinute);
}

// {"first":121,"last":181,"change":60,"perMinute":360}: the change, and
// the change per minute over `milliseconds` (0 over none).
void AppendCounts(std::string& out, uint32_t first, uint32_t last,
                  uint64_t milliseconds) {
  const int64_t change = CountChange(first, last);
  out += "{\"first\":";
  AppendNumber(out, first);
  out += ",\"last\":";
  AppendNumber(out, last);
  out += ",\"change\":";
  AppendNumber(out, change);
  out += ",\"perMinute\":";
  AppendPerMinute(out, ChangePerMinute(CountChange(first, last), milliseconds));
  out.push_back('}');
}

// {"word":"still growing","perMinute":6.5}, {"word":"held","level":279,
// "sinceSeconds":66,"unchanged":false} or {"word":"up and down",
// "least":150,"greatest":310}.
void AppendVerdict(std::string& out, const Trend& trend) {
  out += "{\"word\":\"";
  out += TrendWordText(trend.word);
  out.push_back('"');
  switch (trend.word) {
    case TrendWord::StillGrowing:
      out += ",\"perMinute\":";
      AppendPerMinute(out, trend.perMinute);
      break;
    case TrendWord::Held:
      out += ",\"level\":";
      AppendNumber(out, trend.level);
      out += ",\"sinceSeconds\":";
      out += FormatSeconds(trend.levelMilliseconds);
      out += ",\"unchanged\":";
      out += trend.unchanged ? "true" : "false";
      break;
    case TrendWord::UpAndDown:
      out += ",\"least\":";
      AppendNumber(out, trend.least);
      out += ",\"greatest\":";
      AppendNumber(out, trend.greatest);
      break;
  }
  out.push_back('}');
}

// Where a count stands against its limit: null when not known or not
// heading for it, {"limit":N,"reached":true}, or {"limit":N,
// "reached":false,"secondsLeft":S} at its trend.
void AppendOutlook(std::string& out, const LimitOutlook& outlook,
                   uint32_t limit) {
  if (outlook.state == LimitState::Unknown || limit == 0) {
    out += "null";
    return;
  }
  out += "{\"limit\":";
  AppendNumber(out, limit);
  if (outlook.state == LimitState::Reached) {
    out += ",\"reached\":true}";
    return;
  }
  out += ",\"reached\":false,\"secondsLeft\":";
  AppendNumber(out, std::llround(std::max(0.0, double{outlook.secondsLeft})));
  out.push_back('}');
}

void AppendProcess(std::string& out, const ProcessGrowth& process,
                   uint32_t quota) {
  out += "{\"pid\":";
  AppendNumber(out, process.pid);
  out += ",\"name\":";
  AppendJsonString(out, process.name.view());
  out += ",\"firstSeconds\":";
  out += FormatSeconds(process.firstMilliseconds);
  out += ",\"lastSeconds\":";
  out += FormatSeconds(process.lastMilliseconds);
  const uint64_t span = process.lastMilliseconds - process.firstMilliseconds;
  out += ",\"gdiAll\":";
  AppendCounts(out, process.firstGdiAll, process.lastGdiAll, span);
  out += ",\"gdiTotal\":";
  AppendCounts(out, process.firstGdiTotal, process.lastGdiTotal, span);
  out += ",\"categoriesGrown\":{";
  bool first = true;
  for (int category = 0; category < kCategoryCount; ++category) {
    if (process.categoryGrowth[category] <= 0)
      continue;
    if (!first)
      out.push_back(',');
    first = false;
    out.push_back('"');
    out += kObjectCategoryNames[category];
    out += "\":";
    AppendNumber(out, process.categoryGrowth[category]);
  }
  out += "},\"verdict\":";
  AppendVerdict(out, process.trend);
  out += ",\"quota\":";
  AppendOutlook(out, process.quota, quota);
  out.push_back('}');
}

}  // namespace

void WriteJsonGrowthDocument(
    const RunEnd& end, uint32_t processQuota,
    const std::function<void(const std::string&)>& write) {
  const GrowthTracker& growth = *end.growth;
  const TableGrowth& table = growth.Table();
  std::string bytes = "{\"growth\":{\"samples\":";
  bytes += std::to_string(end.samples);
  bytes += ",\"elapsedSeconds\":";
  bytes += FormatSeconds(end.lastMilliseconds);
  bytes += ",\"interrupted\":";
  bytes += end.interrupted ? "true" : "false";
  bytes += ",\"processQuota\":";
  AppendNumber(bytes, processQuota);
  bytes += ",\"table\":{\"slots\":";
  AppendNumber(bytes, table.slots);
  bytes += ",\"used\":";
  AppendCounts(bytes, table.firstUsed, table.lastUsed,
               table.lastMilliseconds - table.firstMilliseconds);
  bytes += ",\"verdict\":";
  AppendVerdict(bytes, table.trend);
  bytes += ",\"full\":";
  AppendOutlook(bytes, table.full, table.slots);
  bytes += "},\"processes\":[";
  // A watch may have seen a hundred thousand processes grow: the document
  // leaves in pieces rather than be held whole.
  constexpr size_t kPieceBytes = size_t{64} * 1024;
  const std::vector<const ProcessGrowth*>& grown = growth.Grown();
  for (size_t i = 0; i < grown.size(); ++i) {
    if (i > 0)
      bytes.push_back(',');
    AppendProcess(bytes, *grown[i], processQuota);
    if (bytes.size() >= kPieceBytes) {
      write(bytes);
      bytes.clear();
    }
  }
  bytes += "]},\"tool\":\"kestrel\",\"version\":\"";
  bytes += kVersion;
  // When the last sample was taken, and where.
  bytes += "\",\"time\":\"";
  bytes += FormatUtcTime(end.lastUnixMilliseconds, TimePrecision::Milliseconds);
  bytes += "\",\"host\":";
  AppendJsonString(bytes, end.hostName);
  bytes += "}\n";
  write(bytes);
}

std::string JsonGrowthDocument(const RunEnd& end, uint32_t processQuota) {
  std::string document;
  WriteJsonGrowthDocument(end, processQuota,
                          [&](const std::string& piece) { document += piece; });
  return document;
}
