#include "watch/growth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "census/process_table.h"
#include "watch/growth_testing.h"

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

// A process is a PID under a name from its start to its exit: one that
// exits and starts again under the same PID and name is another process,
// and neither grew. One the listing drops while the census still records
// it stays the same process.
TEST(GrowthTrackerTest, ExitedAndStartedAgainIsAnotherProcess) {
  GrowthTracker tracker;
  ProcessTable table;
  NoteRecords(tracker, table, {GrowthRecord(500, u"app.exe", 10, 1)}, 0);
  uint64_t first = tracker.ListedIds().at(0);
  NoteRecords(tracker, table, {}, 1000);
  EXPECT_EQ(std::vector<uint64_t>{first}, tracker.Exited());
  NoteRecords(tracker, table, {GrowthRecord(500, u"app.exe", 50, 1)}, 2000);
  EXPECT_NE(first, tracker.ListedIds().at(0));
  tracker.Judge();
  EXPECT_TRUE(tracker.Grown().empty());

  // Recorded but not listed: still the same process when listed again.
  uint64_t again = tracker.ListedIds().at(0);
  table.Clear();
  table.Set(500, GrowthRecord(500, u"app.exe", 60, 1));
  tracker.Note(table, {}, 3000);
  EXPECT_TRUE(tracker.Exited().empty());
  NoteRecords(tracker, table, {GrowthRecord(500, u"app.exe", 70, 1)}, 4000);
  EXPECT_EQ(again, tracker.ListedIds().at(0));
  tracker.Judge();
  ASSERT_EQ(1u, tracker.Grown().size());
  EXPECT_EQ(50u, tracker.Grown()[0]->firstGdiAll);
}

// Still growing first, the steepest first, then held, then up and down,
// however much each grew in all.
TEST(GrowthTrackerTest, OrderOfTheVerdicts) {
  GrowthTracker tracker;
  ProcessTable table;
  const int32_t churn[] = {10, 12, 9, 13, 8, 12, 10, 13, 9, 11};
  for (int32_t i = 0; i < 10; ++i) {
    NoteRecords(tracker, table,
                {GrowthRecord(4, u"cache.exe", i == 0 ? 10 : 110, 10),
                 GrowthRecord(8, u"slow.exe", 10 + i, 10),
                 GrowthRecord(12, u"fast.exe", 10 + 3 * i, 10),
                 GrowthRecord(16, u"noisy.exe", churn[i], 10)},
                static_cast<uint64_t>(i) * 10000);
  }
  tracker.Judge();
  std::vector<uint32_t> pids;
  for (const ProcessGrowth* process : tracker.Grown())
    pids.push_back(process->pid);
  EXPECT_EQ((std::vector<uint32_t>{12, 8, 4, 16}), pids);
  const Trend& held = tracker.Grown()[2]->trend;
  EXPECT_EQ(TrendWord::Held, held.word);
  EXPECT_EQ(110u, held.level);
  EXPECT_EQ(10000u, held.levelMilliseconds);
}

// -t picks what is shown, not where growth starts: a process followed from
// its first sample and listed only in its last grew from the first.
TEST(GrowthTrackerTest, GrowthStartsBeforeTheFirstListing) {
  GrowthTracker tracker;
  ProcessTable table;
  table.Set(4, GrowthRecord(4, u"a.exe", 10, 10));
  table.Set(8, GrowthRecord(8, u"b.exe", 10, 10));
  std::vector<const ProcessRecord*> both = {table.Lookup(4), table.Lookup(8)};
  tracker.Note(table, both, {}, 0);
  table.Clear();
  table.Set(4, GrowthRecord(4, u"a.exe", 260, 10));
  table.Set(8, GrowthRecord(8, u"b.exe", 20, 10));
  both = {table.Lookup(4), table.Lookup(8)};
  tracker.Note(table, both, {table.Lookup(4)}, 1000);
  tracker.Judge();
  ASSERT_EQ(1u, tracker.Grown().size());
  EXPECT_EQ(10u, tracker.Grown()[0]->firstGdiAll);
  EXPECT_EQ(260u, tracker.Grown()[0]->lastGdiAll);
}

// -g fails a process whose GDI All grew by the gate or more and is still
// growing, or one at its quota (it can make no more objects) whatever its
// verdict; never one that grew less, and never without a gate.
TEST(GrowthTrackerTest, FailsGrowthGate) {
  ProcessGrowth process;
  process.firstGdiAll = 100;
  const struct {
    uint32_t last;
    TrendWord word;
    LimitState quota;
    uint32_t gate;
    bool fails;
  } cases[] = {
      {150, TrendWord::StillGrowing, LimitState::Ahead, 50, true},
      {149, TrendWord::StillGrowing, LimitState::Ahead, 50, false},
      {150, TrendWord::StillGrowing, LimitState::Ahead, 0, false},
      {150, TrendWord::Held, LimitState::Unknown, 50, false},
      {150, TrendWord::UpAndDown, LimitState::Unknown, 50, false},
      {150, TrendWord::Held, LimitState::Reached, 50, true},
      {149, TrendWord::Held, LimitState::Reached, 50, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.last << " gate " << c.gate);
    process.lastGdiAll = c.last;
    process.trend.word = c.word;
    process.quota.state = c.quota;
    EXPECT_EQ(c.fails, FailsGrowthGate(process, c.gate));
  }
}

// A count exactly at the quota has reached it, one below has not; a
// process held at its quota fails -g as one still growing does.
TEST(GrowthTrackerTest, ExactlyAtTheQuota) {
  for (int32_t last : {9999, 10000}) {
    SCOPED_TRACE(last);
    GrowthTracker tracker(10000);
    tracker.SetGate(100);
    ProcessTable table;
    for (int i = 0; i < 40; ++i) {
      int32_t all = i < 10 ? 9900 + 10 * i : last;
      NoteRecords(tracker, table, {GrowthRecord(4, u"a.exe", all, all)},
                  static_cast<uint64_t>(i) * 1000);
    }
    tracker.Judge();
    ASSERT_EQ(1u, tracker.Grown().size());
    const ProcessGrowth& process = *tracker.Grown()[0];
    EXPECT_EQ(TrendWord::Held, process.trend.word)
        << static_cast<int>(process.trend.word) << " churn "
        << process.trend.churn;
    EXPECT_EQ(last == 10000, process.quota.state == LimitState::Reached);
    EXPECT_EQ(last == 10000, tracker.FailedGate().size() == 1);
  }
}

// Among many processes that hold, one that starts to leak is named as the
// steepest within a few samples: the process whose count moved most since
// it was last judged is judged at once, not when its turn comes.
TEST(GrowthTrackerTest, ANewLeakIsNamedSoon) {
  GrowthTracker tracker;
  std::vector<Counts> processes;
  for (uint32_t pid = 4; pid <= 800; pid += 4)
    processes.push_back({pid, 50, 50});
  uint64_t milliseconds = 0;
  for (int sample = 0; sample < 20; ++sample, milliseconds += 1000)
    Note(tracker, processes, milliseconds);
  int named = -1;
  for (int sample = 0; sample < 8 && named < 0; ++sample) {
    processes[150].all += 40;
    Note(tracker, processes, milliseconds);
    milliseconds += 1000;
    const ProcessGrowth* steepest = tracker.SteepestGrowing();
    if (steepest && steepest->pid == processes[150].pid)
      named = sample;
  }
  EXPECT_GE(named, 0);
  EXPECT_LE(named, 4);
}

}  // namespace

// Charts are kept for the samples that listed a process, only when asked;
// of the processes that exited having grown, for the first the charts can
// show in the growth order, whatever order they exited in.
TEST(GrowthTrackerTest, KeepsTheChartsAChartCanShow) {
  for (bool keep : {false, true}) {
    SCOPED_TRACE(keep);
    GrowthTracker tracker;
    if (keep)
      tracker.KeepCharts();
    // Two more than a chart shows grow, pid 4 * i by i, and exit one a
    // sample, the least first; 400 lives on, unlisted in every third.
    const uint32_t kExiting = kMaxChartedProcesses + 2;
    std::vector<Counts> first = {{400, 10, 10}};
    std::vector<Counts> grown = {{400, 10, 10}};
    for (uint32_t i = 1; i <= kExiting; ++i) {
      first.push_back({4 * i, 10, 10});
      grown.push_back({4 * i, static_cast<int32_t>(10 + i), 10});
    }
    Note(tracker, first, 0);
    Note(tracker, grown, 1000);
    for (uint32_t i = 1; i <= kExiting; ++i) {
      grown.erase(grown.begin() + 1);
      std::vector<uint32_t> listed;
      for (const Counts& counts : grown) {
        if (counts.pid != 400 || i % 3 != 1)
          listed.push_back(counts.pid);
      }
      Note(tracker, grown, 1000 * (i + 1), listed);
    }
    Note(tracker, {{400, 30, 10}}, 1000 * (kExiting + 2));
    tracker.Judge();
    ASSERT_EQ(kExiting + 1, tracker.Grown().size());
    size_t exited = 0;
    for (const ProcessGrowth* process : tracker.Grown()) {
      SCOPED_TRACE(process->pid);
      const ChartSeries* chart = tracker.Chart(*process);
      if (process->pid == 400) {
        ASSERT_EQ(keep, chart != nullptr);
        if (chart) {
          EXPECT_EQ(2u + kExiting - kExiting / 3 + 1, chart->Samples());
        }
        continue;
      }
      // The last two exited in the growth order are past what a chart
      // shows.
      EXPECT_EQ(keep && exited++ < kMaxChartedProcesses, chart != nullptr);
    }
  }
}
