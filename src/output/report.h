// A report: what a run shows of the samples it takes, in one output format.
//
// A single run is a report of one sample. A watch hands its report every
// sample with what changed since the one before, then how the watch ended.
// The format is chosen once, where the report is made (make_report.h); a
// new format is one new Report and one row of the format table
// (format_policy.h).
#pragma once

#include <string>

#include "sample/report_options.h"
#include "watch/sample_model.h"

class Output;

class Report {
 public:
  virtual ~Report() = default;
  virtual void Sample(const ListedSample& sample) = 0;
  // After the last sample, also when none could be taken.
  virtual void End(const RunEnd& end) = 0;

  // After End, a line for standard error about what the report wrote
  // beside its output (-o csv's growth file): why that file could not be
  // written (`writeFailed`: the run exits 5), or where to find what it
  // could not write; empty for none.
  struct EndNote {
    std::string line;
    bool writeFailed = false;
  };
  virtual EndNote Note() const { return {}; }
};
