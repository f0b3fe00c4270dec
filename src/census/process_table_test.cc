#include "census/process_table.h"

#include <algorithm>
#include <deque>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

ProcessRecord MakeRecord(uint32_t pid, int32_t gdi) {
  ProcessRecord record;
  record.pid = pid;
  record.guiObjectCount = gdi;
  std::u16string name =
      u"p" + std::u16string(1, static_cast<char16_t>(u'a' + pid % 26));
  std::copy(name.begin(), name.end(), record.exeName);
  return record;
}

// The PIDs in iteration order.
std::vector<uint32_t> Order(const ProcessTable& table) {
  std::vector<uint32_t> pids;
  for (const ProcessTable::Node* node = table.First(); node;
       node = table.Next(node)) {
    pids.push_back(node->key);
    if (pids.size() > table.Count())
      break;  // a broken chain must not loop forever
  }
  return pids;
}

// An independent model of the layout: chains as lists, newest at the front,
// rehashed by walking the old bins upward and each chain from its head.
struct LayoutModel {
  uint32_t binCount = 17;
  uint32_t threshold = 38;
  std::vector<std::deque<uint32_t>> bins =
      std::vector<std::deque<uint32_t>>(17);
  size_t count = 0;

  void Set(uint32_t pid) {
    std::deque<uint32_t>& chain = bins[pid % binCount];
    if (std::find(chain.begin(), chain.end(), pid) != chain.end())
      return;
    chain.push_front(pid);
    if (++count > threshold) {
      uint32_t newBins = PickSize(static_cast<uint32_t>(count));
      std::vector<std::deque<uint32_t>> rebuilt(newBins);
      for (const std::deque<uint32_t>& old : bins) {
        for (uint32_t key : old)
          rebuilt[key % newBins].push_front(key);
      }
      bins = std::move(rebuilt);
      binCount = newBins;
      threshold = static_cast<uint32_t>(2.25f * static_cast<float>(newBins));
    }
  }

  std::vector<uint32_t> Order() const {
    std::vector<uint32_t> pids;
    for (const std::deque<uint32_t>& chain : bins)
      pids.insert(pids.end(), chain.begin(), chain.end());
    return pids;
  }
};

TEST(ProcessTableTest, StartsEmpty) {
  ProcessTable table;
  EXPECT_EQ(0u, table.Count());
  EXPECT_EQ(17u, table.BinCount());
  EXPECT_EQ(38u, table.HighRehashThreshold());
  EXPECT_EQ(nullptr, table.First());
  EXPECT_EQ(nullptr, table.Lookup(0));
  EXPECT_EQ(nullptr, table.Lookup(4));
}

TEST(ProcessTableTest, LaterInsertionInABinComesFirst) {
  // 4 and 21 both fall in bin 4 of 17.
  ProcessTable table;
  table.Set(4, MakeRecord(4, 6));
  table.Set(21, MakeRecord(21, 9));
  EXPECT_EQ((std::vector<uint32_t>{21, 4}), Order(table));
  EXPECT_EQ(6, table.Lookup(4)->guiObjectCount);
  EXPECT_EQ(9, table.Lookup(21)->guiObjectCount);
}

TEST(ProcessTableTest, IteratesAcrossBins) {
  // Bins 0, 3, 6 and 16, two records in 3 and in 16, empty bins between.
  ProcessTable table;
  for (uint32_t pid : {40u, 3u, 16u, 20u, 0u, 33u})
    table.Set(pid, MakeRecord(pid, 1));
  EXPECT_EQ((std::vector<uint32_t>{0, 20, 3, 40, 33, 16}), Order(table));
}

TEST(ProcessTableTest, SetReplacesAndKeepsTheCount) {
  ProcessTable table;
  table.Set(4, MakeRecord(4, 6));
  table.Set(21, MakeRecord(21, 9));
  ProcessRecord replacement = MakeRecord(4, 77);
  replacement.entryCount = 5;
  HandleRecord handle = {};
  handle.handle = 0x1234;
  ASSERT_TRUE(replacement.handles.Append(handle));
  table.Set(4, replacement);

  EXPECT_EQ(2u, table.Count());
  ProcessRecord* record = table.Lookup(4);
  ASSERT_NE(nullptr, record);
  EXPECT_EQ(77, record->guiObjectCount);
  EXPECT_EQ(5, record->entryCount);
  ASSERT_EQ(1, record->handles.size);
  EXPECT_EQ(0x1234u, record->handles.storage[0].handle);
  // The table holds a copy, not the caller's storage.
  EXPECT_NE(replacement.handles.storage, record->handles.storage);
  // The record keeps its place in its chain.
  EXPECT_EQ((std::vector<uint32_t>{21, 4}), Order(table));
}

TEST(ProcessTableTest, ReplacementAtTheThresholdDoesNotRehash) {
  ProcessTable table;
  for (uint32_t pid = 1; pid <= 38; ++pid)
    table.Set(pid, MakeRecord(pid, 1));
  for (uint32_t pid = 1; pid <= 38; ++pid)
    table.Set(pid, MakeRecord(pid, 2));
  EXPECT_EQ(38u, table.Count());
  EXPECT_EQ(17u, table.BinCount());
  EXPECT_EQ(2, table.Lookup(38)->guiObjectCount);
}

TEST(ProcessTableTest, ThirtyNinthInsertionRehashes) {
  ProcessTable table;
  for (uint32_t pid = 1; pid <= 38; ++pid)
    table.Set(pid, MakeRecord(pid, 1));
  EXPECT_EQ(17u, table.BinCount());
  // Bin 0 holds 34, 17; bin 1 holds 35, 18, 1; and so on.
  std::vector<uint32_t> order = Order(table);
  ASSERT_EQ(38u, order.size());
  EXPECT_EQ((std::vector<uint32_t>{34, 17, 35, 18, 1, 36, 19, 2}),
            std::vector<uint32_t>(order.begin(), order.begin() + 8));

  table.Set(39, MakeRecord(39, 1));
  EXPECT_EQ(39u, table.Count());
  EXPECT_EQ(53u, table.BinCount());
  EXPECT_EQ(119u, table.HighRehashThreshold());
  // With 53 bins every PID up to 52 has a bin to itself.
  std::vector<uint32_t> ascending;
  for (uint32_t pid = 1; pid <= 39; ++pid)
    ascending.push_back(pid);
  EXPECT_EQ(ascending, Order(table));
}

TEST(ProcessTableTest, RehashReversesRecordsThatShareABin) {
  // 4 and 905 share bin 4 both of 17 and of 53; 57 joins them in bin 4 of 53
  // from bin 6 of 17.
  ProcessTable table;
  table.Set(4, MakeRecord(4, 1));
  table.Set(905, MakeRecord(905, 1));
  table.Set(57, MakeRecord(57, 1));
  std::vector<uint32_t> order = Order(table);
  EXPECT_EQ((std::vector<uint32_t>{905, 4, 57}), order);
  // Fillers up to the 39th record, none in bin 4 of 53.
  for (uint32_t pid = 200; table.Count() < 39; ++pid) {
    if (pid % 53 != 4)
      table.Set(pid, MakeRecord(pid, 1));
  }
  ASSERT_EQ(39u, table.Count());
  ASSERT_EQ(53u, table.BinCount());
  std::vector<uint32_t> after = Order(table);
  auto at = std::find(after.begin(), after.end(), 57u);
  ASSERT_LE(3, after.end() - at);
  EXPECT_EQ((std::vector<uint32_t>{57, 4, 905}),
            std::vector<uint32_t>(at, at + 3));
}

TEST(ProcessTableTest, LaterRehashes) {
  struct Step {
    uint32_t count;
    uint32_t bins;
    uint32_t high;
  };
  const Step steps[] = {
      {38, 17, 38},    {39, 53, 119},    {119, 53, 119},    {120, 163, 366},
      {366, 163, 366}, {367, 521, 1172}, {1172, 521, 1172}, {1173, 1627, 3660},
  };
  ProcessTable table;
  uint32_t pid = 0;
  for (const Step& step : steps) {
    while (table.Count() < step.count) {
      // PIDs as Windows hands them out, multiples of 4.
      pid += 4;
      table.Set(pid, MakeRecord(pid, 1));
    }
    SCOPED_TRACE(step.count);
    EXPECT_EQ(step.bins, table.BinCount());
    EXPECT_EQ(step.high, table.HighRehashThreshold());
  }
  for (uint32_t p = 4; p <= pid; p += 4) {
    ASSERT_NE(nullptr, table.Lookup(p)) << p;
    EXPECT_EQ(p, table.Lookup(p)->pid);
    EXPECT_EQ(nullptr, table.Lookup(p + 1)) << p + 1;
  }
}

// PIDs whose Fibonacci hashes all start at a few slots: the index switches
// to its guarded hash on the way, and every PID is still found.
TEST(ProcessTableTest, PidsThatCollideInTheIndexAreAllFound) {
  const uint32_t kMultiplier = 0x9E3779B1u;
  uint32_t inverse = kMultiplier;
  for (int i = 0; i < 5; ++i)
    inverse *= 2 - kMultiplier * inverse;
  ProcessTable table;
  for (uint32_t n = 1; n <= 3000; ++n)
    table.Set(n * inverse, MakeRecord(n * inverse, 1));
  for (uint32_t n = 1; n <= 3000; ++n) {
    ASSERT_NE(nullptr, table.Lookup(n * inverse)) << n;
    EXPECT_EQ(n * inverse, table.Lookup(n * inverse)->pid);
  }
  EXPECT_EQ(nullptr, table.Lookup(3001 * inverse));
}

TEST(ProcessTableTest, OrderFollowsTheLayoutThroughRehashes) {
  // Random PIDs over the whole 32-bit range, and small ones that collide
  // often, compared with the model after every insertion.
  std::mt19937 random(2024);
  for (uint32_t range : {0xFFFFFFFFu, 2000u}) {
    SCOPED_TRACE(range);
    ProcessTable table;
    LayoutModel model;
    std::uniform_int_distribution<uint32_t> pick(0, range);
    for (int i = 0; i < 1300; ++i) {
      uint32_t pid = pick(random);
      table.Set(pid, MakeRecord(pid, i + 1));
      model.Set(pid);
      ASSERT_EQ(model.count, table.Count());
      ASSERT_EQ(model.binCount, table.BinCount());
      ASSERT_EQ(model.Order(), Order(table)) << "after insertion " << i;
    }
    for (uint32_t pid : model.Order()) {
      ASSERT_NE(nullptr, table.Lookup(pid));
      EXPECT_EQ(pid, table.Lookup(pid)->pid);
    }
  }
}

TEST(ProcessTableTest, ClearEmptiesTheTableAndAllowsReuse) {
  ProcessTable table;
  for (uint32_t pid = 1; pid <= 50; ++pid) {
    ProcessRecord record = MakeRecord(pid, 1);
    HandleRecord handle = {};
    ASSERT_TRUE(record.handles.Append(handle));
    table.Set(pid, record);
  }
  table.Clear();
  EXPECT_EQ(0u, table.Count());
  EXPECT_EQ(nullptr, table.First());
  EXPECT_EQ(nullptr, table.Lookup(1));
  table.Clear();  // twice is harmless

  table.Set(21, MakeRecord(21, 2));
  table.Set(4, MakeRecord(4, 3));
  EXPECT_EQ(2u, table.Count());
  ASSERT_NE(nullptr, table.Lookup(4));
  EXPECT_EQ(3, table.Lookup(4)->guiObjectCount);
  EXPECT_EQ(2u, Order(table).size());
}

TEST(PickSizeTest, Table) {
  struct Case {
    uint32_t count;
    uint32_t bins;
  };
  const Case cases[] = {
      // count / 0.75 is 17 or less.
      {0, 17},
      {1, 17},
      {12, 17},
      {13, 17},
      // 14 / 0.75 = 18.67 -> 18 -> 23.
      {14, 23},
      {17, 23},
      {18, 29},
      // Estimates that are primes of the list, and just past them.
      {39, 53},
      {40, 53},
      {41, 67},
      {120, 163},
      {122, 163},
      {123, 211},
      {367, 521},
      {391, 521},
      {392, 647},
      {1173, 1627},
      {49152, 65537},
      {49153, 65537},
      {49154, 82571},
      // The last prime: 9987066 / 0.75 = 13316088.
      {9987066, 13316089},
      {9987067, 13316089},
      // Past the last prime the estimate itself is the size.
      {9987068, 13316091},
      {12000000, 16000000},
      {3000000000u, 4000000000u},
      // An estimate of 2^32 or more saturates to the end marker's value.
      {3221225472u, 4294967295u},
      {4294967295u, 4294967295u},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.bins, PickSize(c.count)) << "PickSize(" << c.count << ")";
}

}  // namespace
