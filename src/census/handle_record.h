// One handle of a process: a copy of its shared-table entry and its value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gdi_table_layout.h"

struct HandleRecord {
  platform::GdiTableEntry entry;  // byte for byte as the table held it
  // unique * 65536 + entry index, 32-bit, widened; the upper half is zero.
  uint64_t handle;
};
static_assert(sizeof(HandleRecord) == 32, "HandleRecord is 32 bytes");
static_assert(offsetof(HandleRecord, entry) == 0, "entry offset");
static_assert(offsetof(HandleRecord, handle) == 24, "handle offset");
