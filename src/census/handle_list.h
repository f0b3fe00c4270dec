// The growable array of a process's handles.
#pragma once

#include <cstdint>

#include "census/handle_record.h"

// Capacity doubles on growth; a list never holds more than kMaxCapacity
// records, the largest count whose byte size fits a signed 32-bit int.
struct HandleList {
  static constexpr int32_t kMaxCapacity = 0x3FFFFFF;

  HandleList() = default;
  HandleList(const HandleList& other);
  HandleList(HandleList&& other) noexcept;
  HandleList& operator=(const HandleList& other);
  HandleList& operator=(HandleList&& other) noexcept;
  ~HandleList();

  // Adds a copy of `record` at the end. False, with the list unchanged, when
  // the list cannot grow.
  bool Append(const HandleRecord& record) {
    if (size == capacity)
      return GrowAndAppend(record);
    storage[size++] = record;
    return true;
  }

  const HandleRecord* begin() const { return storage; }
  const HandleRecord* end() const { return storage + size; }

  HandleRecord* storage = nullptr;
  int32_t size = 0;
  int32_t capacity = 0;

 private:
  bool GrowAndAppend(const HandleRecord& record);
};
