#include "census/pid_index.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "census/process_table.h"

namespace {

// An odd 64-bit number that differs from run to run: the clock's count and
// this run's stack address, through a 64-bit finalizer.
uint64_t DrawMultiplier() {
  uint64_t x = static_cast<uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  x ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&x));
  x ^= x >> 33;
  x *= 0xFF51AFD7ED558CCDull;
  x ^= x >> 33;
  x *= 0xC4CEB9FE1A85EC53ull;
  x ^= x >> 33;
  return x | 1;
}

}  // namespace

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
  static const uint64_t kMultiplier = DrawMultiplier();
  uint32_t oldSlots = slots_ ? mask_ + 1 : 0;
  uint32_t slots = oldSlots ? 2 * oldSlots : 64;
  auto* grown = static_cast<Slot*>(std::calloc(slots, sizeof(Slot)));
  if (!grown)
    throw OutOfMemoryError();
  Slot* old = slots_;
  slots_ = grown;
  mask_ = slots - 1;
  multiplier_ = kMultiplier;
  shift_ = oldSlots ? shift_ - 1 : 64 - 6;  // 64 slots: the top six bits
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
  shift_ = 64;
  count_ = 0;
}
