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

  // The slot a PID starts its probe at: its top bits after a multiplication.
  // By default the multiplier is the golden ratio's (Fibonacci hashing): it
  // spreads PIDs that step by a constant, as Windows hands them out, evenly
  // and in a regular pattern that lookups in PID order can prefetch. Any
  // fixed function has sets of PIDs that share a slot, though, and a session
  // description may hold any set; so once an insertion probes too far the
  // index is rebuilt with the PID mixed and multiplied by a random odd
  // number drawn once a run, against which no set chosen in advance
  // clusters.
  uint32_t HomeSlot(uint32_t pid) const {
    if (guarded_)
      return static_cast<uint32_t>((Mix(pid) * multiplier_) >> shift_);
    return (pid * kGoldenRatio) >> (shift_ - 32);
  }

  Slot* SlotOf(uint32_t pid, uint32_t* probes = nullptr) const {
    uint32_t slot = HomeSlot(pid);
    uint32_t steps = 0;
    while (slots_[slot].record && slots_[slot].pid != pid) {
      slot = (slot + 1) & mask_;
      ++steps;
    }
    if (probes)
      *probes = steps;
    return &slots_[slot];
  }

  // Puts every held PID where the present hash wants it, in `slots` new
  // slots.
  void Rebuild(uint32_t slots);

  static constexpr uint32_t kGoldenRatio = 0x9E3779B1u;
  // An insertion that probes further than this, or insertions that probe
  // this many times their count in all, switch the index to the guarded
  // hash.
  static constexpr uint32_t kLongProbe = 64;
  static constexpr uint64_t kProbesPerInsert = 8;

  void Grow();

  Slot* slots_ = nullptr;
  uint32_t mask_ = 0;    // slot count - 1
  uint32_t shift_ = 64;  // 64 - log2(slot count)
  uint64_t multiplier_ = 0;
  uint32_t count_ = 0;
  uint64_t probes_ = 0;   // probes of all insertions under the present hash
  bool guarded_ = false;  // hashing with the random multiplier
};
