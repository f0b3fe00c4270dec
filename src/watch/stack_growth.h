// A followed program's objects over a watch (-x): per call stack that
// created them, the objects still alive at each sample by category, their
// trend judged as a process's GDI All is, and what could not be put on a
// stack; then how the program ended. Bounded: at most kMaxKeptStacks stacks
// are kept with their summaries, the rest counted together.
#pragma once

#include <cassert>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "census/object_categories.h"
#include "platform/follow.h"
#include "watch/trend.h"

// One call stack of the program, as the last sample saw it.
struct StackGrowth {
  uint32_t id = 0;  // the agent's id, the same for the whole follow
  std::vector<platform::StackFrame> frames;  // innermost first
  uint32_t live[kCategoryCount] = {};        // alive at the last sample
  uint32_t liveTotal = 0;
  // Alive at the sample before its first (0 for one made after the first
  // sample), which its growth counts from.
  uint32_t firstLive = 0;
  uint64_t created = 0;  // creations, deleted or not
  // Milliseconds since following began.
  uint64_t firstCreationMilliseconds = 0;
  uint64_t lastCreationMilliseconds = 0;
  Trend trend;  // of liveTotal, as last judged
};

// liveTotal less firstLive.
int64_t StackGrowthCount(const StackGrowth& stack);
// The growth report's order, for stacks: still growing, the steepest first,
// then held, then up and down; within each the largest growth, then the
// most left, then the lower id.
bool StackGrowsBefore(const StackGrowth& a, const StackGrowth& b);

// Objects counted by category.
struct CategoryCounts {
  uint32_t count[kCategoryCount] = {};
  uint64_t Total() const;
};

// The category of a full type code of platform/follow.h.
ObjectCategory CategoryOfFollowType(int typeCode);

class StackTracker {
 public:
  static constexpr size_t kMaxKeptStacks = 1000;

  // Notes what the program holds `milliseconds` after the first sample.
  // `systemCount` is the process's GDI count as the system gives it, or -1
  // where it gives none.
  void Note(const platform::FollowState& state, uint64_t milliseconds,
            int64_t systemCount);
  // Judges every kept stack, for Left(); once, at the end.
  void Judge();

  // The kept stacks that hold objects at the last sample, in the order of
  // StackGrowsBefore. Read after Judge().
  const std::vector<const StackGrowth*>& Left() const {
    assert(judged_ && "Left() is read after Judge()");
    return left_;
  }
  // Every kept stack, in no order.
  const std::deque<StackGrowth>& Kept() const { return kept_; }
  // The live count of kept stack `stack` over the watch, as its verdict
  // reads it.
  const TrendSummary& SeriesOf(const StackGrowth& stack) const {
    return series_[keptById_.at(stack.id)].summary;
  }

  uint64_t Samples() const { return samples_; }
  uint64_t LastMilliseconds() const { return lastMilliseconds_; }
  // Live objects without a stack: the agent's room for stacks was full.
  const CategoryCounts& WithoutStack() const { return withoutStack_; }
  // Live objects on stacks beyond kMaxKeptStacks, and how many such stacks
  // the last sample held.
  const CategoryCounts& BeyondKept() const { return beyondKept_; }
  uint32_t StacksBeyondKept() const { return stacksBeyondKept_; }
  // The objects the system counts for the process beyond those followed
  // (made before following began, or by a path not followed), at the last
  // sample that had the count; -1 where the system gave none.
  int64_t Unseen() const { return unseen_; }
  // The process's GDI count as the system gave it at the last sample that
  // had one, or -1.
  int64_t SystemCount() const { return systemCount_; }
  // All the objects alive at the last sample that kestrel followed.
  uint64_t FollowedLive() const;

  const platform::FollowState& Program() const { return program_; }
  // Kept stacks given up, holding nothing, for a new one.
  uint64_t StacksReplaced() const { return replaced_; }

 private:
  struct Series {
    TrendSummary summary;
    uint64_t lastSample = 0;  // the sample that last saw it
  };
  // A place for a new stack, its series begun; kept_.size() when none is
  // left.
  size_t Keep(const platform::FollowedStack& stack);

  std::deque<StackGrowth> kept_;
  std::deque<Series> series_;  // beside kept_, by index
  std::unordered_map<uint32_t, size_t> keptById_;
  std::vector<const StackGrowth*> left_;
  bool judged_ = false;
  uint64_t samples_ = 0;
  uint64_t previousMilliseconds_ = 0;
  uint64_t lastMilliseconds_ = 0;
  CategoryCounts withoutStack_;
  CategoryCounts beyondKept_;
  uint32_t stacksBeyondKept_ = 0;
  int64_t unseen_ = -1;
  int64_t systemCount_ = -1;
  uint64_t replaced_ = 0;
  uint64_t noPlaceAtSample_ = 0;  // the sample whose search found no place
  // The program's identity, exit and children; its stacks left empty.
  platform::FollowState program_;
};
