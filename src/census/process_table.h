// The processes of a run, keyed by PID.
//
// A chained hash table whose bin layout is fixed exactly, because its
// iteration order is the order in which the report prints processes: bins
// from 0 upward, each chain from its head, newest insertion first.
#pragma once

#include <cstdint>
#include <new>

#include "census/process_record.h"

// Raised when the table cannot allocate its bins or nodes (E_OUTOFMEMORY).
struct OutOfMemoryError : std::bad_alloc {
  static constexpr uint32_t kCode = 0x8007000E;
  const char* what() const noexcept override { return "out of memory"; }
};

// The bin count for holding `count` records at the optimal load of 0.75.
uint32_t PickSize(uint32_t count);

class ProcessTable {
 public:
  struct Node {
    uint32_t key = 0;
    uint32_t hash = 0;
    ProcessRecord record;
    Node* next = nullptr;
  };

  ProcessTable();
  ~ProcessTable();
  ProcessTable(const ProcessTable&) = delete;
  ProcessTable& operator=(const ProcessTable&) = delete;

  // Inserts a copy of `record` under `pid`, or replaces the one held there.
  void Set(uint32_t pid, const ProcessRecord& record);
  ProcessRecord* Lookup(uint32_t pid);
  uint32_t Count() const { return count_; }
  // Frees every record, node block and the bin array.
  void Clear();

  // Iteration in bin order; null past the last record.
  Node* First() const;
  Node* Next(const Node* node) const;

  uint32_t BinCount() const { return binCount_; }
  uint32_t HighRehashThreshold() const { return highThreshold_; }
  uint32_t LowRehashThreshold() const { return lowThreshold_; }

 private:
  struct NodeBlock;

  uint32_t BinOf(uint32_t hash) const;
  void Rehash(uint32_t newBins);
  void SetBinCount(uint32_t bins);
  Node* TakeNode();

  Node** bins_ = nullptr;
  uint32_t binCount_ = 0;
  uint64_t binDivisor_ = 0;  // precomputed for BinOf's division-free modulo
  uint32_t count_ = 0;
  uint32_t highThreshold_ = 0;
  uint32_t lowThreshold_ = 0;
  Node* freeNodes_ = nullptr;
  NodeBlock* blocks_ = nullptr;
};
