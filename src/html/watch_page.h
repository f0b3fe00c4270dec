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
#include "html/page_origin.h"
#include "watch/chart_series.h"
#include "html/latest_changes.h"
#include "html/table.h"

class StackTracker;

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
  PageOrigin origin;  // of the first sample
  uint64_t sampleCount = 0;
  int intervalSeconds = 0;
  double coveredSeconds = 0;  // from the first sample to the last
  // Stopped by an interrupt before the samples -n asks for.
  bool interrupted = false;
  // When a sample could not be taken: its number, and why.
  uint64_t failedSample = 0;
  std::string_view failure;
  uint64_t processesSeen = 0;
  // The most GDI objects a process may hold; the GDI All chart draws it
  // once its lines reach half of it.
  uint32_t processQuota = 0;
  // The processes that grew most: the first of the growth table's order
  // (GrowsBefore), at most kMaxChartedProcesses.
  std::vector<ChartedProcess> charted;
  // The growth report's headers; its rows, one a process that grew, at
  // most kMaxGrowthRows of the `grownCount`, are written one at a time.
  TextTable growth;
  uint64_t grownCount = 0;
  // The samples that had changes; of them, the earlier ones left out of
  // the page (LatestChanges), up to the last of them.
  uint64_t samplesWithChanges = 0;
  uint64_t changesLeftOut = 0;
  uint64_t lastLeftOut = 0;
};

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

// Writes the page into `out`, after what it holds, a part at a time: a
// header with the sample count, the interval, the time covered and how the
// watch ended; line charts of GDI All and GDI Total for the charted
// processes and the categories of the one that grew most, stacked over
// time; the growth table; -x's section; the changes of each sample in a
// collapsible section; the end. `report` is read as each part is written.
//
// The page stays such that memory running out at any point still leaves
// a valid one: each part that is whole is marked, with room reserved after
// it for the closing, so that CloseCut ends the page without asking for
// memory.
class WatchPageWriter {
 public:
  WatchPageWriter(std::string& out, const WatchReport& report);

  void Head();
  void Charts();
  // The growth report's heading and the start of its table.
  void GrowthStart();
  void GrowthRow(const std::vector<std::u16string>& cells);
  // The table's end, and how many processes it leaves out.
  void GrowthEnd();
  // Appends -x's section (trace_section.h).
  void Trace(const StackTracker& stacks);
  void Changes(const LatestChanges& changes);
  void End();

  // After memory ran out: cuts the page back to its last whole part and
  // closes it, with the growth report's heading where it had not come yet
  // and a note that the rest is left out because memory ran out. False
  // when no part was whole: the page has nothing to show.
  bool CloseCut();

 private:
  // Where the page can be cut: the part it is in decides its closing.
  enum class Part {
    Nothing,
    BeforeGrowth,
    InGrowthTable,
    AfterGrowth,
    InChanges
  };
  void Whole(Part part);

  std::string& out_;
  const WatchReport& report_;
  size_t whole_;
  Part part_ = Part::Nothing;
  size_t rows_ = 0;
};

// The room a page's buffer is given before the watch's samples: its head
// and its closing fit in it, so that a page whose memory runs out at its
// first part still ends whole.
constexpr size_t kWatchPageRoom = size_t{64} * 1024;
