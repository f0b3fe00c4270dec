#include "documents/prometheus_report.h"

#include "output/output.h"
#include "documents/prometheus_document.h"

PrometheusReport::PrometheusReport(Output& out) : out_(out) {
  out_.KeepLineEnds();
}

void PrometheusReport::Sample(const Snapshot& snapshot) {
  WritePrometheusDocument(*snapshot.system, *snapshot.listed, out_);
}
