// The growth report of a watch: how each listed process's counts went from
// the first sample that listed it to the last.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "census/process_record.h"

// A process's counts in one sample.
struct CountsAt {
  uint64_t milliseconds = 0;  // since the watch's first sample
  int32_t gdiTotal = 0;
  int32_t gdiAll = 0;
  int32_t categories[kCategoryCount] = {};
};

struct ProcessGrowth {
  uint32_t pid = 0;
  std::u16string name;
  CountsAt first;
  CountsAt last;
};

// Keeps, per process (a PID and its name: a new name under a PID is another
// process), its first and last counts; nothing else of a sample.
class GrowthTracker {
 public:
  // Notes the listed processes of a sample taken `milliseconds` after the
  // first.
  void Note(const std::vector<const ProcessRecord*>& listed,
            uint64_t milliseconds);
  // The processes whose GDI All or GDI Total grew, the largest growth of
  // GDI All first, then of GDI Total, then by PID.
  std::vector<const ProcessGrowth*> Grown() const;

 private:
  std::vector<ProcessGrowth> processes_;
  // The index of the latest process with each PID.
  std::unordered_map<uint32_t, size_t> latest_;
};

// "121 -> 181 (+60, +360.0/min)": a count's first and last value, the
// change, and the change per minute over `milliseconds`.
std::u16string GrowthText(int32_t first, int32_t last, uint64_t milliseconds);

// "Bitmap +30  DC +30": the categories of `process` that grew, in the count
// view's order; empty when none did.
std::u16string GrownCategoriesText(const ProcessGrowth& process);

// Appends "Growth over N samples, T s:" and one line per process of `grown`:
//   "% 6d  %-28s  GDI All 121 -> 181 (+60, +6.0/min)  GDI Total 119 -> 179
//   (+60, +6.0/min)  Bitmap +30  DC +30"
// (the rates over the process's own first and last sample, the categories
// that grew), or "No process grew." when there is none. T is whole seconds.
void AppendGrowthReport(const std::vector<const ProcessGrowth*>& grown,
                        uint64_t samples, uint64_t milliseconds,
                        std::u16string& text);
