// The GDI shared handle table: finding it through the program's own PEB and
// attributing its used entries to the processes of the process table.
#pragma once

#include <cstddef>
#include <cstdint>

class ProcessTable;

// One entry of the shared table, as the system lays it out on 64-bit Windows.
struct GdiTableEntry {
  uint64_t kernelAddress;
  uint32_t ownerWord;  // owning PID; bit 0 is not part of it
  uint16_t unique;     // upper 16 bits of the handle value
  uint8_t typeCode;    // 0 marks a free entry
  uint8_t flags;
  uint64_t userAddress;
};
static_assert(sizeof(GdiTableEntry) == 24, "GdiTableEntry is 24 bytes");
static_assert(offsetof(GdiTableEntry, ownerWord) == 8, "owner offset");
static_assert(offsetof(GdiTableEntry, unique) == 12, "unique offset");
static_assert(offsetof(GdiTableEntry, typeCode) == 14, "type offset");
static_assert(offsetof(GdiTableEntry, flags) == 15, "flags offset");
static_assert(offsetof(GdiTableEntry, userAddress) == 16, "user offset");

// Byte offset of GdiSharedHandleTable in the 64-bit PEB.
constexpr size_t kPebGdiSharedHandleTableOffset = 0xF8;
// The table's region holds one page before the entries it counts.
constexpr uint64_t kTableHeaderBytes = 4096;

struct SharedTableLocation {
  const GdiTableEntry* table = nullptr;
  uint32_t entryCount = 0;
};

// The PEB address of process `pid`, or null when it cannot be queried.
const void* QueryPebAddress(uint32_t pid);

// Finds the shared table and its entry count. False when the table cannot be
// found or its memory cannot be read.
bool LocateSharedHandleTable(SharedTableLocation* location);

// The handle value of entry `index`: unique * 65536 + index in 32 bits, an
// addition, so bit 16 of the index carries into the upper half.
inline uint64_t HandleValueOf(uint16_t unique, uint32_t index) {
  return static_cast<uint32_t>(unique * 65536u + index);
}

// Attributes every used entry owned by a recorded process to its record.
void ScanSharedHandleTable(const GdiTableEntry* table, uint32_t entryCount,
                           ProcessTable& processes);

// Forgets the cached address of NtQueryInformationProcess (for tests).
void ResetQueryFunctionCache();
