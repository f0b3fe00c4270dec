// The CSV document as a report: one header, then each sample's rows, each
// led by the sample's wall-clock time in UTC and the host's name (a watch's
// by the sample's number and elapsed time before them); a watch's growth
// report goes to a file of its own beside -O's (csv_growth.h).
#pragma once

#include "output/report.h"

class CsvReport : public Report {
 public:
  // `watch` is null for a single run.
  CsvReport(const ReportOptions& options, const WatchPlan* watch, Output& out)
      : options_(options), watch_(watch), out_(out) {}

  void Sample(const ListedSample& sample) override;
  void End(const RunEnd& end) override;
  EndNote Note() const override { return note_; }

 private:
  const ReportOptions& options_;
  const WatchPlan* watch_;
  Output& out_;
  uint32_t processQuota_ = 0;  // as the samples carried it
  EndNote note_;
};
