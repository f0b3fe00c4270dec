#include "cli/gate_reasons.h"

#include <string_view>

#include "census/process_record.h"
#include "platform/terminal_text.h"
#include "sample/process_counts.h"
#include "sample/report_options.h"
#include "presentation/format.h"
#include "presentation/growth_report.h"
#include "watch/growth.h"

namespace {

// "chrome.exe (PID 3872)".
std::string ProcessText(std::u16string_view name, uint32_t pid) {
  return ErrorLineText(name) + " (PID " + std::to_string(pid) + ")";
}

std::string Narrow(const std::u16string& ascii) {
  return std::string(ascii.begin(), ascii.end());
}

}  // namespace

void ThresholdReasons::Note(const std::vector<const ProcessRecord*>& listed,
                            uint64_t sample) {
  for (const ProcessRecord* record : listed) {
    const uint32_t gdiAll = CountsOf(*record).gdiAll;
    std::u16string_view name = record->exeName;
    bool known = false;
    for (Reach& reach : reached_) {
      if (reach.pid != record->pid || reach.name != name)
        continue;
      known = true;
      if (gdiAll > reach.gdiAll) {
        reach.gdiAll = gdiAll;
        reach.sample = sample;
      }
      break;
    }
    if (known)
      continue;
    if (reached_.size() < kMaxReasonLines)
      reached_.push_back({record->pid, std::u16string(name), gdiAll, sample});
    else
      more_ = true;
  }
}

std::vector<std::string> ThresholdReasons::Lines(uint32_t threshold,
                                                 bool watch) const {
  const std::string lead = "kestrel: -t " + std::to_string(threshold) + ": ";
  std::vector<std::string> lines;
  for (const Reach& reach : reached_) {
    std::string line = lead + ProcessText(reach.name, reach.pid) +
                       " reached GDI All " + FormatCount(reach.gdiAll);
    if (watch)
      line += " at sample " + std::to_string(reach.sample);
    lines.push_back(line);
  }
  if (more_)
    lines.push_back(lead + "more processes reached it");
  return lines;
}

std::string GateFailureLine(const ProcessGrowth& process, uint32_t gate) {
  std::string line =
      "kestrel: -g " + std::to_string(gate) + ": " +
      ProcessText(process.name.view(), process.pid) + " GDI All " +
      Narrow(GrowthText(process.firstGdiAll, process.lastGdiAll,
                        process.lastMilliseconds - process.firstMilliseconds)) +
      ", " + TrendText(process.trend);
  // A process held at its quota fails the gate for that alone: say so.
  if (process.quota.state == LimitState::Reached)
    line += ", " + QuotaTimeLeft(process);
  if (!process.listed)
    line += " (not listed: under -t's count)";
  return line;
}

std::string NothingMatchedLine(const ReportOptions& options) {
  if (options.targetMode == TargetMode::ByPid)
    return "kestrel: no process matched PID " +
           std::to_string(options.targetPid);
  return "kestrel: no process matched '" + ErrorLineText(options.targetName) +
         "'";
}

std::string InterruptedGateLine(uint64_t samples, uint64_t wanted) {
  std::string line = "kestrel: -g: the watch was interrupted after sample " +
                     std::to_string(samples);
  if (wanted != 0)
    line += " of " + std::to_string(wanted) + ", before its last";
  else
    line += "; without -n it has no last sample";
  return line + ": the gate did not judge it";
}
