// A handle as the handle view (-v) and a watch's handle changes print it.
#pragma once

#include <cstddef>

struct HandleRecord;

// The most bytes of a handle line, without its newline.
constexpr size_t kHandleLineBytes = 2 + 16 + 4 + 64 + 6 + 16;

// Writes the handle view's line of `handle` at `at`, without its newline:
// "0x%p    %-18s    0x%p" (value, type name, kernel address field), all
// ASCII. Returns the end of it.
char* FormatHandleLine(char* at, const HandleRecord& handle);
