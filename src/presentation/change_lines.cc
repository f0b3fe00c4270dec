#include "presentation/change_lines.h"

#include <algorithm>
#include <cstdint>

#include "census/process_record.h"
#include "gditable/object_types.h"
#include "presentation/format.h"

namespace {

// Under the name, for a process's further lines.
constexpr char16_t kIndent[] = u"        ";

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
