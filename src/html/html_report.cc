#include "html/html_report.h"

#include <algorithm>
#include <new>

#include "html/snapshot_writer.h"
#include "html/trace_section.h"
#include "output/output.h"
#include "presentation/change_lines.h"
#include "presentation/format.h"
#include "presentation/growth_report.h"
#include "watch/changes.h"
#include "watch/growth.h"

namespace {

// What failed, as the page's lead says it after "the watch ended at
// sample N: ".
const char* FailureText(Failure failure) {
  switch (failure) {
    case Failure::HandlesLost:
      return "its handles could not all be kept in memory";
    case Failure::OutOfMemory:
      return "memory ran out";
    case Failure::SystemState:
    case Failure::None:
      break;
  }
  return "the system state could not be read";
}

}  // namespace

HtmlReport::HtmlReport(const ReportOptions& options, const WatchPlan* watch,
                       Output& out)
    : options_(options), plan_(watch ? *watch : WatchPlan()), out_(out) {
  report_.intervalSeconds = static_cast<int>(plan_.intervalSeconds);
  report_.growth.headers = {
      u"PID",   u"Name",    u"GDI All", u"GDI Total", u"Categories that grew",
      u"Trend", u"Quota in"};
  report_.growth.numeric = {true, false, false, false, false, false, false};
}

void HtmlReport::Sample(const ListedSample& sample) {
  if (!sample.IsWatch()) {
    WriteHtmlDocument(*sample.system, *sample.listed, options_, out_);
    return;
  }
  if (sample.number == 1) {
    // The page's head and closing fit here: a page whose memory runs out
    // as it is written still ends whole (WatchPageWriter).
    out_.Bytes().reserve(kWatchPageRoom);
    report_.origin.timeName = "Started";
    report_.origin.time = OriginTime(sample.system->unixMilliseconds);
    report_.origin.host = sample.system->hostName;
    report_.origin.filter = FilterText(options_);
  }
  report_.processQuota = sample.system->processQuota;
  for (uint64_t id : sample.growth->ListedIds())
    report_.processesSeen = std::max(report_.processesSeen, id + 1);
  double seconds = static_cast<double>(sample.milliseconds) / 1000;
  report_.sampleCount = sample.number;
  report_.coveredSeconds = seconds;
  if (sample.changes)
    NoteChanges(sample);
}

void HtmlReport::NoteChanges(const ListedSample& sample) {
  const SampleChanges& changes = *sample.changes;
  if (changes.processes.empty())
    return;
  ++report_.samplesWithChanges;
  // Each unit of the lines takes at least a byte of the page, so lines past
  // the budget are not worth rendering: the sample is left out.
  size_t room = changes_.Budget();
  lines_.clear();
  char line[kHandleChangeLineBytes];
  for (const ProcessChange& change : changes.processes) {
    if (lines_.size() > room)
      break;
    AppendProcessChange(lines_, change, options_.showCounts);
    for (size_t i = 0; i < change.handleCount && lines_.size() <= room; ++i) {
      char* end =
          FormatHandleChange(line, changes.handles[change.firstHandle + i]);
      lines_.append(line, end);
    }
  }
  if (lines_.size() > room) {
    changes_.LeaveOutUpTo(sample.number);
    return;
  }
  std::string block;
  AppendChangesBlock(block, sample.number,
                     static_cast<double>(sample.milliseconds) / 1000, lines_);
  changes_.Add(sample.number, std::move(block));
}

void HtmlReport::End(const RunEnd& end) {
  // A watch whose first sample failed has nothing to show, like a single
  // run that fails.
  if (!end.IsWatch() || end.samples == 0)
    return;
  report_.interrupted = end.interrupted;
  report_.changesLeftOut = changes_.LeftOut();
  report_.lastLeftOut = changes_.LastLeftOut();
  if (end.failure != Failure::None) {
    report_.failedSample = end.samples + 1;
    report_.failure = FailureText(end.failure);
  }
  const std::vector<const ProcessGrowth*>& grown = end.growth->Grown();
  report_.grownCount = grown.size();

  // Rendered where it waits in the output, held until it is whole (the
  // format's policy); each part gathered as it comes, so that memory
  // running out leaves the parts before it.
  std::string& page = out_.Bytes();
  WatchPageWriter writer(page, report_);
  try {
    writer.Head();
    // The charts take the first processes of the growth table's order.
    for (const ProcessGrowth* grew : grown) {
      if (report_.charted.size() == kMaxChartedProcesses)
        break;
      const ChartSeries* kept = end.growth->Chart(*grew);
      if (!kept)
        continue;
      const ChartSeries& series = *kept;
      ChartedProcess process;
      process.pid = grew->pid;
      process.name = grew->name.view();
      process.samples = series.Samples();
      process.gdiAll = series.GdiAll();
      process.gdiTotal = series.GdiTotal();
      process.categories = series.Categories();
      report_.charted.push_back(std::move(process));
    }
    writer.Charts();

    writer.GrowthStart();
    std::vector<std::u16string> row(report_.growth.headers.size());
    for (size_t i = 0; i < grown.size() && i < kMaxGrowthRows; ++i) {
      const ProcessGrowth& process = *grown[i];
      uint64_t span = process.lastMilliseconds - process.firstMilliseconds;
      row[0] = Utf16(std::to_string(process.pid));
      row[1] = process.name.view();
      row[2] = GrowthText(process.firstGdiAll, process.lastGdiAll, span);
      row[3] = GrowthText(process.firstGdiTotal, process.lastGdiTotal, span);
      row[4] = GrownCategoriesText(process);
      row[5] = Utf16(TrendText(process.trend));
      row[6] = Utf16(QuotaTimeLeft(process));
      writer.GrowthRow(row);
    }
    writer.GrowthEnd();
    if (end.stacks)
      writer.Trace(*end.stacks);
    writer.Changes(changes_);
    writer.End();
  } catch (const std::bad_alloc&) {
    // Ends as a page with what was whole, or leaves nothing of itself.
    if (!writer.CloseCut())
      out_.DropHeld();
    out_.PieceDone();
    throw;
  }
  out_.PieceDone();
}
