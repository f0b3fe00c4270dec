// The CSV document as a report: one header, then each sample's rows; a
// watch's rows lead with the sample's number and time.
#pragma once

#include "output/report.h"

class CsvReport : public Report {
 public:
  CsvReport(const ReportOptions& options, Output& out)
      : options_(options), out_(out) {}

  void Sample(const ListedSample& sample) override;
  void End(const RunEnd&) override {}

 private:
  const ReportOptions& options_;
  Output& out_;
};
