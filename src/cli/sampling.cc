#include "cli/sampling.h"

#include <utility>
#include <vector>

#include "census/census.h"
#include "census/process_quota.h"
#include "census/process_table.h"
#include "cli/exit_codes.h"
#include "cli/run_options.h"
#include "cli/status_line.h"
#include "gditable/shared_table.h"
#include "platform/platform.h"
#include "report/changes.h"
#include "report/growth.h"
#include "report/listing.h"
#include "report/output.h"
#include "report/report.h"

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
  system->tableSlots = location.entryCount;
  system->tableEntriesUsed =
      ScanSharedHandleTable(location.table, location.entryCount, table);
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

// Whether -g's count was reached: a process's GDI All grew by it from its
// first sample to its last.
bool GrewPastGate(const GrowthTracker& growth, uint32_t gate) {
  if (gate == 0)
    return false;
  for (const ProcessGrowth* process : growth.Grown()) {
    if (GdiAllGrowth(*process) >= gate)
      return true;
  }
  return false;
}

}  // namespace

int RunSamples(const RunOptions& options, Report& report, Output& out,
               bool statusLine) {
  const bool watch = options.Watch();
  // 0: until interrupted.
  const uint64_t wanted = watch ? options.sampleCount : 1;
  const uint64_t interval = uint64_t{options.WatchInterval()} * 1000;
  const SampleNeeds needs = report.Needs();
  // The sample being taken and the one before it, whose table the changes
  // are found against; their storage is reused from sample to sample.
  ProcessTable tables[2];
  ProcessTable* previous = &tables[0];
  ProcessTable* current = &tables[1];
  std::vector<const ProcessRecord*> previousListed;
  std::vector<const ProcessRecord*> listed;
  SampleChanges changes;
  GrowthTracker growth;
  RunEnd end;
  end.growth = watch ? &growth : nullptr;
  end.processQuota = needs.processQuota ? ReadProcessQuota() : 0;
  StatusLine status(watch && statusLine);
  std::string failure;
  bool overThreshold = false;

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
    current->Clear();
    SystemTotals system;
    system.processQuota = end.processQuota;
    if (const char* error = TakeSample(needs, *current, &system)) {
      end.failure = Failure::SystemState;
      failure = error;
      break;
    }
    listed = ListedProcesses(*current, options);
    int64_t unlisted = UnlistedHandles(listed, options);
    if (unlisted > 0) {
      end.failure = Failure::OutOfMemory;
      failure = UnlistedHandlesMessage(unlisted);
      if (!report.ShowsIncompleteSample())
        break;
    }

    Snapshot snapshot;
    snapshot.number = end.samples + 1;
    snapshot.milliseconds = milliseconds;
    snapshot.system = &system;
    snapshot.listed = &listed;
    if (watch) {
      growth.Note(*current, listed, milliseconds);
      growth.NoteTable(system.tableSlots, system.tableEntriesUsed,
                       milliseconds);
      snapshot.growth = &growth;
      if (end.samples > 0) {
        FindChanges({previous, &previousListed}, {current, &listed}, options,
                    &changes);
        snapshot.changes = &changes;
      }
      // A sample's output leaves whole or not at all.
      out.Hold();
    }
    report.Sample(snapshot);
    if (watch)
      out.Release();
    if (report.DocumentPerSample())
      out.EndDocument();
    if (end.failure != Failure::None)
      break;
    ++end.samples;
    end.lastMilliseconds = milliseconds;
    if (options.threshold != 0 && !listed.empty())
      overThreshold = true;
    std::swap(previous, current);
    previousListed.swap(listed);
    if (out.Failed())
      break;
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
  report.End(end);
  if (end.failure != Failure::None) {
    out.Flush();
    platform::WriteStderrLine(failure);
    return end.failure == Failure::SystemState ? kExitSystemState
                                               : kExitOutOfMemory;
  }
  if (watch && GrewPastGate(growth, options.growthGate))
    return kExitGrowthGate;
  return overThreshold ? kExitOverThreshold : kExitSuccess;
}
