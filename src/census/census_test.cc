#include "census/census.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "census/process_table.h"
#include "platform/sim/session.h"
#include "platform/sim/sim_control.h"

namespace {

class CensusTest : public testing::Test {
 protected:
  void TearDown() override { platform::UseSession(Session()); }

  void Use(const std::string& text) {
    std::string error;
    ASSERT_TRUE(platform::UseSessionText(text, &error)) << error;
  }

  // The PIDs of the table in iteration order.
  std::vector<uint32_t> Pids() const {
    std::vector<uint32_t> pids;
    for (const ProcessTable::Node* node = table.First(); node;
         node = table.Next(node))
      pids.push_back(node->key);
    return pids;
  }

  ProcessTable table;
};

TEST_F(CensusTest, RecordsOpenProcessesWithGdiObjects) {
  Use("process 0 0 denied [System Process]\n"
      "process 4 6 open System\n"
      "process 612 412 denied csrss.exe\n"
      "process 880 0 open svchost.exe\n"
      "process 2212 1480 open explorer.exe\n"
      "process 7340 0 denied ApplicationFrameHost.exe\n"
      "process 4524 47 open notepad.exe\n");
  ASSERT_TRUE(CollectProcesses(table));
  EXPECT_EQ(3u, table.Count());
  EXPECT_EQ(nullptr, table.Lookup(0));
  EXPECT_EQ(nullptr, table.Lookup(612));   // denied
  EXPECT_EQ(nullptr, table.Lookup(880));   // no GDI objects
  EXPECT_EQ(nullptr, table.Lookup(7340));  // both

  const ProcessRecord* explorer = table.Lookup(2212);
  ASSERT_NE(nullptr, explorer);
  EXPECT_EQ(2212u, explorer->pid);
  EXPECT_EQ(std::u16string(u"explorer.exe"), explorer->exeName);
  EXPECT_EQ(1480, explorer->guiObjectCount);
  // Everything the scan fills later starts at zero.
  EXPECT_EQ(0, explorer->entryCount);
  for (int32_t counter : explorer->categoryCounts)
    EXPECT_EQ(0, counter);
  EXPECT_EQ(0, explorer->handles.size);

  EXPECT_EQ(std::u16string(u"System"), table.Lookup(4)->exeName);
  EXPECT_EQ(47, table.Lookup(4524)->guiObjectCount);
  EXPECT_EQ(0u, platform::OpenHandleCount());
}

TEST_F(CensusTest, OtherCountsOnlyWhenAskedFor) {
  Use("process 4 6 open System\ncounts 4 9 10 11\nglobal 7658 0\n");
  ASSERT_TRUE(CollectProcesses(table));
  EXPECT_EQ(0u, table.Lookup(4)->gdiPeakCount);
  EXPECT_EQ(0u, table.Lookup(4)->userObjectCount);
  table.Clear();
  ASSERT_TRUE(CollectProcesses(table, true));
  const ProcessRecord* system = table.Lookup(4);
  EXPECT_EQ(6, system->guiObjectCount);
  EXPECT_EQ(9u, system->gdiPeakCount);
  EXPECT_EQ(10u, system->userObjectCount);
  EXPECT_EQ(11u, system->userPeakCount);
  EXPECT_EQ(0u, platform::OpenHandleCount());

  SessionCounts session = CollectSessionCounts();
  EXPECT_EQ(7658u, session.gdiObjects);
  EXPECT_FALSE(session.userObjects.has_value());  // 0: no answer
}

TEST_F(CensusTest, PidZeroIsSkippedEvenWithGdiObjects) {
  Use("process 0 12 open Idle\n"
      "process 8 3 open a.exe\n");
  ASSERT_TRUE(CollectProcesses(table));
  EXPECT_EQ((std::vector<uint32_t>{8}), Pids());
}

TEST_F(CensusTest, OrderIsTheTableOrder) {
  // 4 and 21 share bin 4 of 17: the later one comes first.
  Use("process 21 9 open fontdrvhost.exe\n"
      "process 4 6 open System\n"
      "process 3 1 open c.exe\n");
  ASSERT_TRUE(CollectProcesses(table));
  EXPECT_EQ((std::vector<uint32_t>{3, 4, 21}), Pids());
}

TEST_F(CensusTest, Names) {
  std::string name259(255, 'n');
  name259 += ".exe";
  std::string name300(296, 'x');
  name300 += ".exe";
  Use("process 8 1 open " + name259 + "\n" + "process 12 1 open " + name300 +
      "\n" +
      "process 16 1 open NVIDIA Share.exe\n"
      "process 20 1 open \xE5\xBE\xAE\xE4\xBF\xA1.exe\n");
  ASSERT_TRUE(CollectProcesses(table));

  std::u16string whole = table.Lookup(8)->exeName;
  EXPECT_EQ(259u, whole.size());
  EXPECT_EQ(u".exe", whole.substr(255));

  // Longer names are cut to 259 units, and the terminator stays.
  const ProcessRecord* cut = table.Lookup(12);
  EXPECT_EQ(std::u16string(259, u'x'), std::u16string(cut->exeName));
  EXPECT_EQ(u'\0', cut->exeName[259]);

  EXPECT_EQ(std::u16string(u"NVIDIA Share.exe"), table.Lookup(16)->exeName);
  EXPECT_EQ(std::u16string(u"\u5FAE\u4FE1.exe"), table.Lookup(20)->exeName);
}

TEST_F(CensusTest, ShortNameAfterLongOneHasNoLeftovers) {
  // The census builds each record in the same place: a short name must not
  // keep the tail of the long name before it.
  Use("process 8 1 open averyveryverylongname.exe\n"
      "process 12 1 open b.exe\n");
  ASSERT_TRUE(CollectProcesses(table));
  const ProcessRecord* b = table.Lookup(12);
  EXPECT_EQ(std::u16string(u"b.exe"), b->exeName);
  for (size_t i = 5; i < 260; ++i)
    EXPECT_EQ(u'\0', b->exeName[i]) << i;
}

TEST_F(CensusTest, SnapshotFailureIsReported) {
  Use("snapshot fail\n"
      "process 4 6 open System\n");
  EXPECT_FALSE(CollectProcesses(table));
  EXPECT_EQ(0u, table.Count());
  EXPECT_EQ(0u, platform::OpenHandleCount());
}

TEST_F(CensusTest, EmptySnapshotIsAnEmptySystem) {
  Use("# no processes\n");
  EXPECT_TRUE(CollectProcesses(table));
  EXPECT_EQ(0u, table.Count());
  EXPECT_EQ(nullptr, table.First());
  EXPECT_EQ(0u, platform::OpenHandleCount());
}

TEST_F(CensusTest, NoProcessWithGdiObjectsIsAnEmptySystem) {
  Use("process 4 0 open System\n"
      "process 8 5 denied a.exe\n");
  EXPECT_TRUE(CollectProcesses(table));
  EXPECT_EQ(0u, table.Count());
}

TEST_F(CensusTest, RepeatedPidReplacesTheRecord) {
  Use("process 8 5 open first.exe\n"
      "process 12 2 open other.exe\n"
      "process 8 5 open second.exe\n");
  ASSERT_TRUE(CollectProcesses(table));
  EXPECT_EQ(2u, table.Count());
  EXPECT_EQ(std::u16string(u"second.exe"), table.Lookup(8)->exeName);
  EXPECT_EQ((std::vector<uint32_t>{8, 12}), Pids());
}

TEST_F(CensusTest, OwnProcessIsRecordedWhenListed) {
  // OpenProcess always works on the own PID, whatever its line says.
  Use("self 1000\n"
      "process 1000 4 denied kestrel.exe\n"
      "process 1004 4 denied other.exe\n");
  ASSERT_TRUE(CollectProcesses(table));
  EXPECT_EQ((std::vector<uint32_t>{1000}), Pids());
}

TEST_F(CensusTest, EveryHandleIsClosed) {
  std::string text;
  for (uint32_t pid = 4; pid <= 400; pid += 4)
    text += "process " + std::to_string(pid) + " " + std::to_string(pid % 3) +
            (pid % 5 ? " open" : " denied") + " p.exe\n";
  Use(text);
  ASSERT_TRUE(CollectProcesses(table));
  EXPECT_EQ(0u, platform::OpenHandleCount());
  // A second census over the same state finds the same processes.
  uint32_t first = table.Count();
  ProcessTable again;
  ASSERT_TRUE(CollectProcesses(again));
  EXPECT_EQ(first, again.Count());
  EXPECT_EQ(0u, platform::OpenHandleCount());
}

TEST_F(CensusTest, SampleSession) {
  Use(kSampleSession);
  Session sample;
  size_t line = 0;
  std::string error;
  ASSERT_TRUE(ParseSessionText(kSampleSession, &sample, &line, &error));
  uint32_t expected = 0;
  for (const SimulatedProcess& process : sample.processes) {
    bool opens = process.canOpen || process.pid == sample.selfPid;
    if (process.pid != 0 && process.gdiObjects > 0 && opens)
      ++expected;
  }
  ASSERT_TRUE(CollectProcesses(table));
  EXPECT_EQ(expected, table.Count());
  EXPECT_GT(table.BinCount(), 17u);
  EXPECT_EQ(0u, platform::OpenHandleCount());
}

}  // namespace
