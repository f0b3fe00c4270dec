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
  if (!finder_.slots ||
      kSlotsPerPid * (uint64_t{count_} + 1) > uint64_t{finder_.mask} + 1)
    Grow();
  Place({pid, count_, record});
  ++count_;
  if (!finder_.guarded && (finder_.longestProbe > kLongProbe ||
                           probes_ > kProbesPerInsert * count_ + kLongProbe)) {
    static const uint64_t kMultiplier = DrawMultiplier();
    finder_.guarded = true;
    finder_.multiplier = kMultiplier;
    Rebuild(finder_.mask + 1);
  }
}

void PidIndex::Place(const PidFinder::Slot& held) {
  uint32_t slot = finder_.HomeSlot(held.pid);
  uint32_t probes = 0;
  while (finder_.slots[slot].record) {
    slot = (slot + 1) & finder_.mask;
    ++probes;
  }
  finder_.slots[slot] = held;
  probes_ += probes;
  if (probes > finder_.longestProbe)
    finder_.longestProbe = probes;
}

void PidIndex::Grow() { Rebuild(finder_.slots ? 2 * (finder_.mask + 1) : 64); }

void PidIndex::Rebuild(uint32_t slots) {
  using Slot = PidFinder::Slot;
  uint32_t oldSlots = finder_.slots ? finder_.mask + 1 : 0;
  auto* rebuilt = static_cast<Slot*>(std::calloc(slots, sizeof(Slot)));
  if (!rebuilt)
    throw OutOfMemoryError();
  Slot* old = finder_.slots;
  finder_.slots = rebuilt;
  finder_.mask = slots - 1;
  finder_.shift = 64;
  for (uint32_t n = slots; n > 1; n >>= 1)
    --finder_.shift;
  finder_.longestProbe = 0;
  probes_ = 0;
  for (uint32_t i = 0; i < oldSlots; ++i) {
    if (old[i].record)
      Place(old[i]);
  }
  std::free(old);
}

void PidIndex::Clear() {
  std::free(finder_.slots);
  finder_ = PidFinder();
  count_ = 0;
  probes_ = 0;
}
