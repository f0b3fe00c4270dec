// The HTML report of a watch (-w with -o html): gathers each sample's counts
// and changes as the watch takes them, and writes one document at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/watch.h"
#include "report/html/watch_report.h"

class Output;

class WatchHtmlCollector : public WatchObserver {
 public:
  // Writes the report to `out` when the watch ends.
  WatchHtmlCollector(int intervalSeconds, Output& out);

  void OnSample(uint64_t sample, uint64_t milliseconds,
                const std::vector<const ProcessRecord*>& listed,
                const std::u16string& changes) override;
  void OnEnd(const std::vector<const ProcessGrowth*>& grown,
             bool interrupted) override;

  const WatchReport& Report() const { return report_; }

 private:
  Output& out_;
  WatchReport report_;
  // The series of the latest process with each PID.
  std::unordered_map<uint32_t, size_t> seriesOfPid_;
  // Change text kept so far; past the page's budget, a sample's changes are
  // only marked, so a long watch stays small in memory too.
  size_t changeUnits_ = 0;
};
