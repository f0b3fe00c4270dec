// Why a run that gates (-t, -g) ends as it does: one line on standard error
// for each process that made it fail, and for a target that matched nothing
// or a gate the watch did not finish; a CI log shows why as well as the
// exit code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ProcessGrowth;
struct ProcessRecord;
struct ReportOptions;

// The processes that reached -t's count, each once with the greatest GDI
// All seen: at most kMaxReasonLines of them, since a watch of processes that
// come and go keeps its memory flat.
class ThresholdReasons {
 public:
  static constexpr size_t kMaxReasonLines = 32;

  // Notes the processes sample `sample` listed (each at least at the count).
  void Note(const std::vector<const ProcessRecord*>& listed, uint64_t sample);
  // "kestrel: -t 1000: chrome.exe (PID 3872) reached GDI All 1,204 at sample
  // 3" (a watch's; a single run's without the sample), one a process, and
  // "kestrel: -t 1000: more processes reached it" for those not kept.
  std::vector<std::string> Lines(uint32_t threshold, bool watch) const;

 private:
  struct Reach {
    uint32_t pid;
    std::u16string name;
    uint32_t gdiAll;
    uint64_t sample;
  };
  std::vector<Reach> reached_;
  bool more_ = false;
};

// "kestrel: -g 50: mspaint.exe (PID 4242) GDI All 100 -> 160 (+60,
// +6.0/min), still growing +6.0/min", with " (not listed: under -t's
// count)" for one -t kept out of the views: the verdict and figures of a
// process that failed the gate.
std::string GateFailureLine(const ProcessGrowth& process, uint32_t gate);

// "kestrel: no process matched 'nosuchapp'", or "... matched PID 1234".
std::string NothingMatchedLine(const ReportOptions& options);

// "kestrel: -g: the watch was interrupted after sample 3 of 10, before its
// last: the gate did not judge it" (`wanted` 0: a watch without -n, which
// has no last sample).
std::string InterruptedGateLine(uint64_t samples, uint64_t wanted);
