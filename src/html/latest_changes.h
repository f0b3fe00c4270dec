// The changes of each sample as the watch's page shows them, kept within a
// budget of bytes. The latest are what a leak hunter reads: when a sample's
// changes would pass the budget, the earliest kept make room for them, so
// that those left out are always the first samples that had changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

class LatestChanges {
 public:
  explicit LatestChanges(size_t budget) : budget_(budget) {}

  // The most bytes one sample's block may take.
  size_t Budget() const { return budget_; }

  // Keeps `block`, the changes of sample `sample`, dropping the earliest
  // kept until it fits. A block larger than the whole budget is left out,
  // and so is every one before it.
  void Add(uint64_t sample, std::string block);
  // Leaves out sample `sample`, whose changes are larger than the budget
  // before they are rendered, and every one before it.
  void LeaveOutUpTo(uint64_t sample);

  // The samples left out, all before those kept, and the last of them.
  uint64_t LeftOut() const { return leftOut_; }
  uint64_t LastLeftOut() const { return lastLeftOut_; }

  // Calls `visit` with each block kept, in the order they came.
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const Block& block : blocks_)
      visit(block.text);
  }

 private:
  struct Block {
    uint64_t sample;
    std::string text;
  };
  void DropEarliest();

  size_t budget_;
  size_t bytes_ = 0;
  std::deque<Block> blocks_;
  uint64_t leftOut_ = 0;
  uint64_t lastLeftOut_ = 0;
};
