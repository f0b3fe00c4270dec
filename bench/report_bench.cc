// Writing the handle view (-v) of the scanned workload to a null sink,
// against writing the same bytes, already in the code page, with fwrite; and
// the same for the JSON document with its handles (-o json -v).
//
// The baseline writes one fwrite per line, as a program that prints line by
// line does once formatting and conversion cost nothing; the JSON document is
// one line, so its baseline writes one fwrite per element (a process's fields,
// a handle). Both go through stdout, reopened on /dev/null (fully buffered
// there), and end with one fflush. Writing the whole view in one fwrite would
// measure only the kernel discarding a buffer, which no way of producing the
// text could approach.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "bench/keep_memory.h"
#include "bench/null_stdout.h"
#include "bench/workload.h"
#include "census/process_table.h"
#include "platform/platform.h"
#include "cli/run_options.h"
#include "report/details.h"
#include "report/json_document.h"
#include "report/output.h"

namespace {

struct ScannedWorkload {
  ProcessTable processes;
  RunOptions options;
  std::string bytes;                         // the view in the code page
  std::vector<size_t> lineEnds;              // offset just past each "\n"
  std::vector<const ProcessRecord*> listed;  // the table's order
  SystemTotals system;
  std::string json;                 // the JSON document
  std::vector<size_t> elementEnds;  // where each element's write ends
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

  for (const ProcessTable::Node* node = scanned.processes.First(); node;
       node = scanned.processes.Next(node))
    scanned.listed.push_back(&node->record);
  scanned.system.tableSlots = ScanWorkload::kEntries;
  scanned.system.tableEntriesUsed = workload.usedEntries;
  std::u16string units;
  {
    Output capture(&units);
    WriteJsonDocument(scanned.system, scanned.listed, scanned.options, {},
                      capture);
  }
  scanned.json.assign(units.begin(), units.end());  // one unit a byte
  // An element starts at each process and each handle; the last write ends
  // the document.
  for (const char* start : {"{\"pid\":", "{\"handle\":"}) {
    for (size_t at = scanned.json.find(start); at != std::string::npos;
         at = scanned.json.find(start, at + 1))
      scanned.elementEnds.push_back(at);
  }
  std::sort(scanned.elementEnds.begin(), scanned.elementEnds.end());
  scanned.elementEnds.push_back(scanned.json.size());
}

const ScannedWorkload& GetScannedWorkload() {
  static ScannedWorkload scanned;
  static const bool prepared = (Prepare(scanned), true);
  (void)prepared;
  return scanned;
}

// The baseline of a view or document: fwrite of the same bytes, one piece
// (a line, an element) at a time, as the program hands them over.
void FwritePieces(benchmark::State& state, const std::string& bytes,
                  const std::vector<size_t>& ends, const char* counter) {
  for (auto _ : state) {
    size_t start = 0;
    for (size_t end : ends) {
      if (std::fwrite(bytes.data() + start, 1, end - start, stdout) !=
          end - start) {
        state.SkipWithError("writing to /dev/null failed");
        break;
      }
      start = end;
    }
    std::fflush(stdout);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(bytes.size()));
  state.counters[counter] = static_cast<double>(ends.size());
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
  FwritePieces(state, scanned.bytes, scanned.lineEnds, "lines");
}
BENCHMARK(BM_HandleViewFwrite)->Unit(benchmark::kMicrosecond);

void BM_JsonDocument(benchmark::State& state) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  for (auto _ : state) {
    Output out;
    WriteJsonDocument(scanned.system, scanned.listed, scanned.options, {}, out);
    out.Flush();
    if (out.Failed()) {
      state.SkipWithError("writing to /dev/null failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(scanned.json.size()));
  state.counters["elements"] = static_cast<double>(scanned.elementEnds.size());
}
BENCHMARK(BM_JsonDocument)->Unit(benchmark::kMicrosecond);

void BM_JsonDocumentFwrite(benchmark::State& state) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  FwritePieces(state, scanned.json, scanned.elementEnds, "elements");
}
BENCHMARK(BM_JsonDocumentFwrite)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarksWithNullStdout(argc, argv, "report_bench: /dev/null");
}
