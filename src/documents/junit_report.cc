#include "documents/junit_report.h"

#include <string_view>

#include "census/process_record.h"
#include "output/output.h"
#include "platform/utf8.h"
#include "presentation/format.h"
#include "presentation/growth_report.h"
#include "presentation/wall_time.h"
#include "sample/process_counts.h"
#include "sample/report_options.h"
#include "watch/growth.h"

namespace {

bool XmlHolds(char32_t c) {
  if (c < 0x20)
    return c == u'\t' || c == u'\n' || c == u'\r';
  return !IsSurrogate(c) && c != 0xFFFE && c != 0xFFFF;
}

void AppendXmlAscii(std::string& out, std::string_view ascii) {
  AppendXmlText(out, std::u16string(ascii.begin(), ascii.end()));
}

std::string Narrow(const std::u16string& ascii) {
  return std::string(ascii.begin(), ascii.end());
}

// "mspaint.exe (PID 4780)": a test case's name.
std::string CaseName(std::u16string_view name, uint32_t pid) {
  std::string text;
  AppendXmlText(text, name);
  return text + " (PID " + std::to_string(pid) + ")";
}

// "-g 50: GDI All 121 -> 181 (+60, +360.0/min), still growing +360.0/min":
// the verdict and figures of a process that failed -g's gate.
std::string GateText(const ProcessGrowth& process, uint32_t gate) {
  std::string text =
      "-g " + std::to_string(gate) + ": GDI All " +
      Narrow(GrowthText(process.firstGdiAll, process.lastGdiAll,
                        process.lastMilliseconds - process.firstMilliseconds)) +
      ", " + TrendText(process.trend);
  if (process.quota.state == LimitState::Reached)
    text += ", " + QuotaTimeLeft(process);
  return text;
}

// "no process matched 'nosuchapp'", "... PID 1234", or with no target
// "no process matched".
std::u16string NothingMatchedText(const ReportOptions& options) {
  std::u16string text = u"no process matched";
  if (options.targetMode == TargetMode::ByPid)
    AppendAscii(text, " PID " + std::to_string(options.targetPid));
  else if (options.targetMode == TargetMode::ByName)
    text += u" '" + options.targetName + u"'";
  return text;
}

const char* FailureText(Failure failure) {
  switch (failure) {
    case Failure::SystemState:
      return "the system state could not be read";
    case Failure::HandlesLost:
      return "its handles could not all be kept in memory";
    case Failure::OutOfMemory:
      return "memory ran out";
    case Failure::None:
      break;
  }
  return "";
}

// One <testcase>: passing when `kind` is null, else holding one <failure>
// or <error> element of that kind with `message`.
void AppendCase(std::string& out, const std::string& name,
                const std::string& seconds, const char* kind,
                const std::string& type, const std::string& message) {
  out += "  <testcase classname=\"kestrel\" name=\"" + name + "\" time=\"" +
         seconds + "\"";
  if (!kind) {
    out += "/>\n";
    return;
  }
  out += ">\n    <";
  out += kind;
  out += " type=\"";
  AppendXmlAscii(out, type);
  out += "\" message=\"";
  AppendXmlAscii(out, message);
  out += "\">";
  AppendXmlAscii(out, message);
  out += "</";
  out += kind;
  out += ">\n  </testcase>\n";
}

}  // namespace

void AppendXmlText(std::string& out, std::u16string_view text) {
  size_t position = 0;
  while (position < text.size()) {
    char32_t c = NextCodePoint(text.data(), text.size(), &position);
    switch (c) {
      case u'&':
        out += "&amp;";
        break;
      case u'<':
        out += "&lt;";
        break;
      case u'>':
        out += "&gt;";
        break;
      case u'"':
        out += "&quot;";
        break;
      case u'\t':
        out += "&#9;";
        break;
      case u'\n':
        out += "&#10;";
        break;
      case u'\r':
        out += "&#13;";
        break;
      default:
        if (XmlHolds(c))
          AppendUtf8(c, out);
        else
          out.push_back('?');
    }
  }
}

JunitReport::Case* JunitReport::Find(uint32_t pid, std::u16string_view name) {
  auto found = casesByPid_.find(pid);
  if (found == casesByPid_.end())
    return nullptr;
  for (size_t index : found->second) {
    if (cases_[index].name == name)
      return &cases_[index];
  }
  return nullptr;
}

void JunitReport::Sample(const ListedSample& sample) {
  const std::vector<const ProcessRecord*>& matched =
      sample.matched ? *sample.matched : *sample.listed;
  for (const ProcessRecord* record : matched) {
    std::u16string_view name = record->exeName;
    Case* known = Find(record->pid, name);
    if (!known) {
      if (cases_.size() == kMaxCases) {
        more_ = true;
        continue;
      }
      casesByPid_[record->pid].push_back(cases_.size());
      cases_.push_back({record->pid, std::u16string(name), sample.milliseconds,
                        sample.milliseconds, 0, 0});
      known = &cases_.back();
    }
    known->lastMilliseconds = sample.milliseconds;
  }
  // -t lists just the processes at its count.
  if (options_.threshold == 0)
    return;
  for (const ProcessRecord* record : *sample.listed) {
    const uint32_t gdiAll = CountsOf(*record).gdiAll;
    Case* known = Find(record->pid, record->exeName);
    if (!known) {
      ++moreReached_;
    } else if (gdiAll > known->reachedGdiAll) {
      known->reachedGdiAll = gdiAll;
      known->reachedSample = sample.number;
    }
  }
}

void JunitReport::End(const RunEnd& end) {
  // A run whose first sample failed has nothing to report, as every
  // document.
  if (end.samples == 0)
    return;
  const uint32_t gate = end.IsWatch() && watch_ ? watch_->growthGate : 0;
  // -g's failures, as the watch judged them, found by PID and name; one
  // past the cases kept gets its own.
  std::vector<const ProcessGrowth*> gateFailures(cases_.size(), nullptr);
  if (gate != 0) {
    for (const ProcessGrowth* process : end.growth->FailedGate()) {
      Case* known = Find(process->pid, process->name.view());
      if (!known) {
        casesByPid_[process->pid].push_back(cases_.size());
        cases_.push_back({process->pid, std::u16string(process->name.view()),
                          process->firstMilliseconds, process->lastMilliseconds,
                          0, 0});
        gateFailures.push_back(nullptr);
        known = &cases_.back();
      }
      gateFailures[static_cast<size_t>(known - cases_.data())] = process;
    }
  }

  std::string cases;
  uint64_t tests = 0;
  uint64_t failures = 0;
  uint64_t errors = 0;
  for (size_t i = 0; i < cases_.size(); ++i) {
    const Case& c = cases_[i];
    std::string message;
    if (gateFailures[i])
      message = GateText(*gateFailures[i], gate);
    if (c.reachedSample != 0) {
      if (!message.empty())
        message += "; ";
      message += "-t " + std::to_string(options_.threshold) +
                 ": reached GDI All " + FormatCount(c.reachedGdiAll);
      if (end.IsWatch())
        message += " at sample " + std::to_string(c.reachedSample);
    }
    ++tests;
    if (!message.empty())
      ++failures;
    AppendCase(cases, CaseName(c.name, c.pid),
               FormatSeconds(c.lastMilliseconds - c.firstMilliseconds),
               message.empty() ? nullptr : "failure",
               gateFailures[i] ? "-g " + std::to_string(gate)
                               : "-t " + std::to_string(options_.threshold),
               message);
  }
  if (more_) {
    ++tests;
    std::string message = "more than " + std::to_string(kMaxCases) +
                          " processes matched; those past them are not listed";
    if (moreReached_ != 0) {
      ++failures;
      message += ": " + std::to_string(moreReached_) + " of their samples " +
                 "reached -t " + std::to_string(options_.threshold);
    }
    AppendCase(cases, "more processes", "0",
               moreReached_ != 0 ? "failure" : nullptr,
               "-t " + std::to_string(options_.threshold), message);
  }
  const std::string elapsed = FormatSeconds(end.lastMilliseconds);
  // A gate that could not judge is an error, never a pass.
  if (cases_.empty() && !more_) {
    ++tests;
    ++errors;
    AppendCase(cases, "target", elapsed, "error", "nothing matched",
               Narrow(NothingMatchedText(options_)));
  }
  if (gate != 0 && end.interrupted && end.growth->FailedGate().empty()) {
    ++tests;
    ++errors;
    std::string message =
        "the watch was interrupted after sample " + std::to_string(end.samples);
    if (watch_->sampleCount != 0)
      message +=
          " of " + std::to_string(watch_->sampleCount) + ", before its last";
    else
      message += "; without -n it has no last sample";
    AppendCase(cases, "watch", elapsed, "error", "interrupted",
               message + ": the gate did not judge it");
  }
  if (end.failure != Failure::None) {
    ++tests;
    ++errors;
    AppendCase(cases, "watch", elapsed, "error", "sample failed",
               "the watch ended at sample " + std::to_string(end.samples + 1) +
                   ": " + FailureText(end.failure));
  }

  std::string suite = "kestrel";
  if (gate != 0)
    suite += " -g " + std::to_string(gate);
  if (options_.threshold != 0)
    suite += " -t " + std::to_string(options_.threshold);
  if (options_.targetMode == TargetMode::ByPid) {
    suite += " " + std::to_string(options_.targetPid);
  } else if (options_.targetMode == TargetMode::ByName) {
    suite += " ";
    AppendXmlText(suite, options_.targetName);
  }
  // When the run started, in UTC: the schema's timestamp takes no zone.
  std::string started =
      FormatUtcTime(end.firstUnixMilliseconds, TimePrecision::Seconds);
  started.pop_back();
  std::string host;
  AppendXmlText(host, end.hostName);
  const std::string counts = "\" tests=\"" + std::to_string(tests) +
                             "\" failures=\"" + std::to_string(failures) +
                             "\" errors=\"" + std::to_string(errors);
  std::string bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  bytes += "<testsuites name=\"kestrel" + counts + "\" time=\"" + elapsed +
           "\">\n<testsuite name=\"" + suite + counts +
           "\" skipped=\"0\" time=\"" + elapsed + "\" timestamp=\"" + started +
           "\" hostname=\"" + host + "\">\n";
  bytes += cases;
  bytes += "</testsuite>\n</testsuites>\n";
  out_.WriteBytes(bytes.data(), bytes.size());
}
