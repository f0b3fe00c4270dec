// Which processes a run lists, and in what order.
#pragma once

#include <vector>

class ProcessTable;
struct ProcessRecord;
struct RunOptions;

// The records that match the target and reach the threshold, in the order
// -s asks for: PID ascending; name regardless of case, then PID; GDI Total
// or GDI All descending, then PID; without -s, the table's own order.
std::vector<const ProcessRecord*> ListedProcesses(const ProcessTable& table,
                                                  const RunOptions& options);
