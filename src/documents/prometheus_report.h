// The Prometheus document as a report: each sample's metrics are a whole
// document, which takes the place of the one before in the file a
// collector reads (-O); on standard output the documents follow each other.
#pragma once

#include "output/report.h"

class PrometheusReport : public Report {
 public:
  explicit PrometheusReport(Output& out) : out_(out) {}

  void Sample(const ListedSample& sample) override;
  void End(const RunEnd&) override {}

 private:
  Output& out_;
};
