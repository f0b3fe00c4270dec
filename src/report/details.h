// The detail views: per process, its counters by category (-c) and its
// handles with type name and kernel address (-v, narrowed by -f).
#pragma once

#include <string>

class Output;
struct ProcessRecord;

struct DetailOptions {
  bool showCounts = false;
  bool showHandles = false;
  bool hasTypeFilter = false;
  std::u16string typeFilter;
};

// Prints one block, which always ends with one empty line.
void PrintDetails(const ProcessRecord& record, const DetailOptions& options,
                  Output& out);
