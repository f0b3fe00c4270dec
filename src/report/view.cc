#include "report/view.h"

#include "report/report_options.h"
#include "report/details.h"
#include "report/summary.h"

void PrintView(const std::vector<const ProcessRecord*>& processes,
               const ReportOptions& options, Output& out) {
  bool headerPrinted = false;
  for (const ProcessRecord* record : processes) {
    if (options.showCounts || options.showHandles)
      PrintDetails(*record, options, out);
    else
      PrintSummary(*record, headerPrinted, out);
  }
}
