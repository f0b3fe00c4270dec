// A later sample of a watch against a single run, in each output format,
// both under -v over the scan workload: the run scans and reports every
// handle; the sample scans a table in which a tenth of the used entries
// hold a new object, finds the changes against the previous sample and
// hands them to the watch's report, its output held and written whole. The
// census, which both do alike, is left out.
//
// Measured as the program runs: the allocator gives freed memory back as it
// does in kestrel (no tuned thresholds), and the watch's report and output
// live from sample to sample, as in a watch. Each iteration starts from the
// state the census leaves, reset outside the measurement: both time the
// rest with the thread's CPU clock (manual time), page faults included.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/null_stdout.h"
#include "bench/thread_clock.h"
#include "bench/workload.h"
#include "census/process_table.h"
#include "cli/make_report.h"
#include "gditable/shared_table.h"
#include "output/format_policy.h"
#include "output/output.h"
#include "output/report.h"
#include "sample/listing.h"
#include "watch/changes.h"
#include "watch/growth.h"

namespace {

const OutputFormat kFormats[] = {OutputFormat::Text, OutputFormat::Csv,
                                 OutputFormat::Json, OutputFormat::Html};
const char* const kFormatNames[] = {"text", "csv", "json", "html"};

ReportOptions HandleOptions(int64_t format) {
  ReportOptions options;
  options.showHandles = true;
  options.format = kFormats[format];
  return options;
}

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
  const ReportOptions options = HandleOptions(state.range(0));
  state.SetLabel(kFormatNames[state.range(0)]);
  ProcessTable table;
  FillProcessTable(workload, table);
  for (auto _ : state) {
    ResetScanState(table);
    double start = ThreadCpuSeconds();
    SystemTotals system;
    system.tableSlots = ScanWorkload::kEntries;
    system.tableEntriesUsed = Scan(workload.entries, table);
    std::vector<const ProcessRecord*> listed = ListedProcesses(table, options);
    Output out;
    std::unique_ptr<Report> report = MakeReport(options, nullptr, out);
    ListedSample snapshot;
    snapshot.system = &system;
    snapshot.listed = &listed;
    report->Sample(snapshot);
    out.Flush();
    state.SetIterationTime(ThreadCpuSeconds() - start);
    if (out.Failed()) {
      state.SkipWithError("writing to /dev/null failed");
      break;
    }
  }
}
BENCHMARK(BM_SingleRun)
    ->DenseRange(0, 3)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_WatchSample(benchmark::State& state) {
  const ScanWorkload& workload = GetScanWorkload();
  const std::vector<GdiTableEntry> changed = ChangedEntries(workload);
  const ReportOptions options = HandleOptions(state.range(0));
  state.SetLabel(kFormatNames[state.range(0)]);
  ProcessTable previous, current;
  FillProcessTable(workload, previous);
  FillProcessTable(workload, current);
  SystemTotals system;
  system.tableSlots = ScanWorkload::kEntries;
  system.tableEntriesUsed = Scan(workload.entries, previous);
  std::vector<const ProcessRecord*> previousListed =
      ListedProcesses(previous, options);
  // The watch's state, which lives from sample to sample.
  GrowthTracker growth;
  if (PolicyOf(options.format).watch.charts)
    growth.KeepCharts();
  growth.Note(previous, previousListed, 0);
  SampleChanges changes;
  WatchPlan plan;
  Output out;
  std::unique_ptr<Report> report = MakeReport(options, &plan, out);
  ListedSample first;
  first.system = &system;
  first.listed = &previousListed;
  first.growth = &growth;
  out.Hold();
  report->Sample(first);
  out.Release();
  uint64_t sample = 1;
  for (auto _ : state) {
    ResetScanState(current);
    double start = ThreadCpuSeconds();
    system.tableEntriesUsed = Scan(changed, current);
    std::vector<const ProcessRecord*> listed =
        ListedProcesses(current, options);
    ++sample;
    growth.Note(current, listed, sample * 1000);
    const bool showsChanges = PolicyOf(options.format).watch.changes;
    if (showsChanges)
      FindChanges({&previous, &previousListed}, {&current, &listed}, options,
                  &changes);
    ListedSample snapshot;
    snapshot.number = sample;
    snapshot.milliseconds = sample * 1000;
    snapshot.system = &system;
    snapshot.listed = &listed;
    snapshot.changes = showsChanges ? &changes : nullptr;
    snapshot.growth = &growth;
    out.Hold();
    report->Sample(snapshot);
    out.Release();
    state.SetIterationTime(ThreadCpuSeconds() - start);
    if (out.Failed()) {
      state.SkipWithError("writing to /dev/null failed");
      break;
    }
  }
}
BENCHMARK(BM_WatchSample)
    ->DenseRange(0, 3)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// The growth tracker over 1,000 processes, 600 samples in: one more sample
// noted with the status line's "grew most" found, when none of them grew
// and when every one did (goal: the same cost); and the verdicts at the end
// of the watch when every one grew (goal: at most 50 ms).
constexpr int kGrowthProcesses = 1000;
constexpr uint64_t kGrowthSamples = 600;

void FillGrowthTable(ProcessTable& table, bool grow, uint64_t sample) {
  table.Clear();
  for (int i = 0; i < kGrowthProcesses; ++i) {
    ProcessRecord record;
    record.pid = static_cast<uint32_t>(4 * (i + 1));
    std::u16string name = u"app" + std::u16string(1, u'0' + i % 10) + u".exe";
    name.copy(record.exeName, 259);
    // Churn of a few objects, under a rise of one every sample when grown.
    int32_t churn = static_cast<int32_t>((sample * 7 + i) % 5);
    record.guiObjectCount =
        100 + churn + (grow ? static_cast<int32_t>(sample) : 0);
    record.entryCount = record.guiObjectCount;
    table.Set(record.pid, record);
  }
}

void NoteGrowthSample(GrowthTracker& growth, ProcessTable& table,
                      uint64_t sample) {
  std::vector<const ProcessRecord*> listed;
  for (const ProcessTable::Node* node = table.First(); node;
       node = table.Next(node))
    listed.push_back(&node->record);
  growth.Note(table, listed, sample * 10000);
}

void BM_GrowthSample(benchmark::State& state) {
  const bool grow = state.range(0) != 0;
  state.SetLabel(grow ? "every process grew" : "none grew");
  GrowthTracker growth;
  ProcessTable table;
  uint64_t sample = 0;
  for (; sample < kGrowthSamples; ++sample) {
    FillGrowthTable(table, grow, sample);
    NoteGrowthSample(growth, table, sample);
  }
  for (auto _ : state) {
    FillGrowthTable(table, grow, sample);
    double start = ThreadCpuSeconds();
    NoteGrowthSample(growth, table, sample++);
    benchmark::DoNotOptimize(growth.SteepestGrowing());
    state.SetIterationTime(ThreadCpuSeconds() - start);
  }
}
BENCHMARK(BM_GrowthSample)
    ->DenseRange(0, 1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_GrowthVerdicts(benchmark::State& state) {
  GrowthTracker growth;
  ProcessTable table;
  for (uint64_t sample = 0; sample < kGrowthSamples; ++sample) {
    FillGrowthTable(table, true, sample);
    NoteGrowthSample(growth, table, sample);
  }
  for (auto _ : state) {
    double start = ThreadCpuSeconds();
    growth.Judge();
    state.SetIterationTime(ThreadCpuSeconds() - start);
    if (growth.Grown().size() != kGrowthProcesses) {
      state.SkipWithError("not every process grew");
      break;
    }
  }
}
BENCHMARK(BM_GrowthVerdicts)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
int main(int argc, char** argv) {
  return RunBenchmarksWithNullStdout(argc, argv, "watch_bench: /dev/null",
                                     FreedMemory::GiveBack);
}
