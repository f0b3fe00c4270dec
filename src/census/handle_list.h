// The growable array of a process's handles.
#pragma once

#include <cstdint>

#include "census/handle_record.h"

// Capacity doubles on growth; a list never holds more than kMaxCapacity
// records, the largest count whose byte size fits a signed 32-bit int. The
// records between size and capacity are zero, as growth that zero-fills what
// it adds leaves them.
//
// Storage may be larger than the capacity: it is allocated for at least
// kMinAllocation records, so that the first few doublings of a list need no
// reallocation (the scan grows hundreds of lists at once, and their small
// reallocations cost more than the copies of the large ones), and Reserve
// allocates for what a list is expected to hold.
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

  // Allocates storage at once for the capacity that doubling reaches to
  // hold `records` records in all, so that appends up to that many
  // reallocate nothing; the capacity still doubles as they go. Nothing
  // happens when the storage is that large already or cannot be had: the
  // list then grows as it would have.
  void Reserve(int32_t records);

  // For a writer that fills the storage past the end itself and then calls
  // TakeWritten: how many records in all the list can hold without a
  // reallocation, the largest capacity doubling reaches within its storage.
  int32_t Room() const;
  // Takes the `count` records written past the end, within Room, as appended
  // one by one: the capacity doubles as their appends would have doubled it.
  void TakeWritten(int32_t count);

  const HandleRecord* begin() const { return storage; }
  const HandleRecord* end() const { return storage + size; }

  HandleRecord* storage = nullptr;
  int32_t size = 0;
  int32_t capacity = 0;

 private:
  HandleRecord* GrowAndAppendSlot();

  int32_t allocated_ = 0;  // the records storage holds room for
};
