#include "watch/growth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "census/process_table.h"

namespace {

struct Counts {
  uint32_t pid;
  int32_t all;
  int32_t total;
};

// Notes a sample of processes all named "app.exe", all followed; those of
// `listedPids` listed (all of them when it is empty), as -t lists a process
// only over its threshold.
void Note(GrowthTracker& tracker, const std::vector<Counts>& processes,
          uint64_t milliseconds, const std::vector<uint32_t>& listedPids = {}) {
  ProcessTable table;
  for (const Counts& counts : processes) {
    ProcessRecord record;
    record.pid = counts.pid;
    std::u16string(u"app.exe").copy(record.exeName, 259);
    record.guiObjectCount = counts.all;
    record.entryCount = counts.total;
    table.Set(record.pid, record);
  }
  std::vector<const ProcessRecord*> followed;
  std::vector<const ProcessRecord*> listed;
  for (const Counts& counts : processes) {
    followed.push_back(table.Lookup(counts.pid));
    if (listedPids.empty() || std::find(listedPids.begin(), listedPids.end(),
                                        counts.pid) != listedPids.end())
      listed.push_back(table.Lookup(counts.pid));
  }
  tracker.Note(table, followed, listed, milliseconds);
}

// The order every reader of the growth takes among processes of one verdict
// (too few samples to judge: still growing, at one rate): GDI All's growth,
// then GDI Total's, then the lower PID, then the process seen first (one that exited
// and started again under its PID).
TEST(GrowthTrackerTest, GrownTieOrder) {
  GrowthTracker tracker;
  Note(tracker, {{12, 10, 10}, {8, 10, 10}, {4, 10, 10}}, 0);
  Note(tracker, {{12, 20, 15}, {8, 20, 20}, {4, 20, 15}}, 1000);
  Note(tracker, {{12, 20, 15}, {4, 20, 15}}, 2000);  // 8 exits
  Note(tracker, {{12, 20, 15}, {8, 10, 10}, {4, 20, 15}}, 3000);
  Note(tracker, {{12, 20, 15}, {8, 20, 20}, {4, 20, 15}}, 4000);
  tracker.Judge();
  std::vector<const ProcessGrowth*> grown = tracker.Grown();
  ASSERT_EQ(4u, grown.size());
  EXPECT_EQ(8u, grown[0]->pid);
  EXPECT_EQ(8u, grown[1]->pid);
  EXPECT_LT(grown[0]->id, grown[1]->id);
  EXPECT_EQ(4u, grown[2]->pid);
  EXPECT_EQ(12u, grown[3]->pid);
}

// A process that -t never listed grows unseen; when it exits, it is not
// reported either, while one that was listed once is, though it exited.
TEST(GrowthTrackerTest, ExitOfAProcessNeverListed) {
  GrowthTracker tracker;
  Note(tracker, {{4, 10, 10}, {8, 10, 10}}, 0, {4});
  Note(tracker, {{4, 50, 50}, {8, 50, 50}}, 1000, {4});
  Note(tracker, {{12, 10, 10}}, 2000, {12});  // both exit
  std::vector<uint32_t> exited;
  for (const ProcessGrowth* process : tracker.ExitedGrown())
    exited.push_back(process->pid);
  EXPECT_EQ(std::vector<uint32_t>{4}, exited);
  tracker.Judge();
  std::vector<uint32_t> grown;
  for (const ProcessGrowth* process : tracker.Grown())
    grown.push_back(process->pid);
  EXPECT_EQ(std::vector<uint32_t>{4}, grown);
}

}  // namespace
