#include "watch/growth.h"

#include <algorithm>

#include "census/process_table.h"
#include "sample/process_counts.h"
#include "watch/process_identity.h"

namespace {

int64_t AllGrowth(const ProcessGrowth& p) {
  return CountChange(p.first.counts.gdiAll, p.last.counts.gdiAll);
}

int64_t TotalGrowth(const ProcessGrowth& p) {
  return CountChange(p.first.counts.gdiTotal, p.last.counts.gdiTotal);
}

}  // namespace

int64_t GdiAllGrowth(const ProcessGrowth& process) {
  return AllGrowth(process);
}

bool Grew(const ProcessGrowth& process) {
  return AllGrowth(process) > 0 || TotalGrowth(process) > 0;
}

void GrowthTracker::Note(const ProcessTable& table,
                         const std::vector<const ProcessRecord*>& listed,
                         uint64_t milliseconds) {
  exited_.clear();
  for (size_t i = 0; i < live_.size();) {
    ProcessGrowth& process = live_[i];
    const ProcessRecord* record = table.Lookup(process.pid);
    if (record && SameProcess(*record, process.pid, process.name)) {
      ++i;
      continue;
    }
    exited_.push_back(process.id);
    liveByPid_.erase(process.pid);
    if (Grew(process))
      exitedGrown_.push_back(std::move(process));
    if (i + 1 != live_.size()) {
      live_[i] = std::move(live_.back());
      liveByPid_[live_[i].pid] = i;
    }
    live_.pop_back();
  }
  listedIds_.clear();
  for (const ProcessRecord* record : listed) {
    CountsAt now = {milliseconds, CountsOf(*record)};
    // A live process under this PID has this name: the loop above let the
    // others exit.
    auto found = liveByPid_.find(record->pid);
    if (found != liveByPid_.end()) {
      ProcessGrowth& process = live_[found->second];
      process.last = now;
      listedIds_.push_back(process.id);
      continue;
    }
    ProcessGrowth process;
    process.id = nextId_++;
    process.pid = record->pid;
    process.name = record->exeName;
    process.first = now;
    process.last = now;
    liveByPid_.emplace(record->pid, live_.size());
    listedIds_.push_back(process.id);
    live_.push_back(std::move(process));
  }
}

void GrowthTracker::NoteTable(uint32_t slots, uint32_t used,
                              uint64_t milliseconds) {
  if (!tableNoted_) {
    tableNoted_ = true;
    table_.firstUsed = used;
    table_.firstMilliseconds = milliseconds;
  }
  table_.slots = slots;
  table_.lastUsed = used;
  table_.lastMilliseconds = milliseconds;
}

std::vector<const ProcessGrowth*> GrowthTracker::Grown() const {
  std::vector<const ProcessGrowth*> grown;
  for (const std::vector<ProcessGrowth>* processes : {&exitedGrown_, &live_}) {
    for (const ProcessGrowth& process : *processes) {
      if (Grew(process))
        grown.push_back(&process);
    }
  }
  std::sort(grown.begin(), grown.end(),
            [](const ProcessGrowth* a, const ProcessGrowth* b) {
              if (AllGrowth(*a) != AllGrowth(*b))
                return AllGrowth(*a) > AllGrowth(*b);
              if (TotalGrowth(*a) != TotalGrowth(*b))
                return TotalGrowth(*a) > TotalGrowth(*b);
              if (a->pid != b->pid)
                return a->pid < b->pid;
              return a->id < b->id;
            });
  return grown;
}
