// Finds a process record by PID in a few probes, whatever the process
// table's bins look like: open addressing over a power-of-two array kept at
// most a quarter full. The process table keeps it beside its bins, which
// alone fix the printing order.
#pragma once

#include <cstdint>

struct ProcessRecord;

// The index's lookup state, copied by value: a loop of many lookups (the
// scan) keeps a copy in locals, which stay in registers, where the index's
// own fields would be read again after every store the loop makes through a
// pointer. A copy is good until the next insertion.
struct PidFinder {
  struct Slot {
    uint32_t pid;
    uint32_t number;        // 0 for the first PID inserted, 1 for the next...
    ProcessRecord* record;  // null: an empty slot
  };

  // The slot that holds `pid`, or null. No held PID lies more than
  // longestProbe slots past its home slot, so a lookup looks no further: an
  // absent PID whose home slot starts a long run of held ones is answered at
  // once, whatever PIDs were chosen.
  const Slot* SlotOf(uint32_t pid) const {
    if (!slots)
      return nullptr;
    return SlotFrom(pid, HomeSlot(pid));
  }

  // SlotOf for a PID whose home slot is `home`, in an index that has slots.
  const Slot* SlotFrom(uint32_t pid, uint32_t home) const {
    uint32_t slot = home;
    for (uint32_t steps = 0;; ++steps) {
      const Slot& held = slots[slot];
      if (!held.record)
        return nullptr;
      if (held.pid == pid)
        return &held;
      if (steps == longestProbe)
        return nullptr;
      slot = (slot + 1) & mask;
    }
  }

  // The record held under `pid`, or null.
  ProcessRecord* Find(uint32_t pid) const {
    const Slot* slot = SlotOf(pid);
    return slot ? slot->record : nullptr;
  }

  // The slot a PID starts its probe at: its top bits after a multiplication.
  // By default the multiplier is the golden ratio's (Fibonacci hashing): it
  // spreads PIDs that step by a constant, as Windows hands them out, evenly
  // and in a regular pattern that lookups in PID order can prefetch. Any
  // fixed function has sets of PIDs that share a slot, though, and a session
  // description may hold any set; so once an insertion probes too far the
  // index is rebuilt with the PID mixed and multiplied by a random odd number
  // drawn once a run, against which no set chosen in advance clusters. The
  // mix matters: a multiplication alone maps a set with a lattice's
  // structure (multiples of a number, cut to 32 bits) to runs of home slots
  // for some multipliers.
  uint32_t HomeSlot(uint32_t pid) const {
    return guarded ? GuardedHome(pid) : FibonacciHome(pid);
  }
  uint32_t FibonacciHome(uint32_t pid) const {
    return (pid * kGoldenRatio) >> (shift - 32);
  }
  uint32_t GuardedHome(uint32_t pid) const {
    return static_cast<uint32_t>((Mix(pid) * multiplier) >> shift);
  }

  // A fixed mix that breaks up regular sets of PIDs; a bijection, so
  // distinct PIDs stay distinct.
  static uint32_t Mix(uint32_t pid) {
    pid ^= pid >> 16;
    pid *= 0x45D9F3Bu;
    pid ^= pid >> 16;
    return pid;
  }

  static constexpr uint32_t kGoldenRatio = 0x9E3779B1u;

  Slot* slots = nullptr;      // null until the first insertion
  uint32_t mask = 0;          // slot count - 1
  uint32_t shift = 64;        // 64 - log2(slot count)
  uint32_t longestProbe = 0;  // the most slots a held PID lies past its home
  bool guarded = false;       // hashing with the random multiplier
  uint64_t multiplier = 0;
};

class PidIndex {
 public:
  PidIndex() = default;
  ~PidIndex();
  PidIndex(const PidIndex&) = delete;
  PidIndex& operator=(const PidIndex&) = delete;

  // The record held under `pid`, or null.
  ProcessRecord* Find(uint32_t pid) const { return finder_.Find(pid); }
  const PidFinder& Finder() const { return finder_; }

  // Adds `record` under `pid`, which must not be held yet, as number
  // Count(). Raises OutOfMemoryError when the index cannot grow.
  void Insert(uint32_t pid, ProcessRecord* record);
  uint32_t Count() const { return count_; }

  void Clear();

 private:
  // An insertion that probes further than this, or insertions that probe
  // this many times their count in all, switch the index to the guarded
  // hash.
  static constexpr uint32_t kLongProbe = 64;
  static constexpr uint64_t kProbesPerInsert = 8;

  // The index is kept at most a quarter full, so that the Fibonacci hash
  // gives the PIDs of a system each a home slot of its own, and lookups end
  // at the first slot they look at: a scan looks up PIDs in no order, and
  // every further slot is a branch it mispredicts (at half full a scan took
  // a fifth longer). Under the guarded hash, whose home slots are as good as
  // random, nine lookups in ten still end there. That is 64 bytes a
  // process, beside the record's 616.
  static constexpr uint64_t kSlotsPerPid = 4;

  // Puts `held` in the first empty slot from its PID's home slot on,
  // counting the probes.
  void Place(const PidFinder::Slot& held);
  // Puts every held PID where the present hash wants it, in `slots` new
  // slots.
  void Rebuild(uint32_t slots);
  void Grow();

  PidFinder finder_;
  uint32_t count_ = 0;
  uint64_t probes_ = 0;  // probes of all insertions under the present hash
};
