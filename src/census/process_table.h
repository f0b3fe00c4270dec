// The processes of a run, keyed by PID.
//
// A chained hash table whose bin layout is fixed exactly, because its
// iteration order is the order in which the report prints processes: bins
// from 0 upward, each chain from its head, newest insertion first.
#pragma once

#include <cstdint>

#include "census/out_of_memory.h"
#include "census/pid_index.h"
#include "census/process_record.h"

// The bin count for holding `count` records at the optimal load of 0.75.
uint32_t PickSize(uint32_t count);

class ProcessTable {
 public:
  // The chain link sits before the record, so that walking a chain reads
  // one cache line a node.
  struct Node {
    uint32_t key = 0;
    uint32_t hash = 0;
    Node* next = nullptr;
    ProcessRecord record;
  };

  ProcessTable();
  ~ProcessTable();
  ProcessTable(const ProcessTable&) = delete;
  ProcessTable& operator=(const ProcessTable&) = delete;

  // Inserts a copy of `record` under `pid`, or replaces the one held there.
  void Set(uint32_t pid, const ProcessRecord& record);
  // Inline: the scan looks up every used entry's owner.
  ProcessRecord* Lookup(uint32_t pid) { return index_.Find(pid); }
  const ProcessRecord* Lookup(uint32_t pid) const { return index_.Find(pid); }
  // Lookup's state for a loop of lookups to copy; good until the next Set.
  // It hands out the records to change, so a const table has none.
  const PidFinder& Finder() { return index_.Finder(); }
  uint32_t Count() const { return count_; }
  // Frees every record, node block and the bin array.
  void Clear();

  // Iteration in bin order; null past the last record.
  Node* First() const;
  Node* Next(const Node* node) const;

  uint32_t BinCount() const { return binCount_; }
  uint32_t HighRehashThreshold() const { return highThreshold_; }

 private:
  struct NodeBlock;

  uint32_t BinOf(uint32_t hash) const;
  void Rehash(uint32_t newBins);
  void SetBinCount(uint32_t bins);
  // Room for one node, from the newest block of ten.
  void* TakeNodeStorage();

  PidIndex index_;
  Node** bins_ = nullptr;
  uint32_t binCount_ = 0;
  uint32_t count_ = 0;
  uint32_t highThreshold_ = 0;
  NodeBlock* blocks_ = nullptr;
};
