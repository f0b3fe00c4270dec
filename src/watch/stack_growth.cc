#include "watch/stack_growth.h"

#include <algorithm>

#include "gditable/object_types.h"

int64_t StackGrowthCount(const StackGrowth& stack) {
  return int64_t{stack.liveTotal} - int64_t{stack.firstLive};
}

bool StackGrowsBefore(const StackGrowth& a, const StackGrowth& b) {
  if (int order = CompareTrends(a.trend, b.trend))
    return order < 0;
  if (StackGrowthCount(a) != StackGrowthCount(b))
    return StackGrowthCount(a) > StackGrowthCount(b);
  if (a.liveTotal != b.liveTotal)
    return a.liveTotal > b.liveTotal;
  return a.id < b.id;
}

uint64_t CategoryCounts::Total() const {
  uint64_t total = 0;
  for (uint32_t n : count)
    total += n;
  return total;
}

ObjectCategory CategoryOfFollowType(int typeCode) {
  return CategoryOf(static_cast<uint8_t>(typeCode & 0x7F));
}

namespace {

// Adds the objects of `byType`, by full type, to `counts` by category.
void AddByCategory(const uint32_t (&byType)[platform::kFollowTypeCodes],
                   CategoryCounts* counts) {
  for (int type = 0; type < platform::kFollowTypeCodes; ++type) {
    if (byType[type] != 0)
      counts->count[IndexOf(CategoryOfFollowType(type))] += byType[type];
  }
}

}  // namespace

uint64_t StackTracker::FollowedLive() const {
  uint64_t total = withoutStack_.Total() + beyondKept_.Total();
  for (const StackGrowth& stack : kept_)
    total += stack.liveTotal;
  return total;
}

size_t StackTracker::Keep(const platform::FollowedStack& stack) {
  size_t index = kept_.size();
  if (kept_.size() < kMaxKeptStacks) {
    kept_.emplace_back();
    series_.emplace_back();
  } else {
    // A kept stack that held nothing at the last sample and is not in this
    // one gives its place up. Places are only taken within a sample, so one
    // search that found none stands for the rest of it.
    if (noPlaceAtSample_ == samples_)
      return kept_.size();
    index = kept_.size();
    for (size_t i = 0; i < kept_.size(); ++i) {
      if (kept_[i].liveTotal == 0 && series_[i].lastSample != samples_) {
        index = i;
        break;
      }
    }
    if (index == kept_.size()) {
      noPlaceAtSample_ = samples_;
      return index;
    }
    keptById_.erase(kept_[index].id);
    kept_[index] = StackGrowth();
    series_[index] = Series();
    ++replaced_;
  }
  StackGrowth& kept = kept_[index];
  kept.id = stack.id;
  kept.frames = stack.frames;
  keptById_.emplace(stack.id, index);
  // A stack first seen after the first sample held nothing at the one
  // before.
  if (samples_ > 1)
    series_[index].summary.Add(previousMilliseconds_, 0);
  return index;
}

void StackTracker::Note(const platform::FollowState& state,
                        uint64_t milliseconds, int64_t systemCount) {
  ++samples_;
  previousMilliseconds_ = samples_ > 1 ? lastMilliseconds_ : milliseconds;
  lastMilliseconds_ = milliseconds;
  judged_ = false;
  withoutStack_ = CategoryCounts();
  beyondKept_ = CategoryCounts();
  stacksBeyondKept_ = 0;
  AddByCategory(state.withoutStackByType, &withoutStack_);

  for (const platform::FollowedStack& stack : state.stacks) {
    auto found = keptById_.find(stack.id);
    const bool fresh = found == keptById_.end();
    size_t index = fresh ? Keep(stack) : found->second;
    if (index == kept_.size()) {
      AddByCategory(stack.liveByType, &beyondKept_);
      ++stacksBeyondKept_;
      continue;
    }
    StackGrowth& kept = kept_[index];
    Series& series = series_[index];
    CategoryCounts live;
    AddByCategory(stack.liveByType, &live);
    std::copy(std::begin(live.count), std::end(live.count),
              std::begin(kept.live));
    kept.liveTotal = static_cast<uint32_t>(live.Total());
    if (fresh)
      kept.firstLive = samples_ == 1 ? kept.liveTotal : 0;
    kept.created = stack.created;
    kept.firstCreationMilliseconds = stack.firstCreationMs;
    kept.lastCreationMilliseconds = stack.lastCreationMs;
    series.summary.Add(milliseconds, kept.liveTotal);
    series.lastSample = samples_;
  }
  // A kept stack the program no longer lists holds nothing.
  for (size_t i = 0; i < kept_.size(); ++i) {
    if (series_[i].lastSample == samples_)
      continue;
    std::fill(std::begin(kept_[i].live), std::end(kept_[i].live), 0);
    kept_[i].liveTotal = 0;
    series_[i].summary.Add(milliseconds, 0);
    series_[i].lastSample = samples_;
  }

  // A program that has exited has no count: the last one known stands.
  if (systemCount >= 0) {
    systemCount_ = systemCount;
    unseen_ = std::max<int64_t>(
        0, systemCount - static_cast<int64_t>(FollowedLive()));
  }
  program_.pid = state.pid;
  program_.name = state.name;
  program_.exited = state.exited;
  program_.exitCode = state.exitCode;
  program_.children = state.children;
}

void StackTracker::Judge() {
  left_.clear();
  for (size_t i = 0; i < kept_.size(); ++i) {
    if (series_[i].summary.Samples() != 0)
      kept_[i].trend = JudgeTrend(series_[i].summary);
    if (kept_[i].liveTotal != 0)
      left_.push_back(&kept_[i]);
  }
  std::sort(left_.begin(), left_.end(),
            [](const StackGrowth* a, const StackGrowth* b) {
              return StackGrowsBefore(*a, *b);
            });
  judged_ = true;
}
