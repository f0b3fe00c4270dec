// One handle of a process: a copy of its shared-table entry and its value.
#pragma once

#include <cstddef>
#include <cstdint>

struct HandleRecord {
  // The first 24 bytes copy the shared-table entry byte for byte.
  uint64_t kernelAddress;
  uint32_t owner;  // raw owner word, bit 0 included
  uint16_t unique;
  uint8_t typeCode;
  uint8_t flags;
  uint64_t userAddress;
  // unique * 65536 + entry index, 32-bit, widened; the upper half is zero.
  uint64_t handle;
};
static_assert(sizeof(HandleRecord) == 32, "HandleRecord is 32 bytes");
static_assert(offsetof(HandleRecord, owner) == 8, "owner offset");
static_assert(offsetof(HandleRecord, unique) == 12, "unique offset");
static_assert(offsetof(HandleRecord, typeCode) == 14, "typeCode offset");
static_assert(offsetof(HandleRecord, flags) == 15, "flags offset");
static_assert(offsetof(HandleRecord, userAddress) == 16, "userAddress offset");
static_assert(offsetof(HandleRecord, handle) == 24, "handle offset");
