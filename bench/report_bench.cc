// Writing the handle view (-v) of the scanned workload to a null sink,
// against writing the same bytes, already in the code page, with fwrite.
//
// The baseline writes one fwrite per line, as a program that prints line by
// line does once formatting and conversion cost nothing. Both go through
// stdout, reopened on /dev/null (fully buffered there), and end with one
// fflush. Writing the whole view in one fwrite would measure only the kernel
// discarding a buffer, which no way of producing the text could approach.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "bench/keep_memory.h"
#include "bench/workload.h"
#include "census/process_table.h"
#include "platform/platform.h"
#include "cli/run_options.h"
#include "report/details.h"
#include "report/output.h"

namespace {

struct ScannedWorkload {
  ProcessTable processes;
  RunOptions options;
  std::string bytes;             // the view in the code page
  std::vector<size_t> lineEnds;  // offset just past each "\n"
};

void Prepare(ScannedWorkload& scanned) {
  const ScanWorkload& workload = GetScanWorkload();
  FillProcessTable(workload, scanned.processes);
  ScanSharedHandleTable(workload.entries.data(),
                        static_cast<uint32_t>(workload.entries.size()),
                        scanned.processes);
  scanned.options.showHandles = true;
  std::u16string text;
  {
    Output capture(&text);
    for (const ProcessTable::Node* node = scanned.processes.First(); node;
         node = scanned.processes.Next(node))
      PrintDetails(node->record, scanned.options, capture);
  }
  // Output converts piece by piece, one unit at a time, so converting the
  // whole text gives the same bytes.
  platform::AppendInCodePage(text.data(), text.size(), scanned.bytes);
  for (size_t at = 0; at < scanned.bytes.size(); ++at) {
    if (scanned.bytes[at] == '\n')
      scanned.lineEnds.push_back(at + 1);
  }
}

const ScannedWorkload& GetScannedWorkload() {
  static ScannedWorkload scanned;
  static const bool prepared = (Prepare(scanned), true);
  (void)prepared;
  return scanned;
}

void BM_HandleView(benchmark::State& state) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  for (auto _ : state) {
    Output out;
    for (const ProcessTable::Node* node = scanned.processes.First(); node;
         node = scanned.processes.Next(node))
      PrintDetails(node->record, scanned.options, out);
    out.Flush();
    if (out.Failed()) {
      state.SkipWithError("writing to /dev/null failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(scanned.bytes.size()));
  state.counters["lines"] = static_cast<double>(scanned.lineEnds.size());
}
BENCHMARK(BM_HandleView)->Unit(benchmark::kMicrosecond);

void BM_HandleViewFwrite(benchmark::State& state) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  const char* bytes = scanned.bytes.data();
  for (auto _ : state) {
    size_t start = 0;
    for (size_t end : scanned.lineEnds) {
      if (std::fwrite(bytes + start, 1, end - start, stdout) != end - start) {
        state.SkipWithError("writing to /dev/null failed");
        break;
      }
      start = end;
    }
    std::fflush(stdout);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(scanned.bytes.size()));
  state.counters["lines"] = static_cast<double>(scanned.lineEnds.size());
}
BENCHMARK(BM_HandleViewFwrite)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  // The run converts to the code page of "chs", as kestrel does.
  platform::SetLocale("chs");
  // stdout becomes the null sink, so the results go to stderr (and to the
  // --benchmark_out file).
  std::fflush(stdout);
  if (!std::freopen("/dev/null", "w", stdout)) {
    std::perror("report_bench: /dev/null");
    return 1;
  }
  benchmark::ConsoleReporter console(benchmark::ConsoleReporter::OO_Tabular);
  console.SetOutputStream(&std::cerr);
  console.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&console);
  benchmark::Shutdown();
  return 0;
}
