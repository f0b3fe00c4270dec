#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/program_io.h"
#include "platform/sim/session.h"
#include "platform/sim/sim_control.h"

namespace {

using platform::HANDLE;
using platform::INVALID_HANDLE_VALUE;
using platform::PROCESS_QUERY_INFORMATION;

class PlatformSimTest : public testing::Test {
 protected:
  void TearDown() override { platform::UseSession(Session()); }

  void Use(const std::string& text) {
    std::string error;
    ASSERT_TRUE(platform::UseSessionText(text, &error)) << error;
  }

  // Parses `text` and installs it; returns where its table lives.
  const unsigned char* UseWithTable(const std::string& text) {
    Session session;
    size_t line = 0;
    std::string error;
    EXPECT_TRUE(ParseSessionText(text, &session, &line, &error)) << error;
    const unsigned char* table = session.table.get();
    platform::UseSession(std::move(session));
    return table;
  }

  HANDLE Open(uint32_t pid) {
    return platform::OpenProcess(PROCESS_QUERY_INFORMATION, false, pid);
  }

  // The PIDs and names a full snapshot walk yields.
  std::vector<std::pair<uint32_t, std::u16string>> Walk() {
    std::vector<std::pair<uint32_t, std::u16string>> seen;
    HANDLE snapshot =
        platform::CreateToolhelp32Snapshot(platform::TH32CS_SNAPPROCESS, 0);
    EXPECT_NE(INVALID_HANDLE_VALUE, snapshot);
    platform::PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (bool more = platform::Process32FirstW(snapshot, &entry); more;
         more = platform::Process32NextW(snapshot, &entry))
      seen.emplace_back(entry.th32ProcessID, entry.szExeFile);
    EXPECT_TRUE(platform::CloseHandle(snapshot));
    return seen;
  }

  platform::NtQueryInformationProcessFn QueryFunction() {
    platform::HMODULE ntdll = platform::GetModuleHandleW(u"ntdll.dll");
    EXPECT_NE(nullptr, ntdll);
    return reinterpret_cast<platform::NtQueryInformationProcessFn>(
        platform::GetProcAddress(ntdll, "NtQueryInformationProcess"));
  }
};

TEST_F(PlatformSimTest, SnapshotWalk) {
  Use("process 0 0 denied [System Process]\n"
      "process 4 6 open System\n"
      "process 612 412 denied csrss.exe\n"
      "process 6956 64 open \xE5\xBE\xAE\xE4\xBF\xA1.exe\n");
  auto seen = Walk();
  ASSERT_EQ(4u, seen.size());
  EXPECT_EQ(0u, seen[0].first);
  EXPECT_EQ(u"[System Process]", seen[0].second);
  EXPECT_EQ(4u, seen[1].first);
  EXPECT_EQ(612u, seen[2].first);
  EXPECT_EQ(6956u, seen[3].first);
  EXPECT_EQ(u"\u5FAE\u4FE1.exe", seen[3].second);
  EXPECT_EQ(0u, platform::OpenHandleCount());
}

TEST_F(PlatformSimTest, SnapshotEntryIsRewrittenWhole) {
  Use("process 8 1 open a-rather-long-name.exe\n"
      "process 12 1 open b.exe\n");
  HANDLE snapshot =
      platform::CreateToolhelp32Snapshot(platform::TH32CS_SNAPPROCESS, 0);
  platform::PROCESSENTRY32W entry;
  std::memset(&entry, 0x5A, sizeof(entry));
  entry.dwSize = sizeof(entry);
  ASSERT_TRUE(platform::Process32FirstW(snapshot, &entry));
  EXPECT_EQ(sizeof(entry), entry.dwSize);
  ASSERT_TRUE(platform::Process32NextW(snapshot, &entry));
  EXPECT_EQ(12u, entry.th32ProcessID);
  EXPECT_EQ(std::u16string(u"b.exe"), entry.szExeFile);
  // No trace of the longer name or of the garbage before it.
  for (size_t i = 5; i < 260; ++i)
    ASSERT_EQ(u'\0', entry.szExeFile[i]) << i;
  EXPECT_FALSE(platform::Process32NextW(snapshot, &entry));
  EXPECT_FALSE(platform::Process32NextW(snapshot, &entry));
  // First starts the walk over.
  ASSERT_TRUE(platform::Process32FirstW(snapshot, &entry));
  EXPECT_EQ(8u, entry.th32ProcessID);
  EXPECT_TRUE(platform::CloseHandle(snapshot));
}

TEST_F(PlatformSimTest, SnapshotNeedsTheEntrySize) {
  Use("process 4 6 open System\n");
  HANDLE snapshot =
      platform::CreateToolhelp32Snapshot(platform::TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);
  platform::PROCESSENTRY32W entry = {};
  for (uint32_t size : {0u, 4u, 556u, 567u}) {
    entry.dwSize = size;
    EXPECT_FALSE(platform::Process32FirstW(snapshot, &entry)) << size;
    EXPECT_EQ(0u, entry.th32ProcessID);
  }
  entry.dwSize = 568;
  EXPECT_TRUE(platform::Process32FirstW(snapshot, &entry));
  EXPECT_EQ(4u, entry.th32ProcessID);
  EXPECT_FALSE(platform::Process32FirstW(snapshot, nullptr));
  EXPECT_TRUE(platform::CloseHandle(snapshot));
}

TEST_F(PlatformSimTest, SnapshotFailures) {
  Use("snapshot fail\nprocess 4 6 open System\n");
  EXPECT_EQ(INVALID_HANDLE_VALUE, platform::CreateToolhelp32Snapshot(
                                      platform::TH32CS_SNAPPROCESS, 0));
  EXPECT_EQ(0u, platform::OpenHandleCount());

  Use("process 4 6 open System\n");
  // Only process snapshots are simulated.
  EXPECT_EQ(INVALID_HANDLE_VALUE, platform::CreateToolhelp32Snapshot(0x8, 0));
  // A walk over anything but a snapshot handle fails.
  platform::PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  EXPECT_FALSE(platform::Process32FirstW(nullptr, &entry));
  EXPECT_FALSE(platform::Process32FirstW(INVALID_HANDLE_VALUE, &entry));
  HANDLE process = Open(4);
  ASSERT_NE(nullptr, process);
  EXPECT_FALSE(platform::Process32FirstW(process, &entry));
  EXPECT_TRUE(platform::CloseHandle(process));
  // ...as does one over a closed snapshot.
  HANDLE snapshot =
      platform::CreateToolhelp32Snapshot(platform::TH32CS_SNAPPROCESS, 0);
  EXPECT_TRUE(platform::CloseHandle(snapshot));
  EXPECT_FALSE(platform::CloseHandle(snapshot));
  EXPECT_FALSE(platform::Process32FirstW(snapshot, &entry));
  EXPECT_EQ(0u, platform::OpenHandleCount());
}

TEST_F(PlatformSimTest, OpenProcess) {
  Use("self 1000\n"
      "process 0 5 open Idle\n"
      "process 4 6 open System\n"
      "process 612 412 denied csrss.exe\n");
  struct Case {
    uint32_t pid;
    bool opens;
  };
  const Case cases[] = {
      {4, true},     // listed, open
      {612, false},  // listed, denied
      {1000, true},  // self, not listed
      {0, false},    // PID 0 never opens
      {5, false},    // unknown
      {999, false},  // unknown
  };
  for (const Case& c : cases) {
    HANDLE process = Open(c.pid);
    EXPECT_EQ(c.opens, process != nullptr) << c.pid;
    if (process) {
      EXPECT_TRUE(platform::CloseHandle(process));
    }
  }
  EXPECT_EQ(nullptr, platform::OpenProcess(0, false, 4));
  EXPECT_EQ(1000u, platform::GetCurrentProcessId());
  EXPECT_EQ(0u, platform::OpenHandleCount());
}

TEST_F(PlatformSimTest, OwnProcessOpensWhateverItsLineSays) {
  Use("self 4524\nprocess 4524 47 denied notepad.exe\n");
  EXPECT_EQ(4524u, platform::GetCurrentProcessId());
  HANDLE self = Open(4524);
  ASSERT_NE(nullptr, self);
  EXPECT_EQ(47u, platform::GetGuiResources(self, platform::GR_GDIOBJECTS));
  EXPECT_TRUE(platform::CloseHandle(self));

  Use("self 4524\nfail open-self\nprocess 4524 47 open notepad.exe\n"
      "process 8 1 open a.exe\n");
  EXPECT_EQ(nullptr, Open(4524));
  // Only the own process is affected.
  HANDLE other = Open(8);
  EXPECT_NE(nullptr, other);
  platform::CloseHandle(other);
}

TEST_F(PlatformSimTest, GetGuiResources) {
  Use("process 4 6 open System\nprocess 880 0 open svchost.exe\n");
  HANDLE system = Open(4);
  HANDLE svchost = Open(880);
  HANDLE self = Open(platform::GetCurrentProcessId());
  EXPECT_EQ(6u, platform::GetGuiResources(system, platform::GR_GDIOBJECTS));
  EXPECT_EQ(0u, platform::GetGuiResources(svchost, platform::GR_GDIOBJECTS));
  // The own process, when no line lists it, owns nothing.
  EXPECT_EQ(0u, platform::GetGuiResources(self, platform::GR_GDIOBJECTS));
  // Without a counts line the GDI peak is the GDI count, the rest 0.
  EXPECT_EQ(6u,
            platform::GetGuiResources(system, platform::GR_GDIOBJECTS_PEAK));
  EXPECT_EQ(0u, platform::GetGuiResources(system, platform::GR_USEROBJECTS));
  EXPECT_EQ(0u,
            platform::GetGuiResources(system, platform::GR_USEROBJECTS_PEAK));
  // Without a global line the session's counts have no answer.
  EXPECT_EQ(0u, platform::GetGuiResources(platform::GR_GLOBAL,
                                          platform::GR_GDIOBJECTS));
  EXPECT_EQ(0u, platform::GetGuiResources(nullptr, platform::GR_GDIOBJECTS));
  HANDLE snapshot =
      platform::CreateToolhelp32Snapshot(platform::TH32CS_SNAPPROCESS, 0);
  EXPECT_EQ(0u, platform::GetGuiResources(snapshot, platform::GR_GDIOBJECTS));
  for (HANDLE h : {system, svchost, self, snapshot})
    EXPECT_TRUE(platform::CloseHandle(h));
  EXPECT_EQ(0u, platform::GetGuiResources(system, platform::GR_GDIOBJECTS));
}

TEST_F(PlatformSimTest, CompareStringOrdinal) {
  struct Case {
    const char16_t* first;
    const char16_t* second;
    bool ignoreCase;
    int result;
  };
  const Case cases[] = {
      {u"abc", u"ABC", true, platform::CSTR_EQUAL},
      {u"abc", u"ABC", false, platform::CSTR_GREATER_THAN},
      // Upper case: '_' sorts after the letters.
      {u"_", u"a", true, platform::CSTR_GREATER_THAN},
      {u"ab", u"abc", true, platform::CSTR_LESS_THAN},
      {u"\u00E9\u00FF\u0101\u013A", u"\u00C9\u0178\u0100\u0139", true,
       platform::CSTR_EQUAL},
      // Beyond Latin too: Cyrillic and Greek.
      {u"\u0431a", u"\u0411b", true, platform::CSTR_LESS_THAN},
      {u"\u0431\u03C9", u"\u0411\u03A9", true, platform::CSTR_EQUAL},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result, platform::CompareStringOrdinal(c.first, -1, c.second,
                                                       -1, c.ignoreCase));
  }
  EXPECT_EQ(platform::CSTR_EQUAL,
            platform::CompareStringOrdinal(u"abX", 2, u"ABY", 2, true));
}

TEST_F(PlatformSimTest, GetModuleHandleW) {
  platform::HMODULE ntdll = platform::GetModuleHandleW(u"ntdll.dll");
  ASSERT_NE(nullptr, ntdll);
  for (const char16_t* name : {u"NTDLL.DLL", u"NtDll.Dll", u"ntDLL.dll"})
    EXPECT_EQ(ntdll, platform::GetModuleHandleW(name));
  for (const char16_t* name : {u"", u"ntdll.dl", u"ntdll.dlll", u"xntdll.dll",
                               u"kernel32.dll", u"ntdll.dll "})
    EXPECT_EQ(nullptr, platform::GetModuleHandleW(name));
}

TEST_F(PlatformSimTest, GetProcAddress) {
  Use("");
  platform::HMODULE ntdll = platform::GetModuleHandleW(u"ntdll.dll");
  EXPECT_NE(nullptr,
            platform::GetProcAddress(ntdll, "NtQueryInformationProcess"));
  // Export names are case-sensitive.
  EXPECT_EQ(nullptr,
            platform::GetProcAddress(ntdll, "ntqueryinformationprocess"));
  EXPECT_EQ(nullptr,
            platform::GetProcAddress(ntdll, "NtQuerySystemInformation"));
  EXPECT_EQ(nullptr, platform::GetProcAddress(ntdll, ""));
  EXPECT_EQ(nullptr,
            platform::GetProcAddress(nullptr, "NtQueryInformationProcess"));

  Use("fail ntdll-lookup\n");
  EXPECT_NE(nullptr, platform::GetModuleHandleW(u"ntdll.dll"));
  EXPECT_EQ(nullptr,
            platform::GetProcAddress(ntdll, "NtQueryInformationProcess"));
}

TEST_F(PlatformSimTest, QueryReturnsTheOwnPeb) {
  const unsigned char* table = UseWithTable(
      "self 1000\ntable 8192\nentry 2 0xFFFFF90000000010 0x1195 7 16 0 0\n");
  auto query = QueryFunction();
  ASSERT_NE(nullptr, query);
  HANDLE self = Open(1000);
  platform::PROCESS_BASIC_INFORMATION info;
  std::memset(&info, 0xCC, sizeof(info));
  uint32_t returned = 0;
  ASSERT_EQ(0, query(self, platform::ProcessBasicInformation, &info,
                     sizeof(info), &returned));
  EXPECT_EQ(48u, returned);
  EXPECT_EQ(1000u, info.UniqueProcessId);
  ASSERT_NE(nullptr, info.PebBaseAddress);

  // The PEB is real memory holding the table pointer at 0xF8, and the table
  // holds the entries of the description.
  const unsigned char* pointerAt =
      static_cast<const unsigned char*>(info.PebBaseAddress) + 0xF8;
  const unsigned char* found = nullptr;
  std::memcpy(&found, pointerAt, sizeof(found));
  EXPECT_EQ(table, found);
  ASSERT_NE(nullptr, found);
  uint32_t owner = 0;
  std::memcpy(&owner, found + 2 * 24 + 8, 4);
  EXPECT_EQ(0x1195u, owner);
  EXPECT_EQ(16, found[2 * 24 + 14]);

  // The return length is optional.
  EXPECT_EQ(0, query(self, platform::ProcessBasicInformation, &info,
                     sizeof(info), nullptr));
  EXPECT_TRUE(platform::CloseHandle(self));
}

TEST_F(PlatformSimTest, QueryOfAnotherProcess) {
  Use("self 1000\nprocess 4 6 open System\n");
  auto query = QueryFunction();
  HANDLE self = Open(1000);
  HANDLE other = Open(4);
  platform::PROCESS_BASIC_INFORMATION own = {}, foreign = {};
  ASSERT_EQ(0, query(self, platform::ProcessBasicInformation, &own, sizeof(own),
                     nullptr));
  ASSERT_EQ(0, query(other, platform::ProcessBasicInformation, &foreign,
                     sizeof(foreign), nullptr));
  EXPECT_EQ(4u, foreign.UniqueProcessId);
  EXPECT_NE(own.PebBaseAddress, foreign.PebBaseAddress);
  platform::CloseHandle(self);
  platform::CloseHandle(other);
}

TEST_F(PlatformSimTest, QueryFailures) {
  Use("process 4 6 open System\n");
  auto query = QueryFunction();
  ASSERT_NE(nullptr, query);
  HANDLE self = Open(platform::GetCurrentProcessId());
  platform::PROCESS_BASIC_INFORMATION info = {};
  const uint32_t kSize = sizeof(info);
  // STATUS_INVALID_INFO_CLASS, STATUS_INFO_LENGTH_MISMATCH and
  // STATUS_INVALID_HANDLE, each negative as an NTSTATUS failure.
  EXPECT_EQ(static_cast<int32_t>(0xC0000003),
            query(self, 7, &info, kSize, nullptr));
  EXPECT_EQ(static_cast<int32_t>(0xC0000004),
            query(self, platform::ProcessBasicInformation, &info, 40, nullptr));
  EXPECT_EQ(
      static_cast<int32_t>(0xC0000008),
      query(nullptr, platform::ProcessBasicInformation, &info, kSize, nullptr));
  HANDLE snapshot =
      platform::CreateToolhelp32Snapshot(platform::TH32CS_SNAPPROCESS, 0);
  EXPECT_LT(
      query(snapshot, platform::ProcessBasicInformation, &info, kSize, nullptr),
      0);
  platform::CloseHandle(snapshot);
  HANDLE closed = Open(4);
  platform::CloseHandle(closed);
  EXPECT_LT(
      query(closed, platform::ProcessBasicInformation, &info, kSize, nullptr),
      0);
  platform::CloseHandle(self);

  Use("fail query-status\n");
  self = Open(platform::GetCurrentProcessId());
  ASSERT_NE(nullptr, self);
  EXPECT_LT(
      query(self, platform::ProcessBasicInformation, &info, kSize, nullptr), 0);
  platform::CloseHandle(self);
}

TEST_F(PlatformSimTest, NullTablePointer) {
  Use("fail peb-null\n");
  auto query = QueryFunction();
  HANDLE self = Open(platform::GetCurrentProcessId());
  platform::PROCESS_BASIC_INFORMATION info = {};
  ASSERT_EQ(0, query(self, platform::ProcessBasicInformation, &info,
                     sizeof(info), nullptr));
  const void* table = reinterpret_cast<const void*>(1);
  std::memcpy(&table,
              static_cast<const unsigned char*>(info.PebBaseAddress) + 0xF8,
              sizeof(table));
  EXPECT_EQ(nullptr, table);
  platform::CloseHandle(self);
}

TEST_F(PlatformSimTest, VirtualQuery) {
  const unsigned char* table = UseWithTable("table 0x3000\n");
  platform::MEMORY_BASIC_INFORMATION info = {};
  ASSERT_EQ(sizeof(info), platform::VirtualQuery(table, &info, sizeof(info)));
  EXPECT_EQ(0x3000u, info.RegionSize);
  EXPECT_EQ(platform::MEM_COMMIT, info.State);
  EXPECT_NE(0u, info.Protect & platform::PAGE_READONLY);
  EXPECT_EQ(0u, info.Protect & platform::PAGE_GUARD);
  EXPECT_EQ(table, info.AllocationBase);

  // Inside the table the region runs on to its end.
  ASSERT_EQ(sizeof(info),
            platform::VirtualQuery(table + 0x1000, &info, sizeof(info)));
  EXPECT_EQ(0x2000u, info.RegionSize);
  EXPECT_EQ(platform::MEM_COMMIT, info.State);

  // Outside it nothing is committed.
  for (const unsigned char* outside : {table - 1, table + 0x3000}) {
    ASSERT_EQ(sizeof(info),
              platform::VirtualQuery(outside, &info, sizeof(info)));
    EXPECT_NE(platform::MEM_COMMIT, info.State);
  }
  // A buffer shorter than the record is refused.
  EXPECT_EQ(0u, platform::VirtualQuery(table, &info, sizeof(info) - 1));
  EXPECT_EQ(0u, platform::VirtualQuery(table, nullptr, sizeof(info)));
}

TEST_F(PlatformSimTest, VirtualQueryFailures) {
  const unsigned char* table = UseWithTable("fail region-unreadable\n");
  platform::MEMORY_BASIC_INFORMATION info = {};
  ASSERT_EQ(sizeof(info), platform::VirtualQuery(table, &info, sizeof(info)));
  EXPECT_NE(platform::MEM_COMMIT, info.State);

  table = UseWithTable("fail virtual-query\n");
  EXPECT_EQ(0u, platform::VirtualQuery(table, &info, sizeof(info)));
}

TEST_F(PlatformSimTest, SessionInstalledDirectly) {
  // A session built in code, with no table yet, still gets one.
  Session session;
  session.selfPid = 77;
  session.regionSize = 4096 + 24;
  SimulatedProcess process;
  process.pid = 77;
  process.gdiObjects = 3;
  process.canOpen = true;
  process.name = u"self.exe";
  session.processes.push_back(process);
  platform::UseSession(std::move(session));
  EXPECT_EQ(77u, platform::GetCurrentProcessId());

  auto query = QueryFunction();
  HANDLE self = Open(77);
  platform::PROCESS_BASIC_INFORMATION info = {};
  ASSERT_EQ(0, query(self, platform::ProcessBasicInformation, &info,
                     sizeof(info), nullptr));
  platform::CloseHandle(self);
  const void* table = nullptr;
  std::memcpy(&table,
              static_cast<const unsigned char*>(info.PebBaseAddress) + 0xF8,
              sizeof(table));
  ASSERT_NE(nullptr, table);
  platform::MEMORY_BASIC_INFORMATION region = {};
  ASSERT_EQ(sizeof(region),
            platform::VirtualQuery(table, &region, sizeof(region)));
  EXPECT_EQ(4096u + 24u, region.RegionSize);
  EXPECT_EQ(platform::MEM_COMMIT, region.State);
}

// A wait does not wait: the clock moves to the deadline and the next sample
// block applies, to the snapshot, the counts and the table in place.
TEST_F(PlatformSimTest, WaitsApplySampleBlocks) {
  const unsigned char* table = UseWithTable(
      "process 4 6 open System\n"
      "process 8 2 open a.exe\n"
      "table 4144\n"
      "entry 0 0x10 4 0 16 0 0\n"
      "sample\n"
      "free 0\n"
      "entry 1 0x20 12 0 5 0 0\n"
      "exit 8\n"
      "process 12 3 open b.exe\n"
      "process 4 7 open System\n"
      "sample\n"
      "interrupt\n");
  EXPECT_EQ(0u, platform::MonotonicMilliseconds());
  EXPECT_TRUE(platform::WaitUntil(2000));
  EXPECT_EQ(2000u, platform::MonotonicMilliseconds());
  EXPECT_EQ(0, table[14]);
  EXPECT_EQ(5, table[24 + 14]);
  using Seen = std::vector<std::pair<uint32_t, std::u16string>>;
  EXPECT_EQ((Seen{{4, u"System"}, {12, u"b.exe"}}), Walk());
  for (auto [pid, count] : {std::pair<uint32_t, uint32_t>{4, 7}, {12, 3}}) {
    HANDLE process = Open(pid);
    EXPECT_EQ(count,
              platform::GetGuiResources(process, platform::GR_GDIOBJECTS));
    platform::CloseHandle(process);
  }
  // The interrupt arrives during the sample after the wait; the next wait
  // ends at once.
  EXPECT_FALSE(platform::InterruptRequested());
  EXPECT_TRUE(platform::WaitUntil(4000));
  EXPECT_TRUE(platform::InterruptRequested());
  EXPECT_FALSE(platform::WaitUntil(6000));
  EXPECT_EQ(4000u, platform::MonotonicMilliseconds());
}

}  // namespace
