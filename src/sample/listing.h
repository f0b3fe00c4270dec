// Which processes a run lists, and in what order.
#pragma once

#include <cstdint>
#include <vector>

class ProcessTable;
struct ProcessRecord;
struct ReportOptions;

// The records that match the target and reach the threshold, in the order
// -s asks for: PID ascending; name regardless of case, then PID; GDI Total
// or GDI All descending, then PID; without -s, the table's own order.
std::vector<const ProcessRecord*> ListedProcesses(const ProcessTable& table,
                                                  const ReportOptions& options);

// The processes a watch follows for their growth, in table order: those
// the listing would show whatever -t's count, so that a process's growth
// starts where its life in the watch does.
std::vector<const ProcessRecord*> FollowedProcesses(
    const ProcessTable& table, const ReportOptions& options);

// The handles of `processes` that could not be kept, where the handles are
// listed (-v); 0 in the other views, which are whole.
int64_t UnlistedHandles(const std::vector<const ProcessRecord*>& processes,
                        const ReportOptions& options);
