#include "cli/sampling.h"

#include <new>
#include <utility>
#include <vector>

#include "census/census.h"
#include "census/process_quota.h"
#include "census/process_table.h"
#include "cli/gate_reasons.h"
#include "cli/run_options.h"
#include "cli/following.h"
#include "cli/status_line.h"
#include "gditable/shared_table.h"
#include "gditable/table_location.h"
#include "output/format_policy.h"
#include "output/output.h"
#include "output/report.h"
#include "platform/program_io.h"
#include "platform/wall_clock.h"
#include "sample/listing.h"
#include "watch/changes.h"
#include "watch/growth.h"
#include "watch/stack_growth.h"

const char* TakeSample(const SampleNeeds& needs, ProcessTable& table,
                       SystemTotals* system) {
  if (!CollectProcesses(table, needs.allCounts))
    return "kestrel: cannot take a snapshot of the running processes";
  SharedTableLocation location;
  if (!LocateSharedHandleTable(&location))
    return "kestrel: cannot locate the GDI shared handle table";
  if (needs.sessionCounts)
    system->session = CollectSessionCounts();
  uint32_t sessionId = 0;
  if (platform::ProcessIdToSessionId(platform::GetCurrentProcessId(),
                                     &sessionId))
    system->sessionId = sessionId;
  system->unixMilliseconds = platform::UnixTimeMilliseconds();
  system->localOffsetMinutes =
      platform::LocalOffsetMinutes(system->unixMilliseconds);
  system->tableSlots = location.slots;
  system->tableEntriesUsed =
      ScanSharedHandleTable(location.table, location.slots, table);
  return nullptr;
}

uint64_t NextSampleDue(uint64_t due, uint64_t now, uint64_t interval) {
  if (now > due && now - due > interval)
    return now + interval;
  return due + interval;
}

std::string UnlistedHandlesMessage(int64_t unlisted) {
  return "kestrel: out of memory: " + std::to_string(unlisted) +
         (unlisted == 1 ? " handle" : " handles") + " could not be listed";
}

namespace {

// Sets the outcome's gates: -g's failures (every process the target
// matched, listed or not), a -g watch interrupted before its last sample, a
// target that matched no process; and returns the lines that say why, with
// the processes that reached -t's count.
std::vector<std::string> JudgeGates(const RunOptions& options,
                                    const GrowthTracker& growth,
                                    const RunEnd& end, uint64_t wanted,
                                    bool anyMatched,
                                    const ThresholdReasons& threshold,
                                    RunOutcome* outcome) {
  std::vector<std::string> lines;
  if (options.growthGate != 0) {
    const auto& failed = growth.FailedGate();
    outcome->grewPastGate = outcome->grewPastGate || !failed.empty();
    for (size_t i = 0; i < failed.size(); ++i) {
      if (i == ThresholdReasons::kMaxReasonLines) {
        lines.push_back("kestrel: -g " + std::to_string(options.growthGate) +
                        ": and " + std::to_string(failed.size() - i) +
                        " more processes");
        break;
      }
      lines.push_back(GateFailureLine(*failed[i], options.growthGate));
    }
    if (!outcome->grewPastGate && end.interrupted) {
      outcome->gateInterrupted = true;
      lines.push_back(InterruptedGateLine(end.samples, wanted));
    }
  }
  const bool gates = options.growthGate != 0 || options.threshold != 0;
  if (gates && options.targetMode != TargetMode::None && !anyMatched &&
      end.samples > 0) {
    outcome->nothingMatched = true;
    lines.push_back(NothingMatchedLine(options));
  }
  // -t's reasons when its code is the run's.
  if (outcome->overThreshold && !outcome->grewPastGate) {
    for (std::string& line :
         threshold.Lines(options.threshold, options.Watch()))
      lines.push_back(std::move(line));
  }
  return lines;
}

// Says on standard error when -O's file first cannot take a sample's
// document, and when it takes one again, rather than at every sample.
void NoteReplacement(const Output& out, StatusLine& status, bool* failing) {
  if (out.LastDocumentFailed() == *failing)
    return;
  *failing = out.LastDocumentFailed();
  status.Clear();
  if (*failing)
    platform::WriteStderrLine(out.FailureMessage(),
                              platform::MessageKind::WriteFailing);
  else
    platform::WriteStderrLine(out.RecoveryMessage(),
                              platform::MessageKind::WrittenAgain);
}

}  // namespace

namespace {

// One run's samples, from the first to the report's end: what it keeps from
// one sample to the next, and how it ends.
class SampleRun {
 public:
  SampleRun(const RunOptions& options, Report& report, Output& out,
            bool statusLine, platform::FollowedProgram* program);

  // Takes the samples asked for, until the last, an interrupt, or a
  // failure.
  void TakeAll();
  // Judges the watch and ends the report.
  void End();
  // The run's outcome, with its reasons on standard error.
  RunOutcome Outcome();

 private:
  // Takes the sample `milliseconds` after the first and hands it to the
  // report; false when the run ends on it.
  bool TakeOne(uint64_t milliseconds);
  // What a sample's taking must not allocate out of: the census, the
  // listing, the watch's growth and the report.
  // Sets `takenAt` to the sample's wall-clock time.
  bool TakeOneOrFail(uint64_t milliseconds, uint64_t* takenAt);
  // After a sample: false when the run ends there; else the status line
  // says when the sample `due` comes.
  bool GoesOn(uint64_t due);

  const RunOptions& options_;
  Report& report_;
  Output& out_;
  platform::FollowedProgram* program_;
  const bool watch_;
  const uint64_t wanted_;  // 0: until interrupted
  const FormatPolicy& policy_;
  const SampleNeeds needs_;
  // The sample being taken and the one before it, whose table the changes
  // are found against; their storage is reused from sample to sample.
  ProcessTable tables_[2];
  ProcessTable* previous_ = &tables_[0];
  ProcessTable* current_ = &tables_[1];
  std::vector<const ProcessRecord*> previousListed_;
  std::vector<const ProcessRecord*> listed_;
  std::vector<const ProcessRecord*> followed_;
  SampleChanges changes_;
  // The quota where the report shows it, and for -g, which fails for a
  // process that reached it; the report's is 0 where it shows none.
  const uint32_t quota_;
  const uint32_t reportQuota_;
  GrowthTracker growth_;
  const std::u16string hostName_;
  StackTracker stacks_;
  platform::FollowState followState_;
  size_t childrenNamed_ = 0;
  bool programEnded_ = false;
  // Whether the target matched a process in some sample, listed or not.
  bool anyMatched_ = false;
  bool overThreshold_ = false;
  ThresholdReasons thresholdReasons_;
  RunEnd end_;
  StatusLine status_;
  std::string failure_;
  // A document per sample: a replace that fails is tried at the next one.
  const bool retryReplace_;
  bool replaceFailing_ = false;
};

SampleRun::SampleRun(const RunOptions& options, Report& report, Output& out,
                     bool statusLine, platform::FollowedProgram* program)
    : options_(options),
      report_(report),
      out_(out),
      program_(program),
      watch_(options.Watch()),
      wanted_(watch_ ? options.sampleCount : 1),
      policy_(PolicyOf(options.format)),
      needs_(watch_ ? policy_.watch : policy_.single),
      quota_(needs_.processQuota || (watch_ && options.growthGate)
                 ? ReadProcessQuota()
                 : 0),
      reportQuota_(needs_.processQuota ? quota_ : 0),
      growth_(quota_),
      hostName_(platform::HostName()),
      status_(watch_ && statusLine),
      retryReplace_(watch_ && policy_.documentPerSample) {
  growth_.SetGate(options.growthGate);
  if (needs_.charts)
    growth_.KeepCharts();
  end_.growth = watch_ ? &growth_ : nullptr;
  end_.hostName = hostName_;
  if (retryReplace_)
    out_.RetryEachDocument();
}

void SampleRun::TakeAll() {
  if (watch_)
    platform::CatchInterrupts();
  const uint64_t interval = uint64_t{options_.WatchInterval()} * 1000;
  const uint64_t start = watch_ ? platform::MonotonicMilliseconds() : 0;
  // When the sample to take is due.
  uint64_t due = start;
  while (wanted_ == 0 || end_.samples < wanted_) {
    if (end_.samples > 0 && !platform::WaitUntil(due)) {
      end_.interrupted = true;
      return;
    }
    // Times count from the first sample.
    const uint64_t now =
        end_.samples == 0 ? start : platform::MonotonicMilliseconds();
    due = NextSampleDue(due, now, interval);
    if (!TakeOne(now - start) || !GoesOn(due))
      return;
  }
}

bool SampleRun::TakeOne(uint64_t milliseconds) {
  uint64_t takenAt = 0;  // the sample's wall-clock time
  // A watch that runs out of memory ends as one whose sample failed, with
  // what it had shown; a single run leaves it to the caller.
  try {
    if (!TakeOneOrFail(milliseconds, &takenAt))
      return false;
  } catch (const std::bad_alloc&) {
    if (!watch_)
      throw;
    out_.DropHeld();
    current_->Clear();
    end_.failure = Failure::OutOfMemory;
    failure_ = "kestrel: out of memory";
    return false;
  }
  if (end_.failure != Failure::None)
    return false;
  ++end_.samples;
  end_.lastMilliseconds = milliseconds;
  if (end_.samples == 1)
    end_.firstUnixMilliseconds = takenAt;
  end_.lastUnixMilliseconds = takenAt;
  if (options_.threshold != 0 && !listed_.empty()) {
    overThreshold_ = true;
    thresholdReasons_.Note(listed_, end_.samples);
  }
  std::swap(previous_, current_);
  previousListed_.swap(listed_);
  return true;
}

bool SampleRun::TakeOneOrFail(uint64_t milliseconds, uint64_t* takenAt) {
  current_->Clear();
  // What the program holds, read before the census that counts it.
  if (program_ && !platform::ReadFollowState(*program_, &followState_)) {
    programEnded_ = true;
    return false;
  }
  SystemTotals system;
  system.processQuota = reportQuota_;
  system.hostName = hostName_;
  if (const char* error = TakeSample(needs_, *current_, &system)) {
    end_.failure = Failure::SystemState;
    failure_ = error;
    return false;
  }
  *takenAt = system.unixMilliseconds;
  listed_ = ListedProcesses(*current_, options_);
  const int64_t unlisted = UnlistedHandles(listed_, options_);
  if (unlisted > 0) {
    end_.failure = Failure::HandlesLost;
    failure_ = UnlistedHandlesMessage(unlisted);
    if (watch_ || !policy_.showsIncompleteSingleRun)
      return false;
  }

  // The processes the target matches, whatever -t's count: a watch follows
  // their growth from their first sample.
  if (options_.threshold != 0)
    followed_ = FollowedProcesses(*current_, options_);
  anyMatched_ =
      anyMatched_ || !(options_.threshold != 0 ? followed_ : listed_).empty();

  ListedSample sample;
  sample.number = end_.samples + 1;
  sample.milliseconds = milliseconds;
  sample.system = &system;
  sample.listed = &listed_;
  if (options_.threshold != 0)
    sample.matched = &followed_;
  if (watch_) {
    // Growth starts where a process's life in the watch does, whatever -t
    // lists.
    if (options_.threshold == 0)
      growth_.Note(*current_, listed_, milliseconds);
    else
      growth_.Note(*current_, followed_, listed_, milliseconds);
    growth_.NoteTable(system.tableSlots, system.tableEntriesUsed, milliseconds);
    if (program_) {
      // A process holding objects is never counted 0: the system gave no
      // count (Wine's GetGuiResources).
      const ProcessRecord* record = current_->Lookup(followState_.pid);
      int64_t systemCount =
          record && record->guiObjectCount > 0 ? record->guiObjectCount : -1;
      stacks_.Note(followState_, milliseconds, systemCount);
    }
    sample.growth = &growth_;
    if (end_.samples > 0 && needs_.changes) {
      FindChanges({previous_, &previousListed_}, {current_, &listed_}, options_,
                  &changes_);
      sample.changes = &changes_;
    }
  }
  // A watch's sample leaves whole or not at all, and so does a document the
  // output holds until it is whole.
  const bool held = watch_ || policy_.heldWhole;
  if (held)
    out_.Hold();
  report_.Sample(sample);
  if (held)
    out_.Release();
  if (policy_.documentPerSample)
    out_.EndDocument();
  if (retryReplace_)
    NoteReplacement(out_, status_, &replaceFailing_);
  return true;
}

bool SampleRun::GoesOn(uint64_t due) {
  if (out_.Failed())
    return false;
  if (program_) {
    for (; childrenNamed_ < followState_.children.size(); ++childrenNamed_) {
      const auto& child = followState_.children[childrenNamed_];
      status_.Clear();
      platform::WriteStderrLine(ChildNotFollowedMessage(
          followState_.name, child.first, child.second));
    }
    if (followState_.exited)
      return false;
  }
  if (watch_ && platform::InterruptRequested()) {
    // An interrupt during the last sample asked for stops nothing early.
    end_.interrupted = wanted_ == 0 || end_.samples < wanted_;
    return false;
  }
  if (watch_ && (wanted_ == 0 || end_.samples < wanted_)) {
    const uint64_t shownAt = platform::MonotonicMilliseconds();
    status_.Show(end_.samples, wanted_, due > shownAt ? due - shownAt : 0,
                 growth_);
  }
  return true;
}

void SampleRun::End() {
  status_.Clear();
  // The program runs on, its calls passing straight through.
  if (program_)
    platform::StopFollowing(*program_);
  if (programEnded_)
    platform::WriteStderrLine(
        "kestrel: -x: the program can no longer be read; following ended");
  try {
    growth_.Judge();
    if (program_) {
      stacks_.Judge();
      end_.stacks = &stacks_;
    }
    if (policy_.heldWhole)
      out_.Hold();
    report_.End(end_);
    if (policy_.heldWhole)
      out_.Release();
    // A session that ends takes its processes with it: the file that a
    // collector serves keeps none of their series, rather than serve them
    // for ever.
    if (watch_ && policy_.documentPerSample && end_.interrupted &&
        platform::SessionEnding())
      out_.EmptyFile();
  } catch (const std::bad_alloc&) {
    // A watch's samples, each whole, are kept with what its report wrote:
    // its lines so far, or a page held whole that it cut back to its last
    // whole part and closed.
    if (!watch_)
      throw;
    if (policy_.heldWhole)
      out_.Release();
    if (end_.failure == Failure::None) {
      end_.failure = Failure::OutOfMemory;
      failure_ = "kestrel: out of memory";
    }
  }
}

RunOutcome SampleRun::Outcome() {
  RunOutcome outcome;
  outcome.failure = end_.failure;
  // What the report wrote beside its output, said before the run's end.
  const Report::EndNote note = report_.Note();
  if (!note.line.empty()) {
    out_.Flush();
    platform::WriteStderrLine(
        note.line, note.writeFailed ? platform::MessageKind::WriteFailed
                                    : platform::MessageKind::Failure);
    outcome.outputFailed = note.writeFailed;
  }
  if (end_.failure != Failure::None) {
    out_.Flush();
    platform::WriteStderrLine(failure_,
                              end_.failure == Failure::SystemState
                                  ? platform::MessageKind::SystemState
                                  : platform::MessageKind::OutOfMemory);
    return outcome;
  }
  outcome.outputFailed = outcome.outputFailed || out_.LastDocumentFailed();
  std::string stackGate;
  if (program_ && StackGateReached(stacks_, options_.growthGate,
                                   ReadProcessQuota(), &stackGate))
    outcome.grewPastGate = true;
  else
    stackGate.clear();
  outcome.overThreshold = overThreshold_;
  out_.Flush();
  std::vector<std::string> reasons =
      JudgeGates(options_, growth_, end_, wanted_, anyMatched_,
                 thresholdReasons_, &outcome);
  if (!stackGate.empty())
    reasons.insert(reasons.begin(), stackGate);
  // A run whose output failed ends on that alone: exit code 5.
  if (!out_.Failed()) {
    for (const std::string& line : reasons)
      platform::WriteStderrLine(line);
  }
  return outcome;
}

}  // namespace

RunOutcome RunSamples(const RunOptions& options, Report& report, Output& out,
                      bool statusLine, platform::FollowedProgram* program) {
  SampleRun run(options, report, out, statusLine, program);
  run.TakeAll();
  run.End();
  return run.Outcome();
}
