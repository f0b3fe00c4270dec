#include "watch/growth.h"

#include <algorithm>
#include <cmath>

#include "census/process_table.h"
#include "gditable/object_types.h"
#include "text/format.h"

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

int64_t Change(uint32_t first, uint32_t last) {
  return int64_t{last} - int64_t{first};
}

int64_t AllGrowth(const ProcessGrowth& p) {
  return Change(p.first.counts.gdiAll, p.last.counts.gdiAll);
}

int64_t TotalGrowth(const ProcessGrowth& p) {
  return Change(p.first.counts.gdiTotal, p.last.counts.gdiTotal);
}

// The seconds until `last` reaches `limit`, growing by `change` every
// `milliseconds`; `change` and `milliseconds` are positive.
double SecondsUntil(uint32_t last, uint32_t limit, int64_t change,
                    uint64_t milliseconds) {
  return static_cast<double>(limit - last) * static_cast<double>(milliseconds) /
         static_cast<double>(change) / 1000;
}

}  // namespace

int64_t GdiAllGrowth(const ProcessGrowth& process) {
  return AllGrowth(process);
}

bool Grew(const ProcessGrowth& process) {
  return AllGrowth(process) > 0 || TotalGrowth(process) > 0;
}

void GrowthTracker::Note(const ProcessTable& table,
                         const std::vector<const ProcessRecord*>& listed,
                         uint64_t milliseconds) {
  exited_.clear();
  for (size_t i = 0; i < live_.size();) {
    ProcessGrowth& process = live_[i];
    const ProcessRecord* record = table.Lookup(process.pid);
    if (record && process.name == record->exeName) {
      ++i;
      continue;
    }
    exited_.push_back(process.id);
    liveByPid_.erase(process.pid);
    if (Grew(process))
      exitedGrown_.push_back(std::move(process));
    if (i + 1 != live_.size()) {
      live_[i] = std::move(live_.back());
      liveByPid_[live_[i].pid] = i;
    }
    live_.pop_back();
  }
  listedIds_.clear();
  for (const ProcessRecord* record : listed) {
    CountsAt now = {milliseconds, CountsOf(*record)};
    // A live process under this PID has this name: the loop above let the
    // others exit.
    auto found = liveByPid_.find(record->pid);
    if (found != liveByPid_.end()) {
      ProcessGrowth& process = live_[found->second];
      process.last = now;
      listedIds_.push_back(process.id);
      continue;
    }
    ProcessGrowth process;
    process.id = nextId_++;
    process.pid = record->pid;
    process.name = record->exeName;
    process.first = now;
    process.last = now;
    liveByPid_.emplace(record->pid, live_.size());
    listedIds_.push_back(process.id);
    live_.push_back(std::move(process));
  }
}

void GrowthTracker::NoteTable(uint32_t slots, uint32_t used,
                              uint64_t milliseconds) {
  if (!tableNoted_) {
    tableNoted_ = true;
    table_.firstUsed = used;
    table_.firstMilliseconds = milliseconds;
  }
  table_.slots = slots;
  table_.lastUsed = used;
  table_.lastMilliseconds = milliseconds;
}

std::vector<const ProcessGrowth*> GrowthTracker::Grown() const {
  std::vector<const ProcessGrowth*> grown;
  for (const std::vector<ProcessGrowth>* processes : {&exitedGrown_, &live_}) {
    for (const ProcessGrowth& process : *processes) {
      if (Grew(process))
        grown.push_back(&process);
    }
  }
  std::sort(grown.begin(), grown.end(),
            [](const ProcessGrowth* a, const ProcessGrowth* b) {
              if (AllGrowth(*a) != AllGrowth(*b))
                return AllGrowth(*a) > AllGrowth(*b);
              if (TotalGrowth(*a) != TotalGrowth(*b))
                return TotalGrowth(*a) > TotalGrowth(*b);
              if (a->pid != b->pid)
                return a->pid < b->pid;
              return a->id < b->id;
            });
  return grown;
}

std::u16string GrowthText(uint32_t first, uint32_t last,
                          uint64_t milliseconds) {
  std::u16string text;
  AppendNumber(text, first);
  AppendText(text, u" -> ");
  AppendNumber(text, last);
  AppendText(text, u" (");
  AppendSigned(text, Change(first, last));
  AppendText(text, u", ");
  AppendRate(text, Change(first, last), milliseconds);
  text.push_back(u')');
  return text;
}

std::u16string GrownCategoriesText(const ProcessGrowth& process) {
  std::u16string text;
  for (int category = 0; category < kCategoryCount; ++category) {
    int64_t change = Change(process.first.counts.categories[category],
                            process.last.counts.categories[category]);
    if (change <= 0)
      continue;
    if (!text.empty())
      AppendText(text, u"  ");
    AppendAscii(text, kObjectCategoryNames[category]);
    text.push_back(u' ');
    AppendSigned(text, change);
  }
  return text;
}

std::string AboutTime(double seconds) {
  double minutes = seconds / 60;
  // Two days and more, once rounded to the minute: in days.
  if (!(minutes < 2879.5)) {
    int64_t days = std::max<int64_t>(2, std::llround(seconds / 86400));
    return "about " + std::to_string(days) + " days";
  }
  int64_t whole = std::max<int64_t>(1, std::llround(minutes));
  if (whole < 120)
    return "about " + std::to_string(whole) + " min";
  std::string text = "about " + std::to_string(whole / 60) + " h";
  if (whole % 60 != 0)
    text += " " + std::to_string(whole % 60) + " min";
  return text;
}

std::string QuotaTimeLeft(const ProcessGrowth& process, uint32_t quota) {
  uint32_t last = process.last.counts.gdiAll;
  if (quota != 0 && last >= quota)
    return "already at the quota";
  int64_t change = AllGrowth(process);
  uint64_t span = process.last.milliseconds - process.first.milliseconds;
  if (quota == 0 || change <= 0 || span == 0)
    return "";
  return AboutTime(SecondsUntil(last, quota, change, span));
}

void AppendGrowthReport(const std::vector<const ProcessGrowth*>& grown,
                        uint64_t samples, uint64_t milliseconds, uint32_t quota,
                        const TableGrowth& table, std::u16string& text) {
  AppendText(text, u"Growth over ");
  AppendNumber(text, static_cast<int64_t>(samples));
  AppendText(text, samples == 1 ? u" sample, " : u" samples, ");
  AppendNumber(text, static_cast<int64_t>(milliseconds / 1000));
  AppendText(text, u" s:\n");
  int64_t tableChange = Change(table.firstUsed, table.lastUsed);
  if (tableChange > 0) {
    std::string line = "Table: " + FormatCount(table.firstUsed) + " -> " +
                       FormatCount(table.lastUsed) + " of " +
                       FormatCount(table.slots) + " entries (+" +
                       FormatCount(tableChange);
    uint64_t span = table.lastMilliseconds - table.firstMilliseconds;
    if (table.lastUsed >= table.slots)
      line += ", full";
    else if (span > 0)
      line += ", full in " + AboutTime(SecondsUntil(table.lastUsed, table.slots,
                                                    tableChange, span));
    AppendAscii(text, line + ")\n");
  }
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
    text += GrowthText(first.counts.gdiAll, last.counts.gdiAll, span);
    AppendText(text, u"  GDI Total ");
    text += GrowthText(first.counts.gdiTotal, last.counts.gdiTotal, span);
    std::u16string categories = GrownCategoriesText(*process);
    if (!categories.empty()) {
      AppendText(text, u"  ");
      text += categories;
    }
    std::string left = QuotaTimeLeft(*process, quota);
    if (left == "already at the quota")
      AppendAscii(text, "  " + left);
    else if (!left.empty())
      AppendAscii(text, "  quota " + FormatCount(quota) + " in " + left);
    text.push_back(u'\n');
  }
}
