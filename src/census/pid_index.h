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

  // The key is mixed before it picks a slot, so that no choice of PIDs
  // clusters: PIDs are multiples of four on Windows, and a session
  // description may hold any set.
  static uint32_t Mix(uint32_t pid) {
    pid ^= pid >> 16;
    pid *= 0x45D9F3Bu;
    pid ^= pid >> 16;
    return pid;
  }

  Slot* SlotOf(uint32_t pid) const {
    uint32_t slot = Mix(pid) & mask_;
    while (slots_[slot].record && slots_[slot].pid != pid)
      slot = (slot + 1) & mask_;
    return &slots_[slot];
  }

  void Grow();

  Slot* slots_ = nullptr;
  uint32_t mask_ = 0;  // slot count - 1
  uint32_t count_ = 0;
};
