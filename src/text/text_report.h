// The text views as a report: a single run prints the view the options ask
// for; a watch prints each sample under its heading, the first in full and
// the others as what changed, and the growth report at the end.
#pragma once

#include <cstdint>
#include <string>

#include "output/report.h"

class TextReport : public Report {
 public:
  TextReport(const ReportOptions& options, Output& out)
      : options_(options), out_(out) {}

  void Sample(const ListedSample& sample) override;
  void End(const RunEnd& end) override;

 private:
  void PrintChanges(const SampleChanges& changes);

  const ReportOptions& options_;
  Output& out_;
  // Before a sample and the growth report, an empty line, unless what came
  // before ends with one: the banner and the detail blocks do.
  bool afterEmptyLine_ = true;
  std::u16string text_;  // reused for each line
  // The process quota as the samples gave it, for the growth report.
  uint32_t processQuota_ = 0;
};
