#include "watch/changes.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <unordered_set>

#include "census/process_table.h"
#include "gditable/object_types.h"
#include "text/format.h"
#include "sample/report_options.h"
#include "sample/type_filter.h"

namespace {

// Under the name, for a process's further lines.
constexpr char16_t kIndent[] = u"        ";

bool SameProcess(const ProcessRecord& a, const ProcessRecord& b) {
  if (a.pid != b.pid)
    return false;
  for (size_t i = 0; i < 260; ++i) {
    if (a.exeName[i] != b.exeName[i])
      return false;
    if (a.exeName[i] == 0)
      break;
  }
  return true;
}

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

// "% 6d  %-28s  ": the start of a process's first line.
void AppendProcessStart(std::u16string& text, const ProcessRecord& record) {
  AppendSpaceSigned(text, static_cast<int32_t>(record.pid), 6);
  AppendText(text, u"  ");
  AppendPadded(text, record.exeName, 28, true);
  AppendText(text, u"  ");
}

// "GDI Total 119 -> 131 (+12)"
void AppendCountChange(std::u16string& text, const char16_t* label,
                       int64_t before, int64_t after) {
  AppendText(text, label);
  AppendNumber(text, before);
  AppendText(text, u" -> ");
  AppendNumber(text, after);
  AppendText(text, u" (");
  AppendSigned(text, after - before);
  text.push_back(u')');
}

// "        Bitmap +6  DC +6\n": the categories whose count differs from
// `before` (all zero for a process that started), signed unless `before`
// is null; nothing when none does.
void AppendCategories(std::u16string& text, const ProcessRecord* before,
                      const ProcessRecord& after) {
  bool any = false;
  for (int category = 0; category < kCategoryCount; ++category) {
    int64_t old = before ? before->categoryCounts[category] : 0;
    int64_t now = after.categoryCounts[category];
    if (old == now)
      continue;
    AppendText(text, any ? u"  " : kIndent);
    any = true;
    AppendAscii(text, kObjectCategoryNames[category]);
    text.push_back(u' ');
    if (before)
      AppendSigned(text, now - old);
    else
      AppendNumber(text, now);
  }
  if (any)
    text.push_back(u'\n');
}

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
    if (before && SameProcess(*before, *record))
      finder.Changed(*before, *record);
    else
      finder.Started(*record);
  }
  for (const ProcessRecord* record : *previous.listed) {
    const ProcessRecord* now = current.table->Lookup(record->pid);
    if (!now || !SameProcess(*record, *now)) {
      changes->processes.push_back({ProcessChange::Kind::Exited, record,
                                    nullptr, changes->handles.size(), 0});
    } else if (listedNow.count(now) == 0) {
      finder.Changed(*record, *now);
    }
  }
}

void AppendProcessChange(std::u16string& text, const ProcessChange& change,
                         bool showCounts) {
  switch (change.kind) {
    case ProcessChange::Kind::Changed:
      AppendProcessStart(text, *change.after);
      AppendCountChange(text, u"GDI Total ", change.before->entryCount,
                        change.after->entryCount);
      AppendCountChange(text, u"  GDI All ", change.before->guiObjectCount,
                        change.after->guiObjectCount);
      text.push_back(u'\n');
      if (showCounts)
        AppendCategories(text, change.before, *change.after);
      break;
    case ProcessChange::Kind::Started:
      AppendProcessStart(text, *change.after);
      AppendText(text, u"started  GDI Total ");
      AppendNumber(text, change.after->entryCount);
      AppendText(text, u"  GDI All ");
      AppendNumber(text, change.after->guiObjectCount);
      text.push_back(u'\n');
      if (showCounts)
        AppendCategories(text, nullptr, *change.after);
      break;
    case ProcessChange::Kind::Exited:
      AppendProcessStart(text, *change.before);
      AppendText(text, u"exited\n");
      break;
  }
}

char* FormatHandleChange(char* at, const HandleChange& change) {
  at = std::fill_n(at, 8, ' ');
  *at++ = change.appeared ? '+' : '-';
  *at++ = ' ';
  at = FormatHandleLine(at, *change.handle);
  *at++ = '\n';
  return at;
}
