#include "census/pid_index.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "census/out_of_memory.h"

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
  uint32_t probes = 0;
  Slot* slot = SlotOf(pid, &probes);
  slot->pid = pid;
  slot->record = record;
  ++count_;
  probes_ += probes;
  if (!guarded_ && (probes > kLongProbe ||
                    probes_ > kProbesPerInsert * count_ + kLongProbe)) {
    static const uint64_t kMultiplier = DrawMultiplier();
    guarded_ = true;
    multiplier_ = kMultiplier;
    Rebuild(mask_ + 1);
  }
}

void PidIndex::Grow() { Rebuild(slots_ ? 2 * (mask_ + 1) : 64); }

void PidIndex::Rebuild(uint32_t slots) {
  uint32_t oldSlots = slots_ ? mask_ + 1 : 0;
  auto* rebuilt = static_cast<Slot*>(std::calloc(slots, sizeof(Slot)));
  if (!rebuilt)
    throw OutOfMemoryError();
  Slot* old = slots_;
  slots_ = rebuilt;
  mask_ = slots - 1;
  shift_ = 64;
  for (uint32_t n = slots; n > 1; n >>= 1)
    --shift_;
  probes_ = 0;
  for (uint32_t i = 0; i < oldSlots; ++i) {
    if (old[i].record) {
      uint32_t probes = 0;
      *SlotOf(old[i].pid, &probes) = old[i];
      probes_ += probes;
    }
  }
  std::free(old);
}

void PidIndex::Clear() {
  std::free(slots_);
  slots_ = nullptr;
  mask_ = 0;
  shift_ = 64;
  count_ = 0;
  probes_ = 0;
  guarded_ = false;
}
