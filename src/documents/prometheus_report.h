// The Prometheus document as a report: each sample's metrics are a whole
// document, which takes the place of the one before in the file a
// collector reads (-O); on standard output the documents follow each other.
#pragma once

#include "output/report.h"

class PrometheusReport : public Report {
 public:
  // The format's readers take LF alone, on every platform.
  explicit PrometheusReport(Output& out);

  SampleNeeds Needs() const override { return {true, true, true}; }
  bool DocumentPerSample() const override { return true; }
  void Sample(const Snapshot& snapshot) override;
  void End(const RunEnd&) override {}

 private:
  Output& out_;
};
