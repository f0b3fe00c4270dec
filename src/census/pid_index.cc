#include "census/pid_index.h"

#include <cstdlib>

#include "census/process_table.h"

PidIndex::~PidIndex() { Clear(); }

void PidIndex::Insert(uint32_t pid, ProcessRecord* record) {
  if (!slots_ || 2 * (static_cast<uint64_t>(count_) + 1) > mask_ + 1ull)
    Grow();
  Slot* slot = SlotOf(pid);
  slot->pid = pid;
  slot->record = record;
  ++count_;
}

void PidIndex::Grow() {
  uint32_t oldSlots = slots_ ? mask_ + 1 : 0;
  uint32_t slots = oldSlots ? 2 * oldSlots : 64;
  auto* grown = static_cast<Slot*>(std::calloc(slots, sizeof(Slot)));
  if (!grown)
    throw OutOfMemoryError();
  Slot* old = slots_;
  slots_ = grown;
  mask_ = slots - 1;
  for (uint32_t i = 0; i < oldSlots; ++i) {
    if (old[i].record)
      *SlotOf(old[i].pid) = old[i];
  }
  std::free(old);
}

void PidIndex::Clear() {
  std::free(slots_);
  slots_ = nullptr;
  mask_ = 0;
  count_ = 0;
}
