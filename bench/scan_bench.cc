// The scan of a full shared table against its floor: a loop that only copies
// every used entry and its handle value into a presized array.
//
// Every scan must start from the state the census leaves (counters at 0,
// handle lists empty), so each iteration resets the records first. The reset
// stays outside the measurement: both benchmarks time their loop alone with
// the thread's CPU clock (manual time), whose two reads cost well under a
// microsecond against a pass of hundreds. Pausing the benchmark's own timer
// costs more than that per iteration, and timing the reset with the scan
// would charge the scan for work the floor does not do.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/keep_memory.h"
#include "bench/thread_clock.h"
#include "bench/workload.h"
#include "census/process_table.h"
#include "gditable/shared_table.h"

namespace {

void BM_ScanFloor(benchmark::State& state) {
  const ScanWorkload& workload = GetScanWorkload();
  const GdiTableEntry* table = workload.entries.data();
  const uint32_t count = static_cast<uint32_t>(workload.entries.size());
  std::vector<HandleRecord> copies(count);
  for (auto _ : state) {
    double start = ThreadCpuSeconds();
    HandleRecord* out = copies.data();
    for (uint32_t index = 0; index < count; ++index) {
      const GdiTableEntry& entry = table[index];
      if (entry.typeCode == 0)
        continue;
      std::memcpy(out, &entry, sizeof(GdiTableEntry));
      out->handle = HandleValueOf(entry.unique, index);
      ++out;
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
    state.SetIterationTime(ThreadCpuSeconds() - start);
  }
  state.counters["entries"] = count;
  state.counters["used"] = workload.usedEntries;
}
BENCHMARK(BM_ScanFloor)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_Scan(benchmark::State& state) {
  const ScanWorkload& workload = GetScanWorkload();
  ProcessTable processes;
  FillProcessTable(workload, processes);
  const uint32_t count = static_cast<uint32_t>(workload.entries.size());
  for (auto _ : state) {
    ResetScanState(processes);
    double start = ThreadCpuSeconds();
    ScanSharedHandleTable(workload.entries.data(), count, processes);
    benchmark::ClobberMemory();
    state.SetIterationTime(ThreadCpuSeconds() - start);
  }
  // The scan must have attributed what the workload says it should.
  int64_t attributed = 0;
  for (const ProcessTable::Node* node = processes.First(); node;
       node = processes.Next(node))
    attributed += node->record.handles.size;
  if (attributed != workload.recordedEntries)
    state.SkipWithError("the scan attributed an unexpected number of entries");
  state.counters["entries"] = count;
  state.counters["used"] = workload.usedEntries;
  state.counters["attributed"] = static_cast<double>(attributed);
}
BENCHMARK(BM_Scan)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
