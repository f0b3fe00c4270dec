// A watch's processes over time: which process each listed record is, and
// how its counts went over its life in the watch, with their trend.
#pragma once

#include <cassert>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "census/object_categories.h"
#include "watch/chart_series.h"
#include "watch/process_name.h"
#include "watch/trend.h"

class ProcessTable;
struct ProcessRecord;

// One process of a watch: a PID under a name, from the sample in which it
// (last) started to the sample in which it exited. One that exits and starts
// again is another process, with another id. What the reports show of it,
// kept small: one that exited having grown stays to the end of the watch.
struct ProcessGrowth {
  uint64_t id = 0;  // counted from 0 in the order the watch first saw them
  uint32_t pid = 0;
  bool listed = false;  // in some sample: the views and the report show it
  ProcessName name;
  // Its first sample in the watch, listed or not, and its last; in
  // milliseconds since the watch's first sample.
  uint64_t firstMilliseconds = 0;
  uint64_t lastMilliseconds = 0;
  uint32_t firstGdiAll = 0;
  uint32_t lastGdiAll = 0;
  uint32_t firstGdiTotal = 0;
  uint32_t lastGdiTotal = 0;
  // Each category's entries in its last sample less those in its first.
  int32_t categoryGrowth[kCategoryCount] = {};
  // Its GDI All's verdict, as last judged, and where that leaves it
  // against its quota.
  Trend trend;
  LimitOutlook quota;
};

// The change from `first` to `last`, worked out in 64 bits.
inline int64_t CountChange(uint32_t first, uint32_t last) {
  return int64_t{last} - int64_t{first};
}

// `change` per minute over `milliseconds`; 0 over none.
inline double ChangePerMinute(int64_t change, uint64_t milliseconds) {
  return milliseconds == 0 ? 0
                           : static_cast<double>(change) * 60000 /
                                 static_cast<double>(milliseconds);
}

bool Grew(const ProcessGrowth& process);
// Its GDI All's change from its first sample to its last.
int64_t GdiAllGrowth(const ProcessGrowth& process);
// Whether -g's `gate` fails the run for `process` as judged: its GDI All
// grew by `gate` or more and is still growing, or has reached its quota
// (a process at its quota can create no more objects: it has broken).
bool FailsGrowthGate(const ProcessGrowth& process, uint32_t gate);
// Whether it does for any of `processes`; never for a gate of 0.
bool AnyFailsGrowthGate(const std::vector<const ProcessGrowth*>& processes,
                        uint32_t gate);
// The one order of the processes that grew, as judged, which every report
// of growth reads: still growing, the steepest first, then held, then up
// and down; within each, the largest growth of GDI All first, then of GDI
// Total, then by PID, then the earlier.
bool GrowsBefore(const ProcessGrowth& a, const ProcessGrowth& b);

// The session's shared table over a watch: its used entries in the first
// sample and in the last, and their trend; as judged, the trend's verdict
// and when the table is full at it.
struct TableGrowth {
  uint32_t slots = 0;
  uint32_t firstUsed = 0;
  uint32_t lastUsed = 0;
  uint64_t firstMilliseconds = 0;
  uint64_t lastMilliseconds = 0;
  TrendSummary used;
  Trend trend;
  LimitOutlook full;
};

class GrowthTracker {
 public:
  // `quota`: the most GDI objects a process may hold, its GDI All's limit;
  // 0 when not known.
  explicit GrowthTracker(uint32_t quota = 0) : quota_(quota) {}

  // Notes a sample taken `milliseconds` after the first: the processes that
  // `table` no longer records under their PID and name have exited; each
  // followed record is the process of its PID and name, or a new one, and
  // adds to its trend; the listed ones, among them, are shown.
  void Note(const ProcessTable& table,
            const std::vector<const ProcessRecord*>& followed,
            const std::vector<const ProcessRecord*>& listed,
            uint64_t milliseconds);
  // The same, following just the listed records.
  void Note(const ProcessTable& table,
            const std::vector<const ProcessRecord*>& listed,
            uint64_t milliseconds) {
    Note(table, listed, listed, milliseconds);
  }

  // The id of each listed record of the last sample noted, in its order.
  const std::vector<uint64_t>& ListedIds() const { return listedIds_; }
  // The processes that exited in the last sample noted.
  const std::vector<uint64_t>& Exited() const { return exited_; }
  // Those of them that Grown() holds, judged as they exited; valid until
  // the next sample is noted.
  const std::vector<const ProcessGrowth*>& ExitedGrown() const {
    return exitedGrownNow_;
  }

  // Notes the table of a sample taken `milliseconds` after the first.
  void NoteTable(uint32_t slots, uint32_t used, uint64_t milliseconds);
  const TableGrowth& Table() const { return table_; }

  // Judges every shown process that grew and is still live, for Grown(),
  // and the table; once, at the end of the watch.
  void Judge();
  // The shown processes whose GDI All or GDI Total grew, in the order of
  // GrowsBefore. Read only after Judge(), and before another sample is
  // noted.
  const std::vector<const ProcessGrowth*>& Grown() const {
    assert(judged_ && "Grown() is read after Judge()");
    return grown_;
  }

  // -g's count: a process whose GDI All grew by it from its first sample to
  // its last, still growing, fails the gate whether the views list it or
  // not (-t). Set before the first sample; 0 without -g.
  void SetGate(uint32_t count) { gate_ = count; }
  // The followed processes, listed or not, that failed the gate, in the
  // order of GrowsBefore; read as Grown() is.
  const std::vector<const ProcessGrowth*>& FailedGate() const {
    assert(judged_ && "FailedGate() is read after Judge()");
    return failedGate_;
  }

  // From now on each shown process keeps its chart series: its counts in
  // each sample that listed it. Of those that exited, only the first
  // kMaxChartedProcesses of the growth order keep theirs, as many as a
  // chart shows. Set before the first sample, for the formats that draw.
  void KeepCharts() { keepCharts_ = true; }
  // The chart series of `process`, one of this tracker's, or null: charts
  // not kept, or an exited process that no chart can show.
  const ChartSeries* Chart(const ProcessGrowth& process) const;

  // The live, shown process still growing the steepest as of the last
  // sample noted, or null: a few processes are judged at each sample, so
  // that a sample costs the same however many grew.
  const ProcessGrowth* SteepestGrowing() const;

  // The live process of PID `pid` as the last sample noted it, or null;
  // valid until the next sample is noted. A view redrawn at each sample
  // (-o live) reads it, and its GDI All judged on the samples so far.
  const ProcessGrowth* Live(uint32_t pid) const;
  Trend JudgeNow(uint32_t pid) const;

 private:
  struct LiveProcess {
    ProcessGrowth growth;
    // Its categories' entries in its first sample, which their growth
    // counts from.
    uint32_t firstCategories[kCategoryCount] = {};
    TrendSummary gdiAll;
    std::unique_ptr<ChartSeries> chart;  // once listed, when charts are kept
    uint32_t judgedGdiAll = 0;           // its GDI All when it was last judged
  };
  // An exited process's chart series, while a chart may yet show it.
  struct ExitedChart {
    const ProcessGrowth* growth;  // in exitedGrown_
    std::unique_ptr<ChartSeries> series;
  };
  LiveProcess& Follow(const ProcessRecord& record, uint64_t milliseconds);
  // Whether `process` is judged at the end (or its exit): it was shown and
  // grew, or it reached -g's count.
  bool Judged(const ProcessGrowth& process) const;
  // Whether the judged `process` fails -g's gate.
  bool FailsGate(const ProcessGrowth& process) const;
  void JudgeProcess(ProcessGrowth& growth, const TrendSummary& gdiAll) const;
  // Judges the steepest named last and a few others in turn.
  void JudgeSome();
  void AddChartSample(LiveProcess& process, const ProcessRecord& record,
                      uint64_t milliseconds);
  // Keeps the series of `growth`, which exited, if it is among the first
  // of those exited in the growth order (their order no longer changes).
  void KeepExitedChart(const ProcessGrowth& growth,
                       std::unique_ptr<ChartSeries> series);

  // Processes not exited, and the index of each one's PID among them: a
  // deque, so that their few kilobytes each are neither doubled nor copied
  // as more arrive.
  std::deque<LiveProcess> live_;
  std::unordered_map<uint32_t, size_t> liveByPid_;
  // Those that exited judged (shown having grown, or failing the gate),
  // judged as they exited; the others are forgotten, so that a watch of
  // processes that come and go stays small.
  std::deque<ProcessGrowth> exitedGrown_;
  std::vector<const ProcessGrowth*> exitedGrownNow_;
  std::vector<const ProcessGrowth*> grown_;
  std::vector<const ProcessGrowth*> failedGate_;
  uint32_t gate_ = 0;
  bool judged_ = false;
  size_t nextJudged_ = 0;
  const ProcessGrowth* steepest_ = nullptr;  // valid until the next Note
  uint32_t steepestPid_ = 0;
  uint32_t quota_ = 0;
  std::vector<uint64_t> listedIds_;
  std::vector<uint64_t> exited_;
  uint64_t nextId_ = 0;
  TableGrowth table_;
  bool tableNoted_ = false;
  bool keepCharts_ = false;
  std::vector<ExitedChart> exitedCharts_;
};
