// -o live: a watch shown as one table redrawn in place on the console at
// each sample, the processes the target matches with their growth since the
// start; when the watch ends (q, Ctrl+C, or its last sample), the last
// table stays on the console with the growth report below it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "live/live_table.h"
#include "output/report.h"
#include "platform/program_io.h"

// Why a run cannot show -o live: it needs a watch and the console itself;
// empty when it can.
std::string LiveViewRefusal(bool watch, bool toFile);

class LiveReport : public Report {
 public:
  // `terminal` is open, and outlives the report.
  LiveReport(const ReportOptions& options, const WatchPlan& plan,
             platform::LiveTerminal& terminal, Output& out);

  void Sample(const ListedSample& sample) override;
  void End(const RunEnd& end) override;

 private:
  // A process's GDI All in its latest samples, for its sparkline.
  struct Recent {
    static constexpr size_t kSamples = 12;
    std::array<uint32_t, kSamples> counts = {};
    size_t size = 0;
    size_t next = 0;
    void Add(uint32_t count);
    std::vector<uint32_t> Oldest() const;
  };

  void NoteRecent(const ListedSample& sample);
  // The rows of the sample in the table's order, filled for the first
  // `visible` of them.
  std::vector<LiveRow> Rows(const ListedSample& sample, size_t visible);
  LiveHeading Heading(const ListedSample& sample,
                      const std::vector<LiveRow>& rows) const;

  const ReportOptions& options_;
  const WatchPlan plan_;
  platform::LiveTerminal& terminal_;
  Output& out_;
  std::unordered_map<uint64_t, Recent> recent_;  // by the process's id
  // The last table drawn, for the console to keep at the end.
  LiveHeading heading_;
  std::vector<LiveRow> rows_;
  uint32_t processQuota_ = 0;  // as the latest sample read it
  size_t rowsShown_ = 0;
};
