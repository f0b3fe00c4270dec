#include "watch/changes.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <unordered_set>

#include "census/process_table.h"
#include "gditable/object_types.h"
#include "sample/report_options.h"
#include "sample/type_filter.h"
#include "watch/process_identity.h"

namespace {

// Appends to `handles` those that -f keeps and that vanished from `before`
// (null for none) or appeared in `after`, by handle value. Both lists are
// in table order, ascending by entry index (a handle's low 16 bits), as the
// scan appends them, so one pass pairs them: an entry whose handle value
// changed holds another object.
void FindChangedHandles(const HandleList* before, const HandleList& after,
                        TypeFilter& filter,
                        std::vector<HandleChange>& handles) {
  size_t first = handles.size();
  auto note = [&](const HandleRecord& handle, bool appeared) {
    if (filter.Lists(TypeCodeOf(handle.entry)))
      handles.push_back({&handle, appeared});
  };
  const HandleRecord* old = before ? before->begin() : nullptr;
  const HandleRecord* oldEnd = before ? before->end() : nullptr;
  const HandleRecord* now = after.begin();
  constexpr uint64_t kPast = 0x10000;
  while (old != oldEnd || now != after.end()) {
    uint64_t oldIndex = old != oldEnd ? old->handle & 0xFFFF : kPast;
    uint64_t nowIndex = now != after.end() ? now->handle & 0xFFFF : kPast;
    if (oldIndex == nowIndex) {
      if (old->handle != now->handle) {
        note(*old, false);
        note(*now, true);
      }
      ++old;
      ++now;
    } else if (oldIndex < nowIndex) {
      note(*old++, false);
    } else {
      note(*now++, true);
    }
  }
  std::sort(handles.begin() + static_cast<std::ptrdiff_t>(first), handles.end(),
            [](const HandleChange& a, const HandleChange& b) {
              if (a.handle->handle != b.handle->handle)
                return a.handle->handle < b.handle->handle;
              return !a.appeared && b.appeared;
            });
}

struct Finder {
  const ReportOptions& options;
  TypeFilter filter;
  SampleChanges& changes;

  // A process seen in both samples: noted when anything the view shows
  // changed.
  void Changed(const ProcessRecord& before, const ProcessRecord& after) {
    size_t first = changes.handles.size();
    if (options.showHandles)
      FindChangedHandles(&before.handles, after.handles, filter,
                         changes.handles);
    bool countsChanged = before.entryCount != after.entryCount ||
                         before.guiObjectCount != after.guiObjectCount;
    bool categoriesChanged =
        options.showCounts && !std::equal(std::begin(before.categoryCounts),
                                          std::end(before.categoryCounts),
                                          std::begin(after.categoryCounts));
    size_t handleCount = changes.handles.size() - first;
    if (countsChanged || categoriesChanged || handleCount > 0)
      changes.processes.push_back(
          {ProcessChange::Kind::Changed, &before, &after, first, handleCount});
  }

  void Started(const ProcessRecord& record) {
    size_t first = changes.handles.size();
    if (options.showHandles)
      FindChangedHandles(nullptr, record.handles, filter, changes.handles);
    changes.processes.push_back({ProcessChange::Kind::Started, nullptr, &record,
                                 first, changes.handles.size() - first});
  }
};

}  // namespace

void FindChanges(const SampleListing& previous, const SampleListing& current,
                 const ReportOptions& options, SampleChanges* changes) {
  changes->processes.clear();
  changes->handles.clear();
  Finder finder{options, TypeFilter(options.typeFilter), *changes};
  std::unordered_set<const ProcessRecord*> listedNow(current.listed->begin(),
                                                     current.listed->end());
  for (const ProcessRecord* record : *current.listed) {
    const ProcessRecord* before = previous.table->Lookup(record->pid);
    if (before && SameProcess(*before, record->pid, record->exeName))
      finder.Changed(*before, *record);
    else
      finder.Started(*record);
  }
  for (const ProcessRecord* record : *previous.listed) {
    const ProcessRecord* now = current.table->Lookup(record->pid);
    if (!now || !SameProcess(*now, record->pid, record->exeName)) {
      changes->processes.push_back({ProcessChange::Kind::Exited, record,
                                    nullptr, changes->handles.size(), 0});
    } else if (listedNow.count(now) == 0) {
      finder.Changed(*record, *now);
    }
  }
}
