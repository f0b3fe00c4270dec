#include "html/latest_changes.h"

#include <utility>

void LatestChanges::DropEarliest() {
  ++leftOut_;
  lastLeftOut_ = blocks_.front().sample;
  bytes_ -= blocks_.front().text.size();
  blocks_.pop_front();
}

void LatestChanges::LeaveOutUpTo(uint64_t sample) {
  while (!blocks_.empty())
    DropEarliest();
  ++leftOut_;
  lastLeftOut_ = sample;
}

void LatestChanges::Add(uint64_t sample, std::string block) {
  if (block.size() > budget_) {
    LeaveOutUpTo(sample);
    return;
  }
  while (bytes_ + block.size() > budget_)
    DropEarliest();
  bytes_ += block.size();
  blocks_.push_back({sample, std::move(block)});
}
