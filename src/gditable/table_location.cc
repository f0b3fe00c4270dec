#include "gditable/table_location.h"

#include <cstring>

#include "gditable/table_location_testing.h"
#include "platform/platform.h"

namespace {

// Resolved once per run; a failed lookup leaves it empty so that a later call
// tries again.
platform::NtQueryInformationProcessFn cachedQueryFunction = nullptr;

bool IsReadable(const platform::MEMORY_BASIC_INFORMATION& info) {
  constexpr uint32_t kReadable =
      platform::PAGE_READONLY | platform::PAGE_READWRITE |
      platform::PAGE_WRITECOPY | platform::PAGE_EXECUTE_READ |
      platform::PAGE_EXECUTE_READWRITE | platform::PAGE_EXECUTE_WRITECOPY;
  return info.State == platform::MEM_COMMIT &&
         (info.Protect & platform::PAGE_GUARD) == 0 &&
         (info.Protect & kReadable) != 0;
}

}  // namespace

void ResetQueryFunctionCache() { cachedQueryFunction = nullptr; }

const void* QueryPebAddress(uint32_t pid) {
  if (!cachedQueryFunction) {
    platform::HMODULE ntdll = platform::GetModuleHandleW(u"ntdll.dll");
    if (!ntdll)
      return nullptr;
    platform::FARPROC proc =
        platform::GetProcAddress(ntdll, "NtQueryInformationProcess");
    if (!proc)
      return nullptr;
    cachedQueryFunction =
        reinterpret_cast<platform::NtQueryInformationProcessFn>(proc);
  }
  platform::PROCESS_BASIC_INFORMATION information = {};
  platform::NTSTATUS status;
  {
    platform::UniqueProcessHandle process(
        platform::OpenProcess(platform::PROCESS_QUERY_INFORMATION, false, pid));
    if (!process)
      return nullptr;
    uint32_t returnLength = 0;
    status =
        cachedQueryFunction(process.get(), platform::ProcessBasicInformation,
                            &information, sizeof(information), &returnLength);
  }
  if (status < 0)
    return nullptr;
  return information.PebBaseAddress;
}

bool LocateSharedHandleTable(SharedTableLocation* location) {
  const void* peb = QueryPebAddress(platform::GetCurrentProcessId());
  if (!peb)
    return false;
  const void* table = nullptr;
  std::memcpy(&table,
              static_cast<const unsigned char*>(peb) +
                  platform::kPebGdiSharedHandleTableOffset,
              sizeof(table));
  if (!table)
    return false;
  platform::MEMORY_BASIC_INFORMATION information = {};
  if (platform::VirtualQuery(table, &information, sizeof(information)) == 0)
    return false;
  // Reading a region that is not committed and readable would crash the run.
  if (!IsReadable(information))
    return false;
  // A region that holds every entry a handle can name is read whole: Wine
  // maps exactly that, with no page beyond. A smaller one holds a page more
  // than its entries.
  constexpr uint64_t kWholeTable =
      uint64_t{platform::kMaxTableEntries} * sizeof(GdiTableEntry);
  uint64_t entries = platform::kMaxTableEntries;
  if (information.RegionSize < kWholeTable) {
    entries = information.RegionSize < platform::kTableHeaderBytes
                  ? 0
                  : (information.RegionSize - platform::kTableHeaderBytes) /
                        sizeof(GdiTableEntry);
  }
  location->table = static_cast<const GdiTableEntry*>(table);
  location->slots = static_cast<uint32_t>(entries);
  return true;
}
