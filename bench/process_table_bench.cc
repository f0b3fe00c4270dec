// The cost of one insertion and of one lookup in the process table, at 1,000
// and at 100,000 records: the table should not slow down as it grows; an
// insertion at 100,000 also beside its floor, a bare copy of the record into
// a node. And PIDs chosen against the PID index, which must cost what
// ordinary ones do: 100,000 insertions and lookups of PIDs that collide in
// its default (Fibonacci) hash, and lookups of absent PIDs among 131,071 PIDs
// whose home slots are distinct and contiguous (one run as long as they).
//
// An iteration inserts (or looks up) every record of the size under test; the
// per-operation cost is the iteration time divided by the record count. The
// ordinary PIDs are distinct multiples of 4, as on Windows, inserted and
// looked up in two different random orders. Tearing a table down is not an
// insertion, so the insertion benchmark times its insertions alone (manual
// time).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <new>
#include <numeric>
#include <random>
#include <vector>

#include "bench/keep_memory.h"
#include "bench/thread_clock.h"
#include "census/process_table.h"

namespace {

// `count` distinct PIDs in random order, and the same PIDs in another order.
struct PidOrders {
  std::vector<uint32_t> insertion;
  std::vector<uint32_t> lookup;
};

PidOrders MakePidOrders(uint32_t count) {
  std::mt19937 random(count);
  std::vector<uint32_t> pids(2 * static_cast<size_t>(count));
  std::iota(pids.begin(), pids.end(), 1u);
  for (uint32_t& pid : pids)
    pid *= 4;
  std::shuffle(pids.begin(), pids.end(), random);
  pids.resize(count);
  PidOrders orders;
  orders.insertion = pids;
  std::shuffle(pids.begin(), pids.end(), random);
  orders.lookup = pids;
  return orders;
}

// `count` distinct PIDs whose products with the PID index's default
// multiplier agree in their top 15 bits: they all pick one of eight
// neighbouring home slots of a 2^18-slot array, and of every smaller one.
std::vector<uint32_t> CraftedPids(uint32_t count) {
  const uint32_t kMultiplier = 0x9E3779B1u;
  uint32_t inverse = kMultiplier;  // Newton's iteration for 1 / multiplier
  for (int i = 0; i < 5; ++i)
    inverse *= 2 - kMultiplier * inverse;
  std::vector<uint32_t> pids;
  for (uint32_t low = 1; pids.size() < count; ++low)
    pids.push_back(low * inverse);  // products 1, 2, 3, ...: slot 0 and on
  return pids;
}

// 2^(bits - 2) - 1 distinct PIDs whose Fibonacci hashes have distinct top
// `bits` bits 1, 2, 3, ...: in the index's 2^bits slots, which it reaches
// with them (it is kept a quarter full), they fill one contiguous run of
// home slots without a collision. Inserted in the order of their
// bit-reversed numbers, they also have distinct home slots in every smaller
// index on the way.
std::vector<uint32_t> ContiguousPids(int bits) {
  const uint32_t kMultiplier = 0x9E3779B1u;
  uint32_t inverse = kMultiplier;
  for (int i = 0; i < 5; ++i)
    inverse *= 2 - kMultiplier * inverse;
  const int numberBits = bits - 2;
  std::vector<uint32_t> pids;
  for (uint32_t i = 1; i < (1u << numberBits); ++i) {
    uint32_t number = 0;
    for (int bit = 0; bit < numberBits; ++bit)
      number |= ((i >> bit) & 1u) << (numberBits - 1 - bit);
    pids.push_back((number << (32 - bits)) * inverse);
  }
  return pids;
}

// Absent PIDs whose home slots lie in the run of `pids` (ContiguousPids):
// each shares its hash's top bits with one of them.
std::vector<uint32_t> AbsentAmongContiguous(const std::vector<uint32_t>& pids,
                                            size_t count) {
  const uint32_t kMultiplier = 0x9E3779B1u;
  std::mt19937 random(7);
  std::vector<uint32_t> absent;
  while (absent.size() < count) {
    uint32_t present = pids[random() % pids.size()];
    uint32_t inverse = kMultiplier;
    for (int i = 0; i < 5; ++i)
      inverse *= 2 - kMultiplier * inverse;
    absent.push_back((present * kMultiplier + 1) * inverse);
  }
  return absent;
}

ProcessRecord SampleRecord() {
  ProcessRecord record;
  const char16_t name[] = u"RuntimeBroker.exe";
  std::copy(std::begin(name), std::end(name), record.exeName);
  record.guiObjectCount = 57;
  return record;
}

// Times the insertion of `pids` into a new table, once an iteration.
void InsertAll(benchmark::State& state, const std::vector<uint32_t>& pids) {
  ProcessRecord record = SampleRecord();
  for (auto _ : state) {
    auto table = std::make_unique<ProcessTable>();
    double start = ThreadCpuSeconds();
    for (uint32_t pid : pids) {
      record.pid = pid;
      table->Set(pid, record);
    }
    benchmark::ClobberMemory();
    state.SetIterationTime(ThreadCpuSeconds() - start);
    if (table->Count() != pids.size()) {
      state.SkipWithError("the table lost records");
      break;
    }
  }
  state.counters["records"] = static_cast<double>(pids.size());
}

void BM_Insert(benchmark::State& state) {
  const uint32_t count = static_cast<uint32_t>(state.range(0));
  const PidOrders orders = MakePidOrders(count);
  InsertAll(state, orders.insertion);
}
BENCHMARK(BM_Insert)->Arg(1000)->Arg(100000)->UseManualTime()->Unit(
    benchmark::kMicrosecond);

// The least an insertion does: a copy of the record into a node of its own,
// the nodes allocated ten at a time as the table's are, with no index and no
// bins. At 100,000 records the nodes (over 600 bytes of record each) outgrow
// the caches, and the copies cost what cold memory does, in both.
void BM_InsertFloor(benchmark::State& state) {
  const PidOrders orders = MakePidOrders(static_cast<uint32_t>(state.range(0)));
  using Node = ProcessTable::Node;
  struct Block {
    alignas(Node) unsigned char storage[10 * sizeof(Node)];
  };
  ProcessRecord record = SampleRecord();
  for (auto _ : state) {
    std::vector<std::unique_ptr<Block>> blocks;
    blocks.reserve(orders.insertion.size() / 10 + 1);
    double start = ThreadCpuSeconds();
    size_t used = 10;
    for (uint32_t pid : orders.insertion) {
      if (used == 10) {
        blocks.push_back(std::make_unique<Block>());
        used = 0;
      }
      record.pid = pid;
      // The records hold no handles: their nodes need no destruction.
      new (blocks.back()->storage + sizeof(Node) * used++)
          Node{pid, pid, nullptr, record};
    }
    benchmark::ClobberMemory();
    state.SetIterationTime(ThreadCpuSeconds() - start);
  }
  state.counters["records"] = static_cast<double>(orders.insertion.size());
}
BENCHMARK(BM_InsertFloor)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_InsertCrafted(benchmark::State& state) {
  const uint32_t count = static_cast<uint32_t>(state.range(0));
  const std::vector<uint32_t> pids = CraftedPids(count);
  InsertAll(state, pids);
}
BENCHMARK(BM_InsertCrafted)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_Lookup(benchmark::State& state) {
  const uint32_t count = static_cast<uint32_t>(state.range(0));
  const PidOrders orders = MakePidOrders(count);
  ProcessTable table;
  ProcessRecord record = SampleRecord();
  for (uint32_t pid : orders.insertion) {
    record.pid = pid;
    table.Set(pid, record);
  }
  // Nodes a successful lookup visits on average: the chains' length, which
  // the rehash rule keeps short at every size.
  double visits = 0;
  uint32_t previousBin = table.BinCount();  // no bin yet
  uint32_t position = 0;
  for (const ProcessTable::Node* node = table.First(); node;
       node = table.Next(node)) {
    uint32_t bin = node->hash % table.BinCount();
    position = bin == previousBin ? position + 1 : 1;
    previousBin = bin;
    visits += position;
  }
  for (auto _ : state) {
    uint32_t found = 0;
    for (uint32_t pid : orders.lookup)
      found += table.Lookup(pid) != nullptr;
    benchmark::DoNotOptimize(found);
    if (found != count) {
      state.SkipWithError("a record was not found");
      break;
    }
  }
  state.counters["records"] = count;
  state.counters["visits"] = visits / count;
}
BENCHMARK(BM_Lookup)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Looks each of `lookups` up, once an iteration, in a table of `pids`; all
// are present, or all absent.
void LookUp(benchmark::State& state, const std::vector<uint32_t>& pids,
            const std::vector<uint32_t>& lookups, bool present) {
  ProcessTable table;
  ProcessRecord record = SampleRecord();
  for (uint32_t pid : pids) {
    record.pid = pid;
    table.Set(pid, record);
  }
  for (auto _ : state) {
    size_t found = 0;
    for (uint32_t pid : lookups)
      found += table.Lookup(pid) != nullptr;
    benchmark::DoNotOptimize(found);
    if (found != (present ? lookups.size() : 0)) {
      state.SkipWithError("a lookup answered wrongly");
      break;
    }
  }
  state.counters["records"] = static_cast<double>(pids.size());
  state.counters["lookups"] = static_cast<double>(lookups.size());
}

void BM_LookupCrafted(benchmark::State& state) {
  const std::vector<uint32_t> pids =
      CraftedPids(static_cast<uint32_t>(state.range(0)));
  std::vector<uint32_t> lookups = pids;
  std::shuffle(lookups.begin(), lookups.end(), std::mt19937(5));
  LookUp(state, pids, lookups, true);
}
BENCHMARK(BM_LookupCrafted)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Absent PIDs: 1,024 lookups among 131,071 records, whose PIDs have
// contiguous home slots or are ordinary.
constexpr size_t kAbsentLookups = 1024;

void BM_LookupAbsentContiguous(benchmark::State& state) {
  const std::vector<uint32_t> pids = ContiguousPids(19);
  LookUp(state, pids, AbsentAmongContiguous(pids, kAbsentLookups), false);
}
BENCHMARK(BM_LookupAbsentContiguous)->Unit(benchmark::kMicrosecond);

void BM_LookupAbsentOrdinary(benchmark::State& state) {
  const uint32_t count = (1u << 17) - 1;
  // MakePidOrders picks `count` of the first 2 * count multiples of 4; the
  // others are absent.
  const PidOrders orders = MakePidOrders(count);
  std::vector<uint32_t> sorted = orders.insertion;
  std::sort(sorted.begin(), sorted.end());
  std::vector<uint32_t> absent;
  for (uint32_t pid = 4; absent.size() < kAbsentLookups; pid += 4 * 97) {
    if (!std::binary_search(sorted.begin(), sorted.end(), pid))
      absent.push_back(pid);
  }
  std::shuffle(absent.begin(), absent.end(), std::mt19937(3));
  LookUp(state, orders.insertion, absent, false);
}
BENCHMARK(BM_LookupAbsentOrdinary)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
