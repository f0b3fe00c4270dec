#include "census/pid_index.h"

#include <gtest/gtest.h>

#include <vector>

#include "census/process_record.h"

namespace {

// The PID whose Fibonacci hash is `product`: its home slot in the first
// index, of 64 slots, is the product's top six bits.
uint32_t PidOfProduct(uint32_t product) {
  uint32_t inverse = PidFinder::kGoldenRatio;  // Newton's iteration
  for (int i = 0; i < 5; ++i)
    inverse *= 2 - PidFinder::kGoldenRatio * inverse;
  return product * inverse;
}

// PIDs at home slots 0 to 12, each in its own, and one more homed at 3 that
// lies 10 slots on, in slot 13: lookups look 10 slots past a home and no
// further, so a PID absent from a long run is answered without walking it.
TEST(PidIndexTest, LookupsStopAtTheLongestProbe) {
  std::vector<uint32_t> pids;
  for (uint32_t home = 0; home < 13; ++home)
    pids.push_back(PidOfProduct(home << 26));
  pids.push_back(PidOfProduct((3u << 26) + 4));
  std::vector<ProcessRecord> records(pids.size());
  PidIndex index;
  for (size_t i = 0; i < pids.size(); ++i)
    index.Insert(pids[i], &records[i]);

  EXPECT_EQ(10u, index.Finder().longestProbe);
  for (size_t i = 0; i < pids.size(); ++i) {
    EXPECT_EQ(&records[i], index.Find(pids[i])) << i;
    EXPECT_EQ(i, index.Finder().SlotOf(pids[i])->number) << i;
  }
  // Absent PIDs homed in the run, at its last slot and just past it.
  for (uint32_t home = 0; home <= 14; ++home)
    EXPECT_EQ(nullptr, index.Find(PidOfProduct((home << 26) + 8))) << home;
}

}  // namespace
