// The HTML report: a single run's snapshot page, or a watch's page written
// when the watch ends. A watch's page is gathered as the samples arrive in
// memory that does not grow with them: each process's series reduced as it
// goes, the exited processes kept only while they may be charted, the
// changes rendered until their budget is spent.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "html/latest_changes.h"
#include "html/watch_page.h"
#include "output/report.h"
#include "watch/growth.h"

class HtmlReport : public Report {
 public:
  // `watch` is null for a single run.
  HtmlReport(const ReportOptions& options, const WatchPlan* watch, Output& out);

  void Sample(const ListedSample& sample) override;
  void End(const RunEnd& end) override;

 private:
  void NoteChanges(const ListedSample& sample);
  // Keeps the series of a process that exited having grown while it may
  // yet be charted.
  void KeepExited(const ProcessGrowth& process);

  const ReportOptions& options_;
  const WatchPlan plan_;
  Output& out_;
  // Each process's lines over the watch, by process id.
  std::unordered_map<uint64_t, ChartSeries> live_;
  // The exited processes that may yet be charted: the first of those that
  // grew in the growth order, at most kMaxChartedProcesses, each as it
  // exited.
  std::unordered_map<uint64_t, ChartSeries> exited_;
  std::vector<ProcessGrowth> exitedGrowth_;
  WatchReport report_;
  LatestChanges changes_{kMaxChangesBytes};
  std::u16string lines_;  // one sample's changes as the text view has them
};
