#include "html/snapshot_writer.h"

#include <algorithm>
#include <string>

#include "census/process_record.h"
#include "output/output.h"
#include "sample/process_counts.h"
#include "sample/report_options.h"
#include "sample/system_totals.h"
#include "sample/type_filter.h"

SnapshotReport MakeSnapshotReport(
    const std::vector<const ProcessRecord*>& processes,
    const ReportOptions& options) {
  SnapshotReport report;
  report.showHandles = options.showHandles;
  TypeFilter filter(options.typeFilter);
  report.processes.reserve(processes.size());
  for (const ProcessRecord* record : processes) {
    SnapshotProcess process;
    process.pid = record->pid;
    process.name = record->exeName;
    process.counts = CountsOf(*record);
    if (options.showHandles) {
      for (const HandleRecord& handle : record->handles) {
        uint8_t code = TypeCodeOf(handle.entry);
        if (filter.Lists(code)) {
          process.handles.push_back({handle.handle, ObjectTypeName(code),
                                     handle.entry.kernelAddress});
        }
      }
    }
    report.processes.push_back(std::move(process));
  }
  return report;
}

void WriteHtmlDocument(const SystemTotals& system,
                       const std::vector<const ProcessRecord*>& processes,
                       const ReportOptions& options, Output& out) {
  SnapshotReport report = MakeSnapshotReport(processes, options);
  report.origin.time = OriginTime(system.unixMilliseconds);
  report.origin.host = system.hostName;
  report.origin.filter = FilterText(options);
  AppendSnapshotHtml(out.Bytes(), report);
  out.PieceDone();
}
