// The HTML report of one look at the system: which processes hold the most
// GDI objects, and of which kinds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "html/page_origin.h"
#include "sample/process_counts.h"

struct SnapshotHandle {
  uint64_t handle = 0;
  std::u16string type;  // the handle view's type name
  uint64_t kernelAddress = 0;
};

struct SnapshotProcess {
  uint32_t pid = 0;
  std::u16string name;
  ProcessCounts counts;
  std::vector<SnapshotHandle> handles;  // listed under showHandles
};

struct SnapshotReport {
  // In the text views' order.
  std::vector<SnapshotProcess> processes;
  // Each process's handles in a collapsible section (-v).
  bool showHandles = false;
  PageOrigin origin;
};

// The bar charts show at most this many processes.
constexpr size_t kMaxBarProcesses = 20;

// The whole document: a bar chart of the processes with the highest GDI
// All, GDI Total beside each bar; the same processes' categories as
// stacked bars; the summary table; under showHandles, each process's
// handles. Appended to `out`.
void AppendSnapshotHtml(std::string& out, const SnapshotReport& report);
