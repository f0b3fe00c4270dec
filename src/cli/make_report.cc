#include "cli/make_report.h"

#include "documents/csv_report.h"
#include "documents/json_report.h"
#include "documents/junit_report.h"
#include "documents/prometheus_report.h"
#include "documents/trace_documents.h"
#include "html/html_report.h"
#include "live/live_report.h"
#include "output/format_policy.h"
#include "output/output.h"
#include "text/text_report.h"

std::unique_ptr<Report> MakeReport(const ReportOptions& options,
                                   const WatchPlan* watch, Output& out,
                                   bool follow,
                                   platform::LiveTerminal* liveTerminal) {
  if (PolicyOf(options.format).keepsLineEnds)
    out.KeepLineEnds();
  if (follow && (options.format == OutputFormat::Json ||
                 options.format == OutputFormat::Csv))
    return std::make_unique<TraceDocumentReport>(
        options.format == OutputFormat::Json, out);
  switch (options.format) {
    case OutputFormat::Csv:
      return std::make_unique<CsvReport>(options, watch, out);
    case OutputFormat::Json:
      return std::make_unique<JsonReport>(options, out);
    case OutputFormat::Html:
      return std::make_unique<HtmlReport>(options, watch, out);
    case OutputFormat::Prometheus:
      return std::make_unique<PrometheusReport>(out);
    case OutputFormat::Junit:
      return std::make_unique<JunitReport>(options, watch, out);
    case OutputFormat::Live:
      // The run opened the console for it, with a watch.
      if (watch && liveTerminal)
        return std::make_unique<LiveReport>(options, *watch, *liveTerminal,
                                            out);
      break;
    case OutputFormat::Text:
      break;
  }
  return std::make_unique<TextReport>(options, out);
}
