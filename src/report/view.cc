#include "report/view.h"

#include "cli/run_options.h"
#include "report/details.h"
#include "report/summary.h"

void PrintView(const std::vector<const ProcessRecord*>& processes,
               const RunOptions& options, Output& out) {
  bool headerPrinted = false;
  for (const ProcessRecord* record : processes) {
    if (options.showCounts || options.showHandles)
      PrintDetails(*record, options, out);
    else
      PrintSummary(*record, headerPrinted, out);
  }
}
