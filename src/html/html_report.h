// The HTML report: a single run's snapshot page, or a watch's page written
// when the watch ends. A watch's page is gathered as the samples arrive in
// memory that does not grow with them: the charts read each process's
// series from the watch's tracker (GrowthTracker::KeepCharts), the changes
// are rendered until their budget is spent.
#pragma once

#include <string>

#include "html/latest_changes.h"
#include "html/watch_page.h"
#include "output/report.h"

class HtmlReport : public Report {
 public:
  // `watch` is null for a single run.
  HtmlReport(const ReportOptions& options, const WatchPlan* watch, Output& out);

  void Sample(const ListedSample& sample) override;
  void End(const RunEnd& end) override;

 private:
  void NoteChanges(const ListedSample& sample);

  const ReportOptions& options_;
  const WatchPlan plan_;
  Output& out_;
  WatchReport report_;
  LatestChanges changes_{kMaxChangesBytes};
  std::u16string lines_;  // one sample's changes as the text view has them
};
