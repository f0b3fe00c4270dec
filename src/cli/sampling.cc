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

RunOutcome RunSamples(const RunOptions& options, Report& report, Output& out,
                      bool statusLine, platform::FollowedProgram* program) {
  const bool watch = options.Watch();
  // 0: until interrupted.
  const uint64_t wanted = watch ? options.sampleCount : 1;
  const uint64_t interval = uint64_t{options.WatchInterval()} * 1000;
  const FormatPolicy& policy = PolicyOf(options.format);
  const SampleNeeds needs = watch ? policy.watch : policy.single;
  // The sample being taken and the one before it, whose table the changes
  // are found against; their storage is reused from sample to sample.
  ProcessTable tables[2];
  ProcessTable* previous = &tables[0];
  ProcessTable* current = &tables[1];
  std::vector<const ProcessRecord*> previousListed;
  std::vector<const ProcessRecord*> listed;
  std::vector<const ProcessRecord*> followed;
  SampleChanges changes;
  // The quota where the report shows it, and for -g, which fails for a
  // process that reached it.
  const uint32_t quota = needs.processQuota || (watch && options.growthGate)
                             ? ReadProcessQuota()
                             : 0;
  GrowthTracker growth(quota);
  const std::u16string hostName = platform::HostName();
  StackTracker stacks;
  platform::FollowState followState;
  size_t childrenNamed = 0;
  bool programEnded = false;
  growth.SetGate(options.growthGate);
  if (needs.charts)
    growth.KeepCharts();
  // Whether the target matched a process in some sample, listed or not.
  bool anyMatched = false;
  ThresholdReasons thresholdReasons;
  RunEnd end;
  end.growth = watch ? &growth : nullptr;
  end.hostName = hostName;
  const uint32_t processQuota = needs.processQuota ? quota : 0;
  StatusLine status(watch && statusLine);
  std::string failure;
  bool overThreshold = false;
  // A document per sample: a replace that fails is tried at the next one.
  const bool retryReplace = watch && policy.documentPerSample;
  bool replaceFailing = false;
  if (retryReplace)
    out.RetryEachDocument();

  if (watch)
    platform::CatchInterrupts();
  const uint64_t start = watch ? platform::MonotonicMilliseconds() : 0;
  // When the sample to take is due.
  uint64_t due = start;
  while (wanted == 0 || end.samples < wanted) {
    if (end.samples > 0 && !platform::WaitUntil(due)) {
      end.interrupted = true;
      break;
    }
    // Times count from the first sample.
    uint64_t now = end.samples == 0 ? start : platform::MonotonicMilliseconds();
    uint64_t milliseconds = now - start;
    due = NextSampleDue(due, now, interval);
    uint64_t takenAt = 0;  // the sample's wall-clock time
    // A watch that runs out of memory ends as one whose sample failed, with
    // what it had shown; a single run leaves it to the caller.
    try {
      current->Clear();
      // What the program holds, read before the census that counts it.
      if (program && !platform::ReadFollowState(*program, &followState)) {
        programEnded = true;
        break;
      }
      SystemTotals system;
      system.processQuota = processQuota;
      system.hostName = hostName;
      if (const char* error = TakeSample(needs, *current, &system)) {
        end.failure = Failure::SystemState;
        failure = error;
        break;
      }
      takenAt = system.unixMilliseconds;
      listed = ListedProcesses(*current, options);
      int64_t unlisted = UnlistedHandles(listed, options);
      if (unlisted > 0) {
        end.failure = Failure::HandlesLost;
        failure = UnlistedHandlesMessage(unlisted);
        if (watch || !policy.showsIncompleteSingleRun)
          break;
      }

      // The processes the target matches, whatever -t's count: a watch
      // follows their growth from their first sample.
      if (options.threshold != 0)
        followed = FollowedProcesses(*current, options);
      anyMatched =
          anyMatched || !(options.threshold != 0 ? followed : listed).empty();

      ListedSample sample;
      sample.number = end.samples + 1;
      sample.milliseconds = milliseconds;
      sample.system = &system;
      sample.listed = &listed;
      if (options.threshold != 0)
        sample.matched = &followed;
      if (watch) {
        // Growth starts where a process's life in the watch does, whatever
        // -t lists.
        if (options.threshold == 0)
          growth.Note(*current, listed, milliseconds);
        else
          growth.Note(*current, followed, listed, milliseconds);
        growth.NoteTable(system.tableSlots, system.tableEntriesUsed,
                         milliseconds);
        if (program) {
          // A process holding objects is never counted 0: the system gave
          // no count (Wine's GetGuiResources).
          const ProcessRecord* record = current->Lookup(followState.pid);
          int64_t systemCount = record && record->guiObjectCount > 0
                                    ? record->guiObjectCount
                                    : -1;
          stacks.Note(followState, milliseconds, systemCount);
        }
        sample.growth = &growth;
        if (end.samples > 0 && needs.changes) {
          FindChanges({previous, &previousListed}, {current, &listed}, options,
                      &changes);
          sample.changes = &changes;
        }
      }
      // A watch's sample leaves whole or not at all, and so does a document
      // the output holds until it is whole.
      const bool held = watch || policy.heldWhole;
      if (held)
        out.Hold();
      report.Sample(sample);
      if (held)
        out.Release();
      if (policy.documentPerSample)
        out.EndDocument();
      if (retryReplace)
        NoteReplacement(out, status, &replaceFailing);
    } catch (const std::bad_alloc&) {
      if (!watch)
        throw;
      out.DropHeld();
      current->Clear();
      end.failure = Failure::OutOfMemory;
      failure = "kestrel: out of memory";
      break;
    }
    if (end.failure != Failure::None)
      break;
    ++end.samples;
    end.lastMilliseconds = milliseconds;
    if (end.samples == 1)
      end.firstUnixMilliseconds = takenAt;
    end.lastUnixMilliseconds = takenAt;
    if (options.threshold != 0 && !listed.empty()) {
      overThreshold = true;
      thresholdReasons.Note(listed, end.samples);
    }
    std::swap(previous, current);
    previousListed.swap(listed);
    if (out.Failed())
      break;
    if (program) {
      for (; childrenNamed < followState.children.size(); ++childrenNamed) {
        const auto& child = followState.children[childrenNamed];
        status.Clear();
        platform::WriteStderrLine(ChildNotFollowedMessage(
            followState.name, child.first, child.second));
      }
      if (followState.exited)
        break;
    }
    if (watch && platform::InterruptRequested()) {
      // An interrupt during the last sample asked for stops nothing early.
      end.interrupted = wanted == 0 || end.samples < wanted;
      break;
    }
    if (watch && (wanted == 0 || end.samples < wanted)) {
      uint64_t shownAt = platform::MonotonicMilliseconds();
      status.Show(end.samples, wanted, due > shownAt ? due - shownAt : 0,
                  growth);
    }
  }

  status.Clear();
  // The program runs on, its calls passing straight through.
  if (program)
    platform::StopFollowing(*program);
  if (programEnded)
    platform::WriteStderrLine(
        "kestrel: -x: the program can no longer be read; following ended");
  try {
    growth.Judge();
    if (program) {
      stacks.Judge();
      end.stacks = &stacks;
    }
    if (policy.heldWhole)
      out.Hold();
    report.End(end);
    if (policy.heldWhole)
      out.Release();
    // A session that ends takes its processes with it: the file that a
    // collector serves keeps none of their series, rather than serve them
    // for ever.
    if (watch && policy.documentPerSample && end.interrupted &&
        platform::SessionEnding())
      out.EmptyFile();
  } catch (const std::bad_alloc&) {
    // A watch's samples, each whole, are kept with what its report wrote:
    // its lines so far, or a page held whole that it cut back to its last
    // whole part and closed.
    if (!watch)
      throw;
    if (policy.heldWhole)
      out.Release();
    if (end.failure == Failure::None) {
      end.failure = Failure::OutOfMemory;
      failure = "kestrel: out of memory";
    }
  }
  RunOutcome outcome;
  outcome.failure = end.failure;
  // What the report wrote beside its output, said before the run's end.
  const Report::EndNote note = report.Note();
  if (!note.line.empty()) {
    out.Flush();
    platform::WriteStderrLine(
        note.line, note.writeFailed ? platform::MessageKind::WriteFailed
                                    : platform::MessageKind::Failure);
    outcome.outputFailed = note.writeFailed;
  }
  if (end.failure != Failure::None) {
    out.Flush();
    platform::WriteStderrLine(failure,
                              end.failure == Failure::SystemState
                                  ? platform::MessageKind::SystemState
                                  : platform::MessageKind::OutOfMemory);
    return outcome;
  }
  outcome.outputFailed = outcome.outputFailed || out.LastDocumentFailed();
  std::string stackGate;
  if (program && StackGateReached(stacks, options.growthGate,
                                  ReadProcessQuota(), &stackGate))
    outcome.grewPastGate = true;
  else
    stackGate.clear();
  outcome.overThreshold = overThreshold;
  out.Flush();
  std::vector<std::string> reasons = JudgeGates(
      options, growth, end, wanted, anyMatched, thresholdReasons, &outcome);
  if (!stackGate.empty())
    reasons.insert(reasons.begin(), stackGate);
  // A run whose output failed ends on that alone: exit code 5.
  if (!out.Failed()) {
    for (const std::string& line : reasons)
      platform::WriteStderrLine(line);
  }
  return outcome;
}
