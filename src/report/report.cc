#include "report/report.h"

#include "report/csv_report.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "report/prometheus_report.h"
#include "report/text_report.h"

std::unique_ptr<Report> MakeReport(const ReportOptions& options,
                                   const WatchPlan* watch, Output& out) {
  bool watching = watch != nullptr;
  switch (options.format) {
    case OutputFormat::Csv:
      return std::make_unique<CsvReport>(options, watching, out);
    case OutputFormat::Json:
      return std::make_unique<JsonReport>(options, watching, out);
    case OutputFormat::Html:
      return std::make_unique<HtmlReport>(options, watch, out);
    case OutputFormat::Prometheus:
      return std::make_unique<PrometheusReport>(out);
    case OutputFormat::Text:
      break;
  }
  return std::make_unique<TextReport>(options, watching, out);
}
