// Finds a process record by PID in a few probes, whatever the process
// table's bins look like: open addressing over a power-of-two array kept at
// most half full. The process table keeps it beside its bins, which alone fix
// the printing order.
#pragma once

#include <cstdint>

struct ProcessRecord;

class PidIndex {
 public:
  PidIndex() = default;
  ~PidIndex();
  PidIndex(const PidIndex&) = delete;
  PidIndex& operator=(const PidIndex&) = delete;

  // The record held under `pid`, or null.
  ProcessRecord* Find(uint32_t pid) const {
    if (!slots_)
      return nullptr;
    return SlotOf(pid)->record;
  }

  // Adds `record` under `pid`, which must not be held yet. Raises
  // OutOfMemoryError when the index cannot grow.
  void Insert(uint32_t pid, ProcessRecord* record);

  void Clear();

 private:
  struct Slot {
    uint32_t pid;
    ProcessRecord* record;  // null: an empty slot
  };

  // A fixed mix that breaks up regular sets of PIDs (on Windows they are
  // multiples of four); a bijection, so distinct PIDs stay distinct.
  static uint32_t Mix(uint32_t pid) {
    pid ^= pid >> 16;
    pid *= 0x45D9F3Bu;
    pid ^= pid >> 16;
    return pid;
  }

  // The mixed key times a random odd multiplier, drawn once a run, picks the
  // slot with its top bits. Any fixed function of the PID has sets of PIDs
  // that share a slot, and a session description may hold any set; against
  // a multiplier it cannot know, two PIDs share a slot with a probability of
  // at most 2 / slot count, so no set clusters.
  uint32_t HomeSlot(uint32_t pid) const {
    return static_cast<uint32_t>((Mix(pid) * multiplier_) >> shift_);
  }

  Slot* SlotOf(uint32_t pid) const {
    uint32_t slot = HomeSlot(pid);
    while (slots_[slot].record && slots_[slot].pid != pid)
      slot = (slot + 1) & mask_;
    return &slots_[slot];
  }

  void Grow();

  Slot* slots_ = nullptr;
  uint32_t mask_ = 0;    // slot count - 1
  uint32_t shift_ = 64;  // 64 - log2(slot count)
  uint64_t multiplier_ = 0;
  uint32_t count_ = 0;
};
