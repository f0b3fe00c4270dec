// Finding the GDI shared handle table through the program's own PEB.
#pragma once

#include <cstdint>

#include "platform/gdi_table_layout.h"

using platform::GdiTableEntry;

struct SharedTableLocation {
  const GdiTableEntry* table = nullptr;
  uint32_t slots = 0;  // the entries it has room for, used or not
};

// The PEB address of process `pid`, or null when it cannot be queried.
const void* QueryPebAddress(uint32_t pid);

// Finds the shared table and its slots, at most 65,536. False when the
// table cannot be found or its memory cannot be read.
bool LocateSharedHandleTable(SharedTableLocation* location);
