// The detail views: per process, its counters by category (-c) and its
// handles with type name and kernel address (-v, narrowed by -f).
#pragma once

#include <cstddef>

class Output;
struct HandleRecord;
struct ProcessRecord;
struct ReportOptions;

// The most bytes of a handle line, without its newline.
constexpr size_t kHandleLineBytes = 2 + 16 + 4 + 64 + 6 + 16;

// Writes the handle view's line of `handle` at `at`, without its newline:
// "0x%p    %-18s    0x%p" (value, type name, kernel address field), all
// ASCII. Returns the end of it.
char* FormatHandleLine(char* at, const HandleRecord& handle);

// Prints one block, which always ends with one empty line.
void PrintDetails(const ProcessRecord& record, const ReportOptions& options,
                  Output& out);
