// A later sample of a watch against a single run, both under -v over the
// scan workload: the run scans and prints every handle; the sample scans a
// table in which a tenth of the used entries hold a new object, finds the
// changes against the previous sample and prints them (two lines a changed
// entry), held and written whole. The census, which both do alike, is left
// out.
//
// Each iteration starts from the state the census leaves, so the records are
// reset first, outside the measurement: both time the rest with the thread's
// CPU clock (manual time), as the scan benchmark does.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <vector>

#include "bench/keep_memory.h"
#include "bench/null_stdout.h"
#include "bench/thread_clock.h"
#include "bench/workload.h"
#include "census/process_table.h"
#include "cli/run_options.h"
#include "gditable/shared_table.h"
#include "platform/platform.h"
#include "report/changes.h"
#include "report/growth.h"
#include "report/listing.h"
#include "report/output.h"
#include "report/text_report.h"
#include "report/view.h"

namespace {

// The workload with every tenth used entry reused: a new unique, so a new
// handle value at the same index.
std::vector<GdiTableEntry> ChangedEntries(const ScanWorkload& workload) {
  std::vector<GdiTableEntry> entries = workload.entries;
  int used = 0;
  for (GdiTableEntry& entry : entries) {
    if (entry.typeCode != 0 && used++ % 10 == 0)
      entry.unique = static_cast<uint16_t>(entry.unique + 0x100);
  }
  return entries;
}

uint32_t Scan(const std::vector<GdiTableEntry>& entries, ProcessTable& table) {
  return ScanSharedHandleTable(entries.data(),
                               static_cast<uint32_t>(entries.size()), table);
}

void BM_SingleRun(benchmark::State& state) {
  const ScanWorkload& workload = GetScanWorkload();
  ProcessTable table;
  FillProcessTable(workload, table);
  RunOptions options;
  options.showHandles = true;
  for (auto _ : state) {
    ResetScanState(table);
    double start = ThreadCpuSeconds();
    Scan(workload.entries, table);
    std::vector<const ProcessRecord*> listed = ListedProcesses(table, options);
    Output out;
    PrintView(listed, options, out);
    out.Flush();
    state.SetIterationTime(ThreadCpuSeconds() - start);
    if (out.Failed()) {
      state.SkipWithError("writing to /dev/null failed");
      break;
    }
  }
}
BENCHMARK(BM_SingleRun)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_WatchSample(benchmark::State& state) {
  const ScanWorkload& workload = GetScanWorkload();
  const std::vector<GdiTableEntry> changed = ChangedEntries(workload);
  RunOptions options;
  options.showHandles = true;
  ProcessTable previous, current;
  FillProcessTable(workload, previous);
  FillProcessTable(workload, current);
  Scan(workload.entries, previous);
  std::vector<const ProcessRecord*> previousListed =
      ListedProcesses(previous, options);
  GrowthTracker growth;
  growth.Note(previous, previousListed, 0);
  SampleChanges changes;
  SystemTotals system;
  for (auto _ : state) {
    ResetScanState(current);
    double start = ThreadCpuSeconds();
    Scan(changed, current);
    std::vector<const ProcessRecord*> listed =
        ListedProcesses(current, options);
    growth.Note(current, listed, 1000);
    FindChanges({&previous, &previousListed}, {&current, &listed}, options,
                &changes);
    Output out;
    TextReport report(options, true, out);
    Snapshot snapshot;
    snapshot.number = 2;
    snapshot.milliseconds = 1000;
    snapshot.system = &system;
    snapshot.listed = &listed;
    snapshot.changes = &changes;
    snapshot.growth = &growth;
    out.Hold();
    report.Sample(snapshot);
    out.Release();
    state.SetIterationTime(ThreadCpuSeconds() - start);
    if (out.Failed()) {
      state.SkipWithError("writing to /dev/null failed");
      break;
    }
  }
}
BENCHMARK(BM_WatchSample)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarksWithNullStdout(argc, argv, "watch_bench: /dev/null");
}
