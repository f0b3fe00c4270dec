#include "text/text_view.h"

#include "sample/report_options.h"
#include "text/details.h"
#include "text/summary.h"

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
