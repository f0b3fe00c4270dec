#include "watch/growth.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "census/process_table.h"
#include "sample/process_counts.h"
#include "watch/process_identity.h"

namespace {

int64_t GdiTotalGrowth(const ProcessGrowth& p) {
  return CountChange(p.firstGdiTotal, p.lastGdiTotal);
}

}  // namespace

int64_t GdiAllGrowth(const ProcessGrowth& process) {
  return CountChange(process.firstGdiAll, process.lastGdiAll);
}

bool Grew(const ProcessGrowth& process) {
  return GdiAllGrowth(process) > 0 || GdiTotalGrowth(process) > 0;
}

bool FailsGrowthGate(const ProcessGrowth& process, uint32_t gate) {
  if (gate == 0 || GdiAllGrowth(process) < gate)
    return false;
  return process.trend.word == TrendWord::StillGrowing ||
         process.quota.state == LimitState::Reached;
}

bool AnyFailsGrowthGate(const std::vector<const ProcessGrowth*>& processes,
                        uint32_t gate) {
  for (const ProcessGrowth* process : processes) {
    if (FailsGrowthGate(*process, gate))
      return true;
  }
  return false;
}

bool GrowsBefore(const ProcessGrowth& a, const ProcessGrowth& b) {
  if (int order = CompareTrends(a.trend, b.trend))
    return order < 0;
  if (GdiAllGrowth(a) != GdiAllGrowth(b))
    return GdiAllGrowth(a) > GdiAllGrowth(b);
  if (GdiTotalGrowth(a) != GdiTotalGrowth(b))
    return GdiTotalGrowth(a) > GdiTotalGrowth(b);
  if (a.pid != b.pid)
    return a.pid < b.pid;
  return a.id < b.id;
}

GrowthTracker::LiveProcess& GrowthTracker::Follow(const ProcessRecord& record,
                                                  uint64_t milliseconds) {
  const ProcessCounts now = CountsOf(record);
  // A live process under this PID has this name: Note let the others exit.
  auto found = liveByPid_.find(record.pid);
  LiveProcess* process;
  if (found != liveByPid_.end()) {
    process = &live_[found->second];
  } else {
    liveByPid_.emplace(record.pid, live_.size());
    process = &live_.emplace_back();
    ProcessGrowth& growth = process->growth;
    growth.id = nextId_++;
    growth.pid = record.pid;
    growth.name = ProcessName(record.exeName);
    growth.firstMilliseconds = milliseconds;
    growth.firstGdiAll = now.gdiAll;
    growth.firstGdiTotal = now.gdiTotal;
    process->judgedGdiAll = now.gdiAll;
    std::copy(std::begin(now.categories), std::end(now.categories),
              std::begin(process->firstCategories));
  }
  ProcessGrowth& growth = process->growth;
  growth.lastMilliseconds = milliseconds;
  growth.lastGdiAll = now.gdiAll;
  growth.lastGdiTotal = now.gdiTotal;
  for (int category = 0; category < kCategoryCount; ++category)
    growth.categoryGrowth[category] = static_cast<int32_t>(CountChange(
        process->firstCategories[category], now.categories[category]));
  process->gdiAll.Add(milliseconds, now.gdiAll);
  return *process;
}

void GrowthTracker::Note(const ProcessTable& table,
                         const std::vector<const ProcessRecord*>& followed,
                         const std::vector<const ProcessRecord*>& listed,
                         uint64_t milliseconds) {
  exited_.clear();
  exitedGrownNow_.clear();
  judged_ = false;
  for (size_t i = 0; i < live_.size();) {
    LiveProcess& process = live_[i];
    const ProcessRecord* record = table.Lookup(process.growth.pid);
    if (record &&
        SameProcess(*record, process.growth.pid, process.growth.name.view())) {
      ++i;
      continue;
    }
    exited_.push_back(process.growth.id);
    liveByPid_.erase(process.growth.pid);
    if (Judged(process.growth)) {
      JudgeProcess(process.growth, process.gdiAll);
      const bool shown = process.growth.listed && Grew(process.growth);
      if (shown || FailsGate(process.growth)) {
        exitedGrown_.push_back(std::move(process.growth));
        // A process -t never listed is no change the views show.
        if (shown) {
          exitedGrownNow_.push_back(&exitedGrown_.back());
          if (process.chart)
            KeepExitedChart(exitedGrown_.back(), std::move(process.chart));
        }
      }
    }
    if (i + 1 != live_.size()) {
      live_[i] = std::move(live_.back());
      liveByPid_[live_[i].growth.pid] = i;
    }
    live_.pop_back();
  }
  for (const ProcessRecord* record : followed)
    Follow(*record, milliseconds);
  listedIds_.clear();
  for (const ProcessRecord* record : listed) {
    // Listed records are among the followed ones.
    auto found = liveByPid_.find(record->pid);
    LiveProcess& process = found != liveByPid_.end()
                               ? live_[found->second]
                               : Follow(*record, milliseconds);
    process.growth.listed = true;
    listedIds_.push_back(process.growth.id);
    if (keepCharts_)
      AddChartSample(process, *record, milliseconds);
  }
  JudgeSome();
}

void GrowthTracker::AddChartSample(LiveProcess& process,
                                   const ProcessRecord& record,
                                   uint64_t milliseconds) {
  if (!process.chart)
    process.chart = std::make_unique<ChartSeries>();
  const ProcessCounts counts = CountsOf(record);
  ChartSample sample;
  sample.seconds = static_cast<double>(milliseconds) / 1000;
  sample.gdiAll = counts.gdiAll;
  std::copy(std::begin(counts.categories), std::end(counts.categories),
            sample.categories.begin());
  process.chart->Add(sample);
}

void GrowthTracker::KeepExitedChart(const ProcessGrowth& growth,
                                    std::unique_ptr<ChartSeries> series) {
  exitedCharts_.push_back({&growth, std::move(series)});
  if (exitedCharts_.size() > kMaxChartedProcesses) {
    auto last =
        std::max_element(exitedCharts_.begin(), exitedCharts_.end(),
                         [](const ExitedChart& a, const ExitedChart& b) {
                           return GrowsBefore(*a.growth, *b.growth);
                         });
    exitedCharts_.erase(last);
  }
}

const ChartSeries* GrowthTracker::Chart(const ProcessGrowth& process) const {
  auto found = liveByPid_.find(process.pid);
  if (found != liveByPid_.end() && live_[found->second].growth.id == process.id)
    return live_[found->second].chart.get();
  for (const ExitedChart& exited : exitedCharts_) {
    if (exited.growth->id == process.id)
      return exited.series.get();
  }
  return nullptr;
}

void GrowthTracker::JudgeProcess(ProcessGrowth& growth,
                                 const TrendSummary& gdiAll) const {
  growth.trend = JudgeTrend(gdiAll);
  growth.quota = JudgeLimit(growth.lastGdiAll, growth.trend, quota_);
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
  table_.used.Add(milliseconds, used);
}

bool GrowthTracker::Judged(const ProcessGrowth& process) const {
  return (process.listed && Grew(process)) ||
         (gate_ != 0 && GdiAllGrowth(process) >= gate_);
}

bool GrowthTracker::FailsGate(const ProcessGrowth& process) const {
  return FailsGrowthGate(process, gate_);
}

void GrowthTracker::Judge() {
  grown_.clear();
  failedGate_.clear();
  auto note = [this](const ProcessGrowth& process) {
    if (process.listed && Grew(process))
      grown_.push_back(&process);
    if (FailsGate(process))
      failedGate_.push_back(&process);
  };
  for (const ProcessGrowth& process : exitedGrown_)
    note(process);
  for (LiveProcess& process : live_) {
    if (!Judged(process.growth))
      continue;
    JudgeProcess(process.growth, process.gdiAll);
    note(process.growth);
  }
  auto order = [](const ProcessGrowth* a, const ProcessGrowth* b) {
    return GrowsBefore(*a, *b);
  };
  std::sort(grown_.begin(), grown_.end(), order);
  std::sort(failedGate_.begin(), failedGate_.end(), order);
  if (tableNoted_) {
    table_.trend = JudgeTrend(table_.used);
    table_.full = JudgeLimit(table_.lastUsed, table_.trend, table_.slots);
  }
  judged_ = true;
}

const ProcessGrowth* GrowthTracker::Live(uint32_t pid) const {
  auto found = liveByPid_.find(pid);
  return found == liveByPid_.end() ? nullptr : &live_[found->second].growth;
}

Trend GrowthTracker::JudgeNow(uint32_t pid) const {
  auto found = liveByPid_.find(pid);
  return found == liveByPid_.end() ? Trend()
                                   : JudgeTrend(live_[found->second].gdiAll);
}

void GrowthTracker::JudgeSome() {
  // The one named last is judged again at every sample, so that it gives
  // way as soon as it stops; then the one whose GDI All moved most since it
  // was last judged, where a new leader comes from; then one in turn, so
  // that every verdict is fresh in time.
  auto judge = [this](LiveProcess& process) {
    process.judgedGdiAll = process.growth.lastGdiAll;
    if (process.growth.listed && GdiAllGrowth(process.growth) > 0)
      JudgeProcess(process.growth, process.gdiAll);
    else
      process.growth.trend = Trend();
  };
  auto steepest = liveByPid_.find(steepestPid_);
  if (steepest != liveByPid_.end())
    judge(live_[steepest->second]);
  LiveProcess* moved = nullptr;
  int64_t most = 0;
  for (LiveProcess& process : live_) {
    const int64_t change =
        CountChange(process.judgedGdiAll, process.growth.lastGdiAll);
    if (change > most) {
      most = change;
      moved = &process;
    }
  }
  if (moved)
    judge(*moved);
  if (!live_.empty())
    judge(live_[nextJudged_++ % live_.size()]);
  steepest_ = nullptr;
  for (const LiveProcess& process : live_) {
    const Trend& trend = process.growth.trend;
    if (trend.word == TrendWord::StillGrowing &&
        GdiAllGrowth(process.growth) > 0 &&
        (!steepest_ || trend.perMinute > steepest_->trend.perMinute))
      steepest_ = &process.growth;
  }
  steepestPid_ = steepest_ ? steepest_->pid : 0;
}

const ProcessGrowth* GrowthTracker::SteepestGrowing() const {
  return steepest_;
}
