// The HTML report of a watch: how the processes' GDI objects developed over
// the samples, drawn as charts, with the growth report and the changes of
// each sample.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gditable/object_types.h"
#include "report/html/table.h"

// One process in one sample.
struct ProcessSample {
  double seconds = 0;    // since the watch's first sample
  int32_t gdiAll = 0;    // what GetGuiResources reported
  int32_t gdiTotal = 0;  // shared-table entries attributed to the process
  std::array<int32_t, kObjectCategoryCount> categories = {};
};

struct ProcessSeries {
  uint32_t pid = 0;
  std::u16string name;
  // The samples the process was seen in, in time order.
  std::vector<ProcessSample> samples;
};

// What one sample changed, in the text view's lines.
struct SampleChanges {
  int sample = 0;  // counted from 1
  double seconds = 0;
  std::vector<std::u16string> lines;
};

struct WatchReport {
  int sampleCount = 0;
  int intervalSeconds = 0;
  double coveredSeconds = 0;  // from the first sample to the last
  bool interrupted = false;   // stopped before its count of samples
  std::vector<ProcessSeries> processes;
  // The growth report: one row per process that grew.
  TextTable growth;
  std::vector<SampleChanges> changes;
};

// The line charts show at most this many processes.
constexpr size_t kMaxChartedProcesses = 10;

// The changes of each sample take at most this many bytes of the document,
// so that a long, busy watch still gives a page of modest size; the samples
// past it are named, not shown.
constexpr size_t kMaxChangesBytes = size_t{400} * 1024;

// The processes the line charts show, as indices into `report.processes`:
// those whose GDI All rose from their first sample to their last, the
// greatest rise first (on a tie the lower PID), at most
// kMaxChartedProcesses.
std::vector<size_t> MostGrown(const WatchReport& report);

// The whole document: a header with the sample count, the interval and the
// time covered; line charts of GDI All and GDI Total for the processes that
// grew most; the categories of the one that grew most, stacked over time;
// the growth table; the changes of each sample in a collapsible section
// (up to kMaxChangesBytes).
std::string RenderWatchHtml(const WatchReport& report);
