// The growable array of a process's handles.
#pragma once

#include <cstdint>

#include "census/handle_record.h"

// Capacity doubles on growth; a list never holds more than kMaxCapacity
// records, the largest count whose byte size fits a signed 32-bit int.
//
// Storage is allocated for at least kMinAllocation records, zero-filled, so
// that the first few doublings of a list need no reallocation: the scan
// grows hundreds of lists at once, and their small reallocations cost more
// than the copies of the large ones.
struct HandleList {
  static constexpr int32_t kMaxCapacity = 0x3FFFFFF;
  static constexpr int32_t kMinAllocation = 64;

  HandleList() = default;
  HandleList(const HandleList& other);
  HandleList(HandleList&& other) noexcept;
  HandleList& operator=(const HandleList& other);
  HandleList& operator=(HandleList&& other) noexcept;
  ~HandleList();

  // Adds a copy of `record` at the end. False, with the list unchanged, when
  // the list cannot grow.
  bool Append(const HandleRecord& record) {
    HandleRecord* slot = AppendSlot();
    if (slot)
      *slot = record;
    return slot != nullptr;
  }

  // Adds one record at the end and returns it for the caller to fill, or
  // null, with the list unchanged, when the list cannot grow.
  HandleRecord* AppendSlot() {
    if (size == capacity)
      return GrowAndAppendSlot();
    return &storage[size++];
  }

  const HandleRecord* begin() const { return storage; }
  const HandleRecord* end() const { return storage + size; }

  HandleRecord* storage = nullptr;
  int32_t size = 0;
  int32_t capacity = 0;

 private:
  HandleRecord* GrowAndAppendSlot();
  // The records that storage holds room for at `capacity`.
  static int64_t AllocatedFor(int64_t capacity) {
    return capacity == 0 || capacity >= kMinAllocation ? capacity
                                                       : kMinAllocation;
  }
};
