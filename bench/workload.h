// The system the scan and report benchmarks run over: a shared table of
// 65,536 entries, 80 % of them used, owned by 300 recorded processes and, for
// a tenth of the used entries, by processes the census never recorded.
// Deterministic, so that every run measures the same work.
#pragma once

#include <cstdint>
#include <vector>

#include "gditable/shared_table.h"

class ProcessTable;

struct ScanWorkload {
  static constexpr uint32_t kEntries = 65536;
  static constexpr int kRecordedProcesses = 300;
  static constexpr int kUnrecordedProcesses = 40;

  std::vector<GdiTableEntry> entries;
  std::vector<uint32_t> recordedPids;
  uint32_t usedEntries = 0;
  uint32_t recordedEntries = 0;  // used entries owned by recorded processes
};

// Built once, on first use.
const ScanWorkload& GetScanWorkload();

// Sets one record per recorded process into `table`, with counters at 0 and
// empty handle lists, as the census leaves them. Each process's GDI count is
// what it owns of the table, and a few objects more, as GetGuiResources
// counts objects the table shows and some it does not.
void FillProcessTable(const ScanWorkload& workload, ProcessTable& table);

// Brings every record back to what the census left: counters at 0 and the
// handle storage freed.
void ResetScanState(ProcessTable& table);
