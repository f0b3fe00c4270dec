#include "cli/watch_html.h"

#include <algorithm>
#include <iterator>

#include "census/process_record.h"
#include "report/growth.h"
#include "report/output.h"

WatchHtmlCollector::WatchHtmlCollector(int intervalSeconds, Output& out)
    : out_(out) {
  report_.intervalSeconds = intervalSeconds;
  report_.growth.headers = {u"PID", u"Name", u"GDI All", u"GDI Total",
                            u"Categories that grew"};
  report_.growth.numeric = {true, false, false, false, false};
}

void WatchHtmlCollector::OnSample(
    uint64_t sample, uint64_t milliseconds,
    const std::vector<const ProcessRecord*>& listed,
    const std::u16string& changes) {
  double seconds = static_cast<double>(milliseconds) / 1000;
  report_.sampleCount = static_cast<int>(sample);
  report_.coveredSeconds = seconds;
  for (const ProcessRecord* record : listed) {
    auto found = seriesOfPid_.find(record->pid);
    // A new name under a PID is another process.
    if (found == seriesOfPid_.end() ||
        report_.processes[found->second].name != record->exeName) {
      ProcessSeries series;
      series.pid = record->pid;
      series.name = record->exeName;
      seriesOfPid_[record->pid] = report_.processes.size();
      report_.processes.push_back(std::move(series));
      found = seriesOfPid_.find(record->pid);
    }
    ProcessSample point;
    point.seconds = seconds;
    point.gdiAll = record->guiObjectCount;
    point.gdiTotal = record->entryCount;
    std::copy(std::begin(record->categoryCounts),
              std::end(record->categoryCounts), point.categories.begin());
    report_.processes[found->second].samples.push_back(point);
  }
  if (changes.empty())
    return;
  SampleChanges changed;
  changed.sample = static_cast<int>(sample);
  changed.seconds = seconds;
  if (changeUnits_ > kMaxChangesBytes) {
    // The page leaves these out; one line marks that the sample changed.
    changed.lines.push_back(u"...");
  } else {
    changeUnits_ += changes.size();
    size_t start = 0;
    while (start < changes.size()) {
      size_t end = changes.find(u'\n', start);
      if (end == std::u16string::npos)
        end = changes.size();
      changed.lines.push_back(changes.substr(start, end - start));
      start = end + 1;
    }
  }
  report_.changes.push_back(std::move(changed));
}

void WatchHtmlCollector::OnEnd(const std::vector<const ProcessGrowth*>& grown,
                               bool interrupted) {
  report_.interrupted = interrupted;
  for (const ProcessGrowth* process : grown) {
    uint64_t span = process->last.milliseconds - process->first.milliseconds;
    std::string pid = std::to_string(process->pid);
    report_.growth.rows.push_back(
        {std::u16string(pid.begin(), pid.end()), process->name,
         GrowthText(process->first.gdiAll, process->last.gdiAll, span),
         GrowthText(process->first.gdiTotal, process->last.gdiTotal, span),
         GrownCategoriesText(*process)});
  }
  // Rendered whole before its first byte goes out.
  std::string document = RenderWatchHtml(report_);
  out_.WriteBytes(document.data(), document.size());
}
