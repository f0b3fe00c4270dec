#include "report/changes.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "census/process_table.h"
#include "cli/run_options.h"
#include "gditable/object_types.h"
#include "report/details.h"
#include "report/format.h"
#include "report/output.h"
#include "report/type_filter.h"

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

void AppendAscii(std::u16string& text, const char* ascii) {
  for (; *ascii; ++ascii)
    text.push_back(static_cast<char16_t>(*ascii));
}

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

struct HandleChange {
  const HandleRecord* handle;
  bool appeared;
};

// Sets `changes` to the handles that -f keeps and that vanished from
// `before` (null for none) or appeared in `after`, by handle value. Both lists are in table order,
// ascending by entry index (a handle's low 16 bits), as the scan appends
// them, so one pass pairs them: an entry whose handle value changed holds
// another object.
void FindChangedHandles(const HandleList* before, const HandleList& after,
                        TypeFilter& filter,
                        std::vector<HandleChange>& changes) {
  changes.clear();
  auto note = [&](const HandleRecord& handle, bool appeared) {
    if (filter.Lists(TypeCodeOf(handle.entry)))
      changes.push_back({&handle, appeared});
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
  std::sort(changes.begin(), changes.end(),
            [](const HandleChange& a, const HandleChange& b) {
              if (a.handle->handle != b.handle->handle)
                return a.handle->handle < b.handle->handle;
              return !a.appeared && b.appeared;
            });
}

// "        + HANDLE LINE\n", all ASCII.
void PrintHandleChanges(const std::vector<HandleChange>& changes, Output& out) {
  char line[8 + 2 + kHandleLineBytes + 1] = "        ";
  for (const HandleChange& change : changes) {
    line[8] = change.appeared ? '+' : '-';
    line[9] = ' ';
    char* end = FormatHandleLine(line + 10, *change.handle);
    *end++ = '\n';
    out.WriteAscii(line, static_cast<size_t>(end - line));
  }
}

// What the changes of one sample share: the options, the -f decisions and
// room for one process's handle changes.
struct Printer {
  const RunOptions& options;
  TypeFilter filter;
  std::vector<HandleChange> handles;
  std::u16string text;  // one process's lines before its handles
  Output& out;
};

// A process seen in both samples: its lines, when anything the view shows
// changed.
void PrintChanged(Printer& printer, const ProcessRecord& before,
                  const ProcessRecord& after) {
  const RunOptions& options = printer.options;
  bool countsChanged = before.entryCount != after.entryCount ||
                       before.guiObjectCount != after.guiObjectCount;
  bool categoriesChanged =
      options.showCounts && !std::equal(std::begin(before.categoryCounts),
                                        std::end(before.categoryCounts),
                                        std::begin(after.categoryCounts));
  printer.handles.clear();
  if (options.showHandles)
    FindChangedHandles(&before.handles, after.handles, printer.filter,
                       printer.handles);
  if (!countsChanged && !categoriesChanged && printer.handles.empty())
    return;
  std::u16string& text = printer.text;
  text.clear();
  AppendProcessStart(text, after);
  AppendCountChange(text, u"GDI Total ", before.entryCount, after.entryCount);
  AppendCountChange(text, u"  GDI All ", before.guiObjectCount,
                    after.guiObjectCount);
  text.push_back(u'\n');
  if (options.showCounts)
    AppendCategories(text, &before, after);
  printer.out.Write(text);
  PrintHandleChanges(printer.handles, printer.out);
}

void PrintStarted(Printer& printer, const ProcessRecord& record) {
  std::u16string& text = printer.text;
  text.clear();
  AppendProcessStart(text, record);
  AppendText(text, u"started  GDI Total ");
  AppendNumber(text, record.entryCount);
  AppendText(text, u"  GDI All ");
  AppendNumber(text, record.guiObjectCount);
  text.push_back(u'\n');
  if (printer.options.showCounts)
    AppendCategories(text, nullptr, record);
  printer.out.Write(text);
  if (printer.options.showHandles) {
    FindChangedHandles(nullptr, record.handles, printer.filter,
                       printer.handles);
    PrintHandleChanges(printer.handles, printer.out);
  }
}

}  // namespace

void PrintChanges(const SampleListing& previous, const SampleListing& current,
                  const RunOptions& options, Output& out) {
  Printer printer{options, TypeFilter(options.typeFilter), {}, {}, out};
  std::unordered_set<const ProcessRecord*> listedNow(current.listed->begin(),
                                                     current.listed->end());
  for (const ProcessRecord* record : *current.listed) {
    const ProcessRecord* before = previous.table->Lookup(record->pid);
    if (before && SameProcess(*before, *record))
      PrintChanged(printer, *before, *record);
    else
      PrintStarted(printer, *record);
  }
  for (const ProcessRecord* record : *previous.listed) {
    const ProcessRecord* now = current.table->Lookup(record->pid);
    if (!now || !SameProcess(*record, *now)) {
      std::u16string& text = printer.text;
      text.clear();
      AppendProcessStart(text, *record);
      AppendText(text, u"exited\n");
      out.Write(text);
    } else if (listedNow.count(now) == 0) {
      PrintChanged(printer, *record, *now);
    }
  }
}
