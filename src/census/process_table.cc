#include "census/process_table.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr float kOptimalLoad = 0.75f;
constexpr float kHighThresholdFactor = 2.25f;
constexpr uint32_t kInitialBins = 17;
constexpr int kNodesPerBlock = 10;

constexpr uint32_t kPrimes[] = {
    17,      23,      29,       37,       41,         53,      67,      83,
    103,     131,     163,      211,      257,        331,     409,     521,
    647,     821,     1031,     1291,     1627,       2053,    2591,    3251,
    4099,    5167,    6521,     8209,     10331,      13007,   16411,   20663,
    26017,   32771,   41299,    52021,    65537,      82571,   104033,  131101,
    165161,  208067,  262147,   330287,   416147,     524309,  660563,  832291,
    1048583, 1321139, 1664543,  2097169,  2642257,    3329023, 4194319, 5284493,
    6658049, 8388617, 10568993, 13316089, 4294967295u};
static_assert(sizeof(kPrimes) / sizeof(kPrimes[0]) == 61,
              "60 primes and the end marker");

// floor(factor * bins) in single precision, saturated to 32 bits.
uint32_t Threshold(float factor, uint32_t bins) {
  float product = factor * static_cast<float>(bins);
  if (product >= 4294967296.0f)
    return 4294967295u;
  return static_cast<uint32_t>(product);
}

}  // namespace

uint32_t PickSize(uint32_t count) {
  float quotient = static_cast<float>(count) / kOptimalLoad;
  uint32_t estimate =
      quotient >= 4294967296.0f ? 4294967295u : static_cast<uint32_t>(quotient);
  for (uint32_t prime : kPrimes) {
    if (prime >= estimate)
      return prime == 4294967295u ? estimate : prime;
  }
  return estimate;
}

// Nodes are constructed in place as they are taken, front to back, so a new
// block costs no writes until its nodes are used.
struct ProcessTable::NodeBlock {
  union Slot {
    Slot() {}
    ~Slot() {}
    Node node;
  };
  NodeBlock* next = nullptr;
  int used = 0;
  Slot slots[kNodesPerBlock];
};

ProcessTable::ProcessTable() { SetBinCount(kInitialBins); }

ProcessTable::~ProcessTable() { Clear(); }

void ProcessTable::SetBinCount(uint32_t bins) {
  binCount_ = bins;
  highThreshold_ = Threshold(kHighThresholdFactor, bins);
}

uint32_t ProcessTable::BinOf(uint32_t hash) const { return hash % binCount_; }

void* ProcessTable::TakeNodeStorage() {
  if (!blocks_ || blocks_->used == kNodesPerBlock) {
    auto* block = new (std::nothrow) NodeBlock;
    if (!block)
      throw OutOfMemoryError();
    block->next = blocks_;
    blocks_ = block;
  }
  return &blocks_->slots[blocks_->used++].node;
}

void ProcessTable::Set(uint32_t pid, const ProcessRecord& record) {
  if (!bins_) {
    // An array of node pointers. NOLINTNEXTLINE(bugprone-sizeof-expression)
    bins_ = static_cast<Node**>(std::calloc(binCount_, sizeof(Node*)));
    if (!bins_)
      throw OutOfMemoryError();
  }
  if (ProcessRecord* held = index_.Find(pid)) {
    *held = record;
    return;
  }
  uint32_t hash = pid;
  Node** head = &bins_[BinOf(hash)];
  *head = new (TakeNodeStorage()) Node{pid, hash, *head, record};
  index_.Insert(pid, &(*head)->record);
  ++count_;
  if (count_ > highThreshold_)
    Rehash(PickSize(count_));
}

void ProcessTable::Rehash(uint32_t newBins) {
  if (newBins == binCount_)
    return;
  if (!bins_) {
    SetBinCount(newBins);
    return;
  }
  // An array of node pointers. NOLINTNEXTLINE(bugprone-sizeof-expression)
  auto** newHeads = static_cast<Node**>(std::calloc(newBins, sizeof(Node*)));
  if (!newHeads)
    throw OutOfMemoryError();
  for (uint32_t bin = 0; bin < binCount_; ++bin) {
    Node* node = bins_[bin];
    while (node) {
      Node* next = node->next;
      Node** head = &newHeads[node->hash % newBins];
      node->next = *head;
      *head = node;
      node = next;
    }
  }
  std::free(bins_);
  bins_ = newHeads;
  SetBinCount(newBins);
}

void ProcessTable::Clear() {
  while (blocks_) {
    NodeBlock* next = blocks_->next;
    for (int i = 0; i < blocks_->used; ++i)
      blocks_->slots[i].node.~Node();
    delete blocks_;
    blocks_ = next;
  }
  std::free(bins_);
  bins_ = nullptr;
  index_.Clear();
  count_ = 0;
  // A cleared table lays out its records as a new one does.
  SetBinCount(kInitialBins);
}

ProcessTable::Node* ProcessTable::First() const {
  if (!bins_)
    return nullptr;
  for (uint32_t bin = 0; bin < binCount_; ++bin) {
    if (bins_[bin])
      return bins_[bin];
  }
  return nullptr;
}

ProcessTable::Node* ProcessTable::Next(const Node* node) const {
  if (node->next)
    return node->next;
  for (uint32_t bin = BinOf(node->hash) + 1; bin < binCount_; ++bin) {
    if (bins_[bin])
      return bins_[bin];
  }
  return nullptr;
}
