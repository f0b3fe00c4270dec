#include "report/growth.h"

#include <algorithm>

#include "gditable/object_types.h"
#include "report/format.h"

namespace {

// `change` over `milliseconds` per minute, signed, with one decimal,
// rounded half away from zero.
void AppendRate(std::u16string& text, int64_t change, uint64_t milliseconds) {
  int64_t magnitude = change < 0 ? -change : change;
  // Tenths: change * 60000 / ms * 10, rounded.
  int64_t tenths =
      milliseconds == 0
          ? 0
          : (magnitude * 1200000 / static_cast<int64_t>(milliseconds) + 1) / 2;
  text.push_back(change < 0 ? u'-' : u'+');
  AppendNumber(text, tenths / 10);
  text.push_back(u'.');
  AppendNumber(text, tenths % 10);
  AppendText(text, u"/min");
}

bool SameName(const std::u16string& name, const char16_t* exeName) {
  return name == exeName;
}

void Fill(CountsAt& counts, const ProcessRecord& record,
          uint64_t milliseconds) {
  counts.milliseconds = milliseconds;
  counts.gdiTotal = record.entryCount;
  counts.gdiAll = record.guiObjectCount;
  std::copy(std::begin(record.categoryCounts), std::end(record.categoryCounts),
            counts.categories);
}

}  // namespace

void GrowthTracker::Note(const std::vector<const ProcessRecord*>& listed,
                         uint64_t milliseconds) {
  for (const ProcessRecord* record : listed) {
    auto found = latest_.find(record->pid);
    if (found != latest_.end() &&
        SameName(processes_[found->second].name, record->exeName)) {
      Fill(processes_[found->second].last, *record, milliseconds);
      continue;
    }
    ProcessGrowth process;
    process.pid = record->pid;
    process.name = record->exeName;
    Fill(process.first, *record, milliseconds);
    process.last = process.first;
    latest_[record->pid] = processes_.size();
    processes_.push_back(std::move(process));
  }
}

std::vector<const ProcessGrowth*> GrowthTracker::Grown() const {
  std::vector<const ProcessGrowth*> grown;
  for (const ProcessGrowth& process : processes_) {
    if (process.last.gdiAll > process.first.gdiAll ||
        process.last.gdiTotal > process.first.gdiTotal)
      grown.push_back(&process);
  }
  auto all = [](const ProcessGrowth* p) {
    return int64_t{p->last.gdiAll} - p->first.gdiAll;
  };
  auto total = [](const ProcessGrowth* p) {
    return int64_t{p->last.gdiTotal} - p->first.gdiTotal;
  };
  std::sort(grown.begin(), grown.end(),
            [&](const ProcessGrowth* a, const ProcessGrowth* b) {
              if (all(a) != all(b))
                return all(a) > all(b);
              if (total(a) != total(b))
                return total(a) > total(b);
              if (a->pid != b->pid)
                return a->pid < b->pid;
              return a->first.milliseconds < b->first.milliseconds;
            });
  return grown;
}

std::u16string GrowthText(int32_t first, int32_t last, uint64_t milliseconds) {
  std::u16string text;
  AppendNumber(text, first);
  AppendText(text, u" -> ");
  AppendNumber(text, last);
  AppendText(text, u" (");
  AppendSigned(text, int64_t{last} - first);
  AppendText(text, u", ");
  AppendRate(text, int64_t{last} - first, milliseconds);
  text.push_back(u')');
  return text;
}

std::u16string GrownCategoriesText(const ProcessGrowth& process) {
  std::u16string text;
  for (int category = 0; category < kCategoryCount; ++category) {
    int64_t change = int64_t{process.last.categories[category]} -
                     process.first.categories[category];
    if (change <= 0)
      continue;
    if (!text.empty())
      AppendText(text, u"  ");
    for (const char* c = kObjectCategoryNames[category]; *c; ++c)
      text.push_back(static_cast<char16_t>(*c));
    text.push_back(u' ');
    AppendSigned(text, change);
  }
  return text;
}

void AppendGrowthReport(const std::vector<const ProcessGrowth*>& grown,
                        uint64_t samples, uint64_t milliseconds,
                        std::u16string& text) {
  AppendText(text, u"Growth over ");
  AppendNumber(text, static_cast<int64_t>(samples));
  AppendText(text, samples == 1 ? u" sample, " : u" samples, ");
  AppendNumber(text, static_cast<int64_t>(milliseconds / 1000));
  AppendText(text, u" s:\n");
  if (grown.empty())
    AppendText(text, u"No process grew.\n");
  for (const ProcessGrowth* process : grown) {
    const CountsAt& first = process->first;
    const CountsAt& last = process->last;
    uint64_t span = last.milliseconds - first.milliseconds;
    AppendSpaceSigned(text, static_cast<int32_t>(process->pid), 6);
    AppendText(text, u"  ");
    AppendPadded(text, process->name.c_str(), 28, true);
    AppendText(text, u"  GDI All ");
    text += GrowthText(first.gdiAll, last.gdiAll, span);
    AppendText(text, u"  GDI Total ");
    text += GrowthText(first.gdiTotal, last.gdiTotal, span);
    std::u16string categories = GrownCategoriesText(*process);
    if (!categories.empty()) {
      AppendText(text, u"  ");
      text += categories;
    }
    text.push_back(u'\n');
  }
}
