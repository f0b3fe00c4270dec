#include "html/html_report.h"

#include <algorithm>
#include <iterator>

#include "census/process_record.h"
#include "html/snapshot_writer.h"
#include "output/output.h"
#include "sample/process_counts.h"
#include "text/change_lines.h"
#include "text/format.h"
#include "text/growth_report.h"
#include "watch/changes.h"
#include "watch/growth.h"

namespace {

const char* FailureText(Failure failure) {
  return failure == Failure::OutOfMemory
             ? "its handles could not all be kept in memory"
             : "the system state could not be read";
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

bool HtmlReport::ChartsBefore(const Charted& a, const Charted& b) {
  double growthA = a.series->lastAll - a.series->firstAll;
  double growthB = b.series->lastAll - b.series->firstAll;
  if (growthA != growthB)
    return growthA > growthB;
  if (a.series->pid != b.series->pid)
    return a.series->pid < b.series->pid;
  return a.id < b.id;
}

void HtmlReport::Sample(const ListedSample& sample) {
  if (!sample.growth) {
    WriteHtmlDocument(*sample.listed, options_, out_);
    return;
  }
  const GrowthTracker& growth = *sample.growth;
  for (uint64_t id : growth.Exited())
    NoteExited(id);
  double seconds = static_cast<double>(sample.milliseconds) / 1000;
  const std::vector<uint64_t>& ids = growth.ListedIds();
  for (size_t i = 0; i < ids.size(); ++i) {
    const ProcessRecord& record = *(*sample.listed)[i];
    const ProcessCounts counts = CountsOf(record);
    auto found = live_.find(ids[i]);
    if (found == live_.end()) {
      found = live_.emplace(ids[i], Series()).first;
      found->second.pid = record.pid;
      found->second.name = record.exeName;
      found->second.firstAll = counts.gdiAll;
      report_.processesSeen = std::max(report_.processesSeen, ids[i] + 1);
    }
    Series& series = found->second;
    series.lastAll = counts.gdiAll;
    ChartSample charted;
    charted.seconds = seconds;
    charted.gdiAll = counts.gdiAll;
    std::copy(std::begin(counts.categories), std::end(counts.categories),
              charted.categories.begin());
    series.counts.Add(charted);
  }
  report_.sampleCount = sample.number;
  report_.coveredSeconds = seconds;
  if (sample.changes)
    NoteChanges(sample);
}

void HtmlReport::NoteExited(uint64_t id) {
  auto found = live_.find(id);
  if (found == live_.end())
    return;
  Series& series = found->second;
  if (series.lastAll > series.firstAll) {
    exited_.emplace(id, std::move(series));
    if (exited_.size() > kMaxChartedProcesses) {
      // The one that would be charted last can no longer be charted.
      auto last = exited_.begin();
      for (auto it = exited_.begin(); it != exited_.end(); ++it) {
        if (ChartsBefore({last->first, &last->second},
                         {it->first, &it->second}))
          last = it;
      }
      exited_.erase(last);
    }
  }
  live_.erase(found);
}

void HtmlReport::NoteChanges(const ListedSample& sample) {
  const SampleChanges& changes = *sample.changes;
  if (changes.processes.empty())
    return;
  ++report_.samplesWithChanges;
  if (report_.changesLeftOut > 0) {
    ++report_.changesLeftOut;
    return;
  }
  // Each unit of the lines takes at least a byte of the page, so lines past
  // what the budget has left are not worth rendering.
  size_t room = kMaxChangesBytes - report_.changes.size();
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
  block_.clear();
  if (lines_.size() <= room) {
    AppendChangesBlock(block_, sample.number,
                       static_cast<double>(sample.milliseconds) / 1000, lines_);
  }
  if (lines_.size() > room || block_.size() > room) {
    report_.changesLeftOut = 1;
    report_.firstLeftOut = sample.number;
    return;
  }
  report_.changes += block_;
}

void HtmlReport::End(const RunEnd& end) {
  // A watch whose first sample failed has nothing to show, like a single
  // run that fails.
  if (!end.growth || end.samples == 0)
    return;
  report_.interrupted = end.interrupted;
  report_.processQuota = end.processQuota;
  if (end.failure != Failure::None) {
    report_.failedSample = end.samples + 1;
    report_.failure = FailureText(end.failure);
  }

  std::vector<Charted> charted;
  for (const auto* processes : {&live_, &exited_}) {
    for (const auto& [id, series] : *processes) {
      if (series.lastAll > series.firstAll)
        charted.push_back({id, &series});
    }
  }
  std::sort(charted.begin(), charted.end(), ChartsBefore);
  if (charted.size() > kMaxChartedProcesses)
    charted.resize(kMaxChartedProcesses);
  for (const Charted& chosen : charted) {
    ChartedProcess process;
    process.pid = chosen.series->pid;
    process.name = chosen.series->name;
    process.samples = chosen.series->counts.Samples();
    process.gdiAll = chosen.series->counts.GdiAll();
    process.gdiTotal = chosen.series->counts.GdiTotal();
    process.categories = chosen.series->counts.Categories();
    report_.charted.push_back(std::move(process));
  }

  std::vector<const ProcessGrowth*> grown = end.growth->Grown();
  report_.grownCount = grown.size();
  if (grown.size() > kMaxGrowthRows)
    grown.resize(kMaxGrowthRows);
  for (const ProcessGrowth* process : grown) {
    uint64_t span = process->last.milliseconds - process->first.milliseconds;
    report_.growth.rows.push_back(
        {Utf16(std::to_string(process->pid)), process->name,
         GrowthText(process->first.counts.gdiAll, process->last.counts.gdiAll,
                    span),
         GrowthText(process->first.counts.gdiTotal,
                    process->last.counts.gdiTotal, span),
         GrownCategoriesText(*process), Utf16(TrendText(process->trend)),
         Utf16(QuotaTimeLeft(*process, end.processQuota))});
  }
  // Rendered whole before its first byte goes out.
  std::string document = RenderWatchHtml(report_);
  out_.WriteBytes(document.data(), document.size());
}
