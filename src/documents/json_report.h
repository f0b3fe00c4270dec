// The JSON document as a report: a single run's one object, or a watch's
// object per sample on a line of its own (JSON Lines), each leading with
// the sample's number and time, then the growth report's (json_growth.h).
#pragma once

#include "output/report.h"

class JsonReport : public Report {
 public:
  JsonReport(const ReportOptions& options, Output& out)
      : options_(options), out_(out) {}

  void Sample(const ListedSample& sample) override;
  void End(const RunEnd& end) override;

 private:
  const ReportOptions& options_;
  Output& out_;
  uint32_t processQuota_ = 0;  // as the samples carried it
};
