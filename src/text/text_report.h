// The text views as a report: a single run prints the view the options ask
// for; a watch prints each sample under its heading, the first in full and
// the others as what changed, and the growth report at the end.
#pragma once

#include <string>

#include "output/report.h"

class TextReport : public Report {
 public:
  TextReport(const ReportOptions& options, bool watch, Output& out)
      : options_(options), watch_(watch), out_(out) {}

  // A watch's growth report measures each process against its quota.
  SampleNeeds Needs() const override { return {false, false, watch_}; }
  bool ShowsIncompleteSample() const override { return !watch_; }
  void Sample(const Snapshot& snapshot) override;
  void End(const RunEnd& end) override;

 private:
  void PrintChanges(const SampleChanges& changes);

  const ReportOptions& options_;
  const bool watch_;
  Output& out_;
  // Before a sample and the growth report, an empty line, unless what came
  // before ends with one: the banner and the detail blocks do.
  bool afterEmptyLine_ = true;
  std::u16string text_;  // reused for each line
};
