// The one error the census raises: its tables could not allocate.
#pragma once

#include <cstdint>
#include <new>

// Raised when the process table or its PID index cannot allocate
// (E_OUTOFMEMORY); a std::bad_alloc, so one handler catches both.
struct OutOfMemoryError : std::bad_alloc {
  static constexpr uint32_t kCode = 0x8007000E;
  const char* what() const noexcept override { return "out of memory"; }
};
