#include "gditable/shared_table.h"
#include "gditable/table_location.h"
#include "gditable/table_location_testing.h"

#include <gtest/gtest.h>

#include <iterator>
#include <numeric>

#include <cstring>
#include <string>
#include <vector>

#include "census/process_table.h"
#include "gditable/object_types.h"
#include "platform/sim/sim_control.h"

namespace {

GdiTableEntry Entry(uint32_t owner, uint16_t unique, uint8_t type,
                    uint64_t kernel = 0, uint8_t flags = 0, uint64_t user = 0) {
  GdiTableEntry entry;
  entry.kernelAddress = kernel;
  entry.ownerWord = owner;
  entry.unique = unique;
  entry.typeCode = type;
  entry.flags = flags;
  entry.userAddress = user;
  return entry;
}

// A block of free entries, as a freshly mapped table reads.
std::vector<GdiTableEntry> FreeBlock(size_t count) {
  return std::vector<GdiTableEntry>(count, Entry(0, 0, 0));
}

void Record(ProcessTable& table, uint32_t pid) {
  ProcessRecord record;
  record.pid = pid;
  record.exeName[0] = u'p';
  record.guiObjectCount = 1;
  table.Set(pid, record);
}

int32_t SumOfCounters(const ProcessRecord& record) {
  return std::accumulate(std::begin(record.categoryCounts),
                         std::end(record.categoryCounts), 0);
}

void Scan(const std::vector<GdiTableEntry>& block, ProcessTable& table) {
  ScanSharedHandleTable(block.data(), static_cast<uint32_t>(block.size()),
                        table);
}

TEST(ScanSharedHandleTableTest, OwnerWordBitZeroIsIgnored) {
  ProcessTable table;
  Record(table, 4);
  Record(table, 5);
  std::vector<GdiTableEntry> block = FreeBlock(4);
  block[1] = Entry(5, 0, 16);
  block[2] = Entry(4, 0, 16);
  Scan(block, table);
  ProcessRecord* system = table.Lookup(4);
  EXPECT_EQ(2, system->entryCount);
  EXPECT_EQ(2, system->categoryCounts[IndexOf(ObjectCategory::Brush)]);
  ASSERT_EQ(2, system->handles.size);
  // The record keeps the raw owner word.
  EXPECT_EQ(5u, system->handles.storage[0].entry.ownerWord);
  EXPECT_EQ(4u, system->handles.storage[1].entry.ownerWord);
  // Owner word 5 never names PID 5.
  EXPECT_EQ(0, table.Lookup(5)->entryCount);
  EXPECT_EQ(0, table.Lookup(5)->handles.size);
}

TEST(ScanSharedHandleTableTest, FreeEntriesNeverCount) {
  ProcessTable table;
  Record(table, 4);
  std::vector<GdiTableEntry> block = FreeBlock(3);
  // Type 0 with everything else filled in is still a free entry.
  block[0] = Entry(4, 7, 0, 0xFFFF800000001000, 0x40, 0x1000);
  block[2] = Entry(4, 0, 0);
  Scan(block, table);
  const ProcessRecord* record = table.Lookup(4);
  EXPECT_EQ(0, record->entryCount);
  EXPECT_EQ(0, SumOfCounters(*record));
  EXPECT_EQ(0, record->handles.size);
}

TEST(ScanSharedHandleTableTest, UnrecordedOwnersChangeNothing) {
  ProcessTable table;
  Record(table, 4);
  Record(table, 600);
  std::vector<GdiTableEntry> block = FreeBlock(4);
  block[0] = Entry(8, 0, 16);
  block[1] = Entry(601 + 2, 0, 48);
  block[2] = Entry(0, 0, 1);
  block[3] = Entry(0xFFFFFFFF, 0, 5);
  Scan(block, table);
  EXPECT_EQ(2u, table.Count());
  for (uint32_t pid : {4u, 600u}) {
    const ProcessRecord* record = table.Lookup(pid);
    EXPECT_EQ(0, record->entryCount);
    EXPECT_EQ(0, SumOfCounters(*record));
    EXPECT_EQ(0, record->handles.size);
  }
  EXPECT_EQ(nullptr, table.Lookup(8));
}

TEST(ScanSharedHandleTableTest, EntryFiveIsOneMoreBrush) {
  ProcessTable table;
  Record(table, 4524);
  std::vector<GdiTableEntry> block = FreeBlock(8);
  block[5] = Entry(4524, 42, 16, 26);
  Scan(block, table);
  const ProcessRecord* record = table.Lookup(4524);
  EXPECT_EQ(1, record->entryCount);
  EXPECT_EQ(1, record->categoryCounts[IndexOf(ObjectCategory::Brush)]);
  EXPECT_EQ(1, SumOfCounters(*record));
  ASSERT_EQ(1, record->handles.size);
  EXPECT_EQ(42u * 65536u + 5u, record->handles.storage[0].handle);
}

TEST(ScanSharedHandleTableTest, IndexBitSixteenCarriesIntoTheHandle) {
  ProcessTable table;
  Record(table, 4);
  const uint32_t index = (1u << 16) + 5;
  std::vector<GdiTableEntry> block = FreeBlock(index + 1);
  block[index] = Entry(4, 1, 5);
  Scan(block, table);
  const ProcessRecord* record = table.Lookup(4);
  ASSERT_EQ(1, record->handles.size);
  // An addition, not an OR: 1 * 65536 + 65541.
  EXPECT_EQ(2u * 65536u + 5u, record->handles.storage[0].handle);
  EXPECT_EQ(1, record->categoryCounts[IndexOf(ObjectCategory::Bitmap)]);
}

TEST(HandleValueOfTest, AddsInThirtyTwoBits) {
  const struct {
    uint16_t unique;
    uint32_t index;
    uint64_t handle;
  } kCases[] = {
      {0, 0, 0},
      {0, 5, 5},
      {42, 5, 42u * 65536u + 5u},
      {1, 65541, 2u * 65536u + 5u},
      {0xFFFF, 0xFFFF, 0xFFFFFFFFu},
      // The sum wraps in 32 bits; the upper half stays zero.
      {0xFFFF, 0x10005, 5},
      {0x8000, 0, 0x80000000u},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.unique << " " << c.index);
    EXPECT_EQ(c.handle, HandleValueOf(c.unique, c.index));
  }
}

TEST(ScanSharedHandleTableTest, HandlesCopyTheirEntriesInTableOrder) {
  ProcessTable table;
  Record(table, 2212);
  Record(table, 4);
  std::vector<GdiTableEntry> block = FreeBlock(40);
  block[3] = Entry(2212, 0x0101, 48, 0xFFFFF90000001000, 0x01, 0x11110000);
  block[9] = Entry(4, 0x0202, 16, 0xFFFFF90000002000, 0x00, 0);
  block[17] =
      Entry(2213, 0xABCD, 102, 0xFFFFF90000003000, 0xFF, 0xFFFFFFFFFFFFFFFF);
  block[30] = Entry(2212, 0x0303, 255, 0x8000000000000000, 0x80, 1);
  block[39] = Entry(2212, 0xFFFF, 1, 0, 0, 0x7FF000000000);
  Scan(block, table);

  const ProcessRecord* record = table.Lookup(2212);
  const uint32_t indexes[] = {3, 17, 30, 39};
  ASSERT_EQ(4, record->handles.size);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const HandleRecord& handle = record->handles.storage[i];
    const GdiTableEntry& entry = block[indexes[i]];
    EXPECT_EQ(0, std::memcmp(&handle, &entry, sizeof(GdiTableEntry)));
    EXPECT_EQ(HandleValueOf(entry.unique, indexes[i]), handle.handle);
  }
  EXPECT_EQ(0x0303u * 65536u + 30u, record->handles.storage[2].handle);
  EXPECT_EQ(1, record->categoryCounts[IndexOf(ObjectCategory::Pen)]);
  EXPECT_EQ(1, record->categoryCounts[IndexOf(ObjectCategory::MetaDC)]);
  EXPECT_EQ(1, record->categoryCounts[IndexOf(ObjectCategory::OtherGDi)]);
  EXPECT_EQ(1, record->categoryCounts[IndexOf(ObjectCategory::DC)]);
  EXPECT_EQ(4, record->entryCount);
  EXPECT_EQ(1, table.Lookup(4)->entryCount);
}

// A list gets room for the objects GetGuiResources counted, whatever it
// says, and grows past it as appends would: the capacity is the one
// appending one by one gives, with the records beyond the size zero.
TEST(ScanSharedHandleTableTest, ListsDoubleWhateverGdiAllSays) {
  const struct {
    int32_t gdiAll;
    uint32_t handles;
    int32_t capacity;
  } kCases[] = {
      {0, 0, 0},  {5, 0, 0},    {1, 1, 1},          {1, 2, 2},
      {3, 3, 4},  {4, 5, 8},    {8, 9, 16},         {100, 70, 128},
      {-1, 3, 4}, {0, 65, 128}, {0x7FFFFFFF, 3, 4},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.gdiAll << " " << c.handles);
    ProcessTable table;
    ProcessRecord record;
    record.pid = 4;
    record.guiObjectCount = c.gdiAll;
    table.Set(4, record);
    std::vector<GdiTableEntry> block = FreeBlock(c.handles + 1);
    for (uint32_t i = 0; i < c.handles; ++i)
      block[i] = Entry(4, static_cast<uint16_t>(i), 16, 0xFFFFF900000 + i);
    Scan(block, table);
    const HandleList& handles = table.Lookup(4)->handles;
    ASSERT_EQ(static_cast<int32_t>(c.handles), handles.size);
    EXPECT_EQ(c.capacity, handles.capacity);
    for (uint32_t i = 0; i < c.handles; ++i) {
      EXPECT_EQ(0, std::memcmp(&handles.storage[i], &block[i],
                               sizeof(GdiTableEntry)));
    }
    const HandleRecord kZero = {};
    for (int32_t i = handles.size; i < handles.capacity; ++i)
      EXPECT_EQ(0, std::memcmp(&handles.storage[i], &kZero, sizeof(kZero)));
    EXPECT_EQ(static_cast<int32_t>(c.handles), table.Lookup(4)->entryCount);
  }
}

TEST(ScanSharedHandleTableTest, EntryCountIsTheSumOfTheCounters) {
  ProcessTable table;
  Record(table, 4);
  // One entry of every type code, twice over.
  std::vector<GdiTableEntry> block;
  for (int round = 0; round < 2; ++round) {
    for (int code = 0; code < 256; ++code)
      block.push_back(Entry(4, 0, static_cast<uint8_t>(code)));
  }
  Scan(block, table);
  const ProcessRecord* record = table.Lookup(4);
  EXPECT_EQ(2 * 255, record->entryCount);
  EXPECT_EQ(record->entryCount, SumOfCounters(*record));
  EXPECT_EQ(2 * 255, record->handles.size);
  EXPECT_EQ(2, record->categoryCounts[IndexOf(ObjectCategory::Pen)]);
  EXPECT_EQ(2, record->categoryCounts[IndexOf(ObjectCategory::ExtPen)]);
  EXPECT_EQ(2, record->categoryCounts[IndexOf(ObjectCategory::Brush)]);
  EXPECT_EQ(4, record->categoryCounts[IndexOf(
                   ObjectCategory::Bitmap)]);  // Bitmap and DIB Section
  EXPECT_EQ(2, record->categoryCounts[IndexOf(ObjectCategory::Font)]);
  EXPECT_EQ(2, record->categoryCounts[IndexOf(ObjectCategory::Palette)]);
  EXPECT_EQ(2, record->categoryCounts[IndexOf(ObjectCategory::Region)]);
  EXPECT_EQ(2, record->categoryCounts[IndexOf(ObjectCategory::DC)]);
  EXPECT_EQ(2, record->categoryCounts[IndexOf(ObjectCategory::MetaDC)]);
  EXPECT_EQ(2, record->categoryCounts[IndexOf(ObjectCategory::EnhMetaDC)]);
  EXPECT_EQ(2 * (255 - 11),
            record->categoryCounts[IndexOf(ObjectCategory::OtherGDi)]);
}

TEST(ScanSharedHandleTableTest, CountsAHandleThatCannotBeListed) {
  ProcessTable table;
  Record(table, 4);
  // A list at its limit refuses to grow, without touching its storage.
  HandleList& full = table.Lookup(4)->handles;
  full.size = HandleList::kMaxCapacity;
  full.capacity = HandleList::kMaxCapacity;
  std::vector<GdiTableEntry> block = FreeBlock(2);
  block[1] = Entry(4, 0, 16);
  Scan(block, table);
  const ProcessRecord* record = table.Lookup(4);
  EXPECT_EQ(HandleList::kMaxCapacity, record->handles.size);
  EXPECT_EQ(1, record->entryCount);
  EXPECT_EQ(1, record->unlistedHandles);
  EXPECT_EQ(1, record->categoryCounts[IndexOf(ObjectCategory::Brush)]);
  full.size = 0;
  full.capacity = 0;
}

TEST(ScanSharedHandleTableTest, EmptyProcessTable) {
  // A table that never had a record has no bin array yet.
  ProcessTable table;
  std::vector<GdiTableEntry> block = FreeBlock(3);
  block[0] = Entry(4, 0, 16);
  block[1] = Entry(0, 0, 1);
  Scan(block, table);
  EXPECT_EQ(0u, table.Count());
  EXPECT_EQ(nullptr, table.First());
  EXPECT_EQ(nullptr, table.Lookup(4));
  EXPECT_EQ(nullptr, table.Lookup(0));
}

// Location over simulated sessions.

constexpr char kSessionHead[] =
    "self 1000\n"
    "process 1000 4 open kestrel.exe\n"
    "process 4 6 open System\n"
    "process 612 412 denied csrss.exe\n";

class LocateSharedHandleTableTest : public testing::Test {
 protected:
  void SetUp() override { ResetQueryFunctionCache(); }
  void TearDown() override { ResetQueryFunctionCache(); }

  void Use(const std::string& text) {
    std::string error;
    ASSERT_TRUE(platform::UseSessionText(text, &error)) << error;
  }

  // Locates the table and checks that every handle opened on the way was
  // closed.
  bool Locate(SharedTableLocation* location) {
    bool found = LocateSharedHandleTable(location);
    EXPECT_EQ(0u, platform::OpenHandleCount());
    return found;
  }
};

TEST_F(LocateSharedHandleTableTest, EntryCountFromTheRegionSize) {
  const struct {
    uint64_t region;
    uint32_t entries;
  } kCases[] = {
      {4096, 0},  // one page: no entries
      {100, 0},   // less than a page
      {4095, 0},
      {4096 + 23, 0},
      {4096 + 24, 1},
      {4096 + 24 * 3 + 23, 3},  // a partial entry is not counted
      {65536 * 24 - 1, 65365},  // one entry short of the whole table
      {65536 * 24, 65536},      // Wine: the whole table, no page beyond
      {4096 + 65536 * 24, 65536},
      {4096 + (65536 + 6) * 24, 65536},  // no handle names entry 65536
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.region);
    Use(std::string(kSessionHead) + "table " + std::to_string(c.region) + "\n");
    SharedTableLocation location;
    ASSERT_TRUE(Locate(&location));
    EXPECT_NE(nullptr, location.table);
    EXPECT_EQ(c.entries, location.slots);
  }
}

TEST_F(LocateSharedHandleTableTest, DefaultRegion) {
  Use(kSessionHead);
  SharedTableLocation location;
  ASSERT_TRUE(Locate(&location));
  EXPECT_EQ((Session::kDefaultRegion - 4096) / 24, location.slots);
}

TEST_F(LocateSharedHandleTableTest, FindsTheSessionsEntries) {
  Use(std::string(kSessionHead) +
      "table 5000\n"
      "entry 0 0xFFFFF90000001000 4 3 16 0x40 0x2000\n"
      "entry 36 26 1001 0xFFFF 102 0 0xFFFFFFFFFFFFFFFF\n");
  SharedTableLocation location;
  ASSERT_TRUE(Locate(&location));
  ASSERT_EQ(37u, location.slots);
  // The location reaches the session's own entries.
  EXPECT_EQ(0xFFFFF90000001000u, location.table[0].kernelAddress);
  EXPECT_EQ(1001u, location.table[36].ownerWord);
  EXPECT_EQ(0xFFFFFFFFFFFFFFFFu, location.table[36].userAddress);

  // Located and scanned, as a run does it.
  ProcessTable table;
  Record(table, 4);
  Record(table, 1000);
  ScanSharedHandleTable(location.table, location.slots, table);
  EXPECT_EQ(1, table.Lookup(4)->categoryCounts[IndexOf(ObjectCategory::Brush)]);
  EXPECT_EQ(
      1, table.Lookup(1000)->categoryCounts[IndexOf(ObjectCategory::MetaDC)]);
  ASSERT_EQ(1, table.Lookup(1000)->handles.size);
  EXPECT_EQ(0xFFFFu * 65536u + 36u,
            table.Lookup(1000)->handles.storage[0].handle);
}

TEST_F(LocateSharedHandleTableTest, EachFailingStepFails) {
  for (const char* step : {"ntdll-lookup", "open-self", "query-status",
                           "peb-null", "virtual-query", "region-unreadable"}) {
    SCOPED_TRACE(step);
    ResetQueryFunctionCache();
    Use(std::string(kSessionHead) + "fail " + step + "\n");
    SharedTableLocation location;
    EXPECT_FALSE(Locate(&location));
  }
}

TEST_F(LocateSharedHandleTableTest, QueryFunctionIsLookedUpOnce) {
  Use(kSessionHead);
  SharedTableLocation location;
  ASSERT_TRUE(Locate(&location));
  // Resolved once, the function is not looked up again.
  Use(std::string(kSessionHead) + "fail ntdll-lookup\n");
  EXPECT_TRUE(Locate(&location));
  EXPECT_NE(nullptr, QueryPebAddress(1000));
  ResetQueryFunctionCache();
  EXPECT_FALSE(Locate(&location));
  EXPECT_EQ(nullptr, QueryPebAddress(1000));
}

TEST_F(LocateSharedHandleTableTest, FailedLookupIsTriedAgain) {
  Use(std::string(kSessionHead) + "fail ntdll-lookup\n");
  SharedTableLocation location;
  EXPECT_FALSE(Locate(&location));
  EXPECT_FALSE(Locate(&location));
  Use(kSessionHead);
  EXPECT_TRUE(Locate(&location));
}

TEST_F(LocateSharedHandleTableTest, QueryPebAddress) {
  Use(kSessionHead);
  const void* peb = QueryPebAddress(1000);
  ASSERT_NE(nullptr, peb);
  EXPECT_EQ(0u, platform::OpenHandleCount());
  // The table pointer sits at 0xF8 of the program's own PEB.
  const void* table = nullptr;
  std::memcpy(&table,
              static_cast<const unsigned char*>(peb) +
                  platform::kPebGdiSharedHandleTableOffset,
              sizeof(table));
  SharedTableLocation location;
  ASSERT_TRUE(Locate(&location));
  EXPECT_EQ(table, location.table);

  // Another process that can be opened has a PEB of its own.
  const void* other = QueryPebAddress(4);
  EXPECT_NE(nullptr, other);
  EXPECT_NE(peb, other);
  EXPECT_EQ(0u, platform::OpenHandleCount());

  // A process that denies the query, one that does not exist, and PID 0.
  for (uint32_t pid : {612u, 12345u, 0u}) {
    SCOPED_TRACE(pid);
    EXPECT_EQ(nullptr, QueryPebAddress(pid));
    EXPECT_EQ(0u, platform::OpenHandleCount());
  }
}

}  // namespace
