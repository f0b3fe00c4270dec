// The system's layout of the GDI shared handle table on 64-bit Windows: its
// entries, where the PEB points at it, and how much of its region they fill.
// Declared once here, below everything that reads or (in the simulated
// backend) writes a table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// One entry of the GDI shared handle table (24 bytes on 64-bit Windows).
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
// A region smaller than the whole table holds one page more than the
// entries it counts: on Windows, the page that follows them. (Wine maps
// exactly the whole table, with no page beyond.)
constexpr uint64_t kTableHeaderBytes = 4096;
// A handle's index is its low 16 bits, so no handle names an entry past
// these, whatever the region's size; the memory beyond holds other data.
constexpr uint32_t kMaxTableEntries = 65536;

}  // namespace platform
