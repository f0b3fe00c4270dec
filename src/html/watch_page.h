// The HTML report of a watch: how the processes' GDI objects developed over
// the samples, drawn as charts, with the growth report and the changes of
// each sample. Its model holds what the page shows, already bounded: a few
// reduced series, a capped table, the changes within their budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "html/area_chart.h"
#include "html/series_reduction.h"
#include "html/table.h"

// A process the line charts show: its series, at most kMaxChartPoints each.
struct ChartedProcess {
  uint32_t pid = 0;
  std::u16string name;
  uint64_t samples = 0;             // the samples its series were kept from
  std::vector<SeriesPoint> gdiAll;  // x: seconds since the first sample
  std::vector<SeriesPoint> gdiTotal;
  std::vector<CategorySample> categories;
};

struct WatchReport {
  uint64_t sampleCount = 0;
  int intervalSeconds = 0;
  double coveredSeconds = 0;  // from the first sample to the last
  // Stopped by an interrupt before the samples -n asks for.
  bool interrupted = false;
  // When a sample could not be taken: its number, and why.
  uint64_t failedSample = 0;
  std::string failure;
  uint64_t processesSeen = 0;
  // The most GDI objects a process may hold; the GDI All chart draws it
  // once its lines reach half of it.
  uint32_t processQuota = 0;
  // The processes that grew most: the first of the growth table's order
  // (GrowsBefore), at most kMaxChartedProcesses.
  std::vector<ChartedProcess> charted;
  // The growth report: a row per process that grew, at most kMaxGrowthRows
  // of the `grownCount`.
  TextTable growth;
  uint64_t grownCount = 0;
  // The changes of each sample that had some, rendered by
  // AppendChangesBlock: the latest, up to kMaxChangesBytes (LatestChanges);
  // the earlier samples left out are counted, up to the last of them.
  uint64_t samplesWithChanges = 0;
  std::string changes;
  uint64_t changesLeftOut = 0;
  uint64_t lastLeftOut = 0;
  // -x: the followed program's section (trace_section.h), after the growth
  // table; empty otherwise.
  std::string trace;
};

// The line charts show at most this many processes.
constexpr size_t kMaxChartedProcesses = 10;

// The growth table shows at most this many processes, those that grew most.
constexpr size_t kMaxGrowthRows = 1000;

// The changes of each sample take at most this many bytes of the document,
// so that a long, busy watch still gives a page of modest size; the earlier
// samples past it are named, not shown.
constexpr size_t kMaxChangesBytes = size_t{400} * 1024;

// Appends one sample's changes as the page shows them: a heading with the
// sample's number and time, then `lines` (the text view's) preformatted.
void AppendChangesBlock(std::string& out, uint64_t sample, double seconds,
                        std::u16string_view lines);

// The whole document: a header with the sample count, the interval, the
// time covered and how the watch ended; line charts of GDI All and GDI
// Total for the charted processes; the categories of the one that grew
// most, stacked over time; the growth table; the changes of each sample in
// a collapsible section. Appended to `out`.
void AppendWatchHtml(std::string& out, const WatchReport& report);
