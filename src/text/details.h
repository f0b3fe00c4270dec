// The detail views: per process, its counters by category (-c) and its
// handles with type name and kernel address (-v, narrowed by -f).
#pragma once

class Output;
struct ProcessRecord;
struct ReportOptions;

// Prints one block, which always ends with one empty line.
void PrintDetails(const ProcessRecord& record, const ReportOptions& options,
                  Output& out);
