#include "documents/prometheus_report.h"

#include "documents/prometheus_document.h"

void PrometheusReport::Sample(const ListedSample& sample) {
  WritePrometheusDocument(*sample.system, *sample.listed, out_);
}
