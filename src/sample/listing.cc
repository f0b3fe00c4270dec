#include "sample/listing.h"

#include <algorithm>

#include "census/process_table.h"
#include "platform/platform.h"
#include "sample/report_options.h"

namespace {

bool MatchesTarget(const ProcessRecord& record, const ReportOptions& options) {
  switch (options.targetMode) {
    case TargetMode::None:
      return true;
    case TargetMode::ByName:
      return platform::StrStrIW(record.exeName, options.targetName.c_str()) !=
             nullptr;
    case TargetMode::ByPid:
      return record.pid == options.targetPid;
  }
  return false;
}

bool Matches(const ProcessRecord& record, const ReportOptions& options) {
  return static_cast<uint32_t>(record.guiObjectCount) >= options.threshold &&
         MatchesTarget(record, options);
}

// Whether `a` comes before `b`; PIDs are unique, so this is a total order.
bool Precedes(const ProcessRecord* a, const ProcessRecord* b, SortOrder order) {
  switch (order) {
    case SortOrder::Table:
    case SortOrder::Pid:
      break;
    case SortOrder::Name: {
      int compared =
          platform::CompareStringOrdinal(a->exeName, -1, b->exeName, -1, true);
      if (compared != platform::CSTR_EQUAL)
        return compared == platform::CSTR_LESS_THAN;
      break;
    }
    case SortOrder::Total:
      if (a->entryCount != b->entryCount)
        return a->entryCount > b->entryCount;
      break;
    case SortOrder::All:
      if (a->guiObjectCount != b->guiObjectCount)
        return static_cast<uint32_t>(a->guiObjectCount) >
               static_cast<uint32_t>(b->guiObjectCount);
      break;
  }
  return a->pid < b->pid;
}

}  // namespace

std::vector<const ProcessRecord*> ListedProcesses(
    const ProcessTable& table, const ReportOptions& options) {
  std::vector<const ProcessRecord*> listed;
  listed.reserve(table.Count());
  for (const ProcessTable::Node* node = table.First(); node;
       node = table.Next(node)) {
    if (Matches(node->record, options))
      listed.push_back(&node->record);
  }
  if (options.order != SortOrder::Table) {
    std::sort(listed.begin(), listed.end(),
              [&options](const ProcessRecord* a, const ProcessRecord* b) {
                return Precedes(a, b, options.order);
              });
  }
  return listed;
}

std::vector<const ProcessRecord*> FollowedProcesses(
    const ProcessTable& table, const ReportOptions& options) {
  std::vector<const ProcessRecord*> followed;
  followed.reserve(table.Count());
  for (const ProcessTable::Node* node = table.First(); node;
       node = table.Next(node)) {
    if (MatchesTarget(node->record, options))
      followed.push_back(&node->record);
  }
  return followed;
}

int64_t UnlistedHandles(const std::vector<const ProcessRecord*>& processes,
                        const ReportOptions& options) {
  int64_t unlisted = 0;
  if (options.showHandles) {
    for (const ProcessRecord* record : processes)
      unlisted += record->unlistedHandles;
  }
  return unlisted;
}
