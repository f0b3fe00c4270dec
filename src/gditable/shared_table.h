// The GDI shared handle table's scan: its used entries attributed to the
// processes of the process table.
#pragma once

#include <cstdint>

#include "platform/gdi_table_layout.h"

class ProcessTable;

using platform::GdiTableEntry;

// The handle value of entry `index`: unique * 65536 + index in 32 bits, an
// addition, so bit 16 of the index carries into the upper half.
inline uint64_t HandleValueOf(uint16_t unique, uint32_t index) {
  return static_cast<uint32_t>(unique * 65536u + index);
}

// Attributes every used entry owned by a recorded process to its record; an
// entry whose handle cannot be kept still counts, as an unlisted handle.
// Returns the number of used entries, whoever owns them.
uint32_t ScanSharedHandleTable(const GdiTableEntry* table, uint32_t tableSlots,
                               ProcessTable& processes);
