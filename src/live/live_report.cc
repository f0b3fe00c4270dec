#include "live/live_report.h"

#include <algorithm>

#include "census/object_categories.h"
#include "census/process_record.h"
#include "output/output.h"
#include "sample/process_counts.h"
#include "presentation/format.h"
#include "presentation/growth_report.h"
#include "watch/growth.h"

std::string LiveViewRefusal(bool watch, bool toFile) {
  if (toFile)
    return "kestrel: -o live draws on the console: it writes no file (-O)";
  if (!watch)
    return "kestrel: -o live needs a watch (-w SECONDS or -n COUNT)";
  return "";
}

void LiveReport::Recent::Add(uint32_t count) {
  counts[next] = count;
  next = (next + 1) % kSamples;
  size = std::min(size + 1, kSamples);
}

std::vector<uint32_t> LiveReport::Recent::Oldest() const {
  std::vector<uint32_t> oldestFirst;
  for (size_t i = 0; i < size; ++i)
    oldestFirst.push_back(counts[(next + kSamples - size + i) % kSamples]);
  return oldestFirst;
}

LiveReport::LiveReport(const ReportOptions& options, const WatchPlan& plan,
                       platform::LiveTerminal& terminal, Output& out)
    : options_(options), plan_(plan), terminal_(terminal), out_(out) {}

void LiveReport::NoteRecent(const ListedSample& sample) {
  const GrowthTracker& growth = *sample.growth;
  for (uint64_t id : growth.Exited())
    recent_.erase(id);
  const std::vector<uint64_t>& ids = growth.ListedIds();
  for (size_t i = 0; i < ids.size(); ++i)
    recent_[ids[i]].Add(CountsOf(*(*sample.listed)[i]).gdiAll);
}

std::vector<LiveRow> LiveReport::Rows(const ListedSample& sample,
                                      size_t visible) {
  const GrowthTracker& growth = *sample.growth;
  const std::vector<const ProcessRecord*>& listed = *sample.listed;
  // The order first, from what every row has; the rest only for the rows
  // the window shows.
  struct Order {
    size_t index;
    int64_t change;
  };
  std::vector<Order> order;
  order.reserve(listed.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    const ProcessGrowth* process = growth.Live(listed[i]->pid);
    uint32_t gdiAll = CountsOf(*listed[i]).gdiAll;
    order.push_back(
        {i, process ? CountChange(process->firstGdiAll, gdiAll) : 0});
  }
  // Without -s, the processes that grew most first.
  if (options_.order == SortOrder::Table) {
    std::stable_sort(order.begin(), order.end(),
                     [&](const Order& a, const Order& b) {
                       if (a.change != b.change)
                         return a.change > b.change;
                       return listed[a.index]->pid < listed[b.index]->pid;
                     });
  }
  std::vector<LiveRow> rows(order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    const ProcessRecord& record = *listed[order[i].index];
    LiveRow& row = rows[i];
    row.pid = record.pid;
    row.gdiAll = CountsOf(record).gdiAll;
    row.change = order[i].change;
    if (i >= visible)
      continue;
    row.name = record.exeName;
    const ProcessGrowth* process = growth.Live(record.pid);
    if (!process)
      continue;
    uint64_t span = sample.milliseconds - process->firstMilliseconds;
    row.hasRate = span > 0;
    if (row.hasRate)
      row.perMinute = ChangePerMinute(row.change, span);
    if (Grew(*process)) {
      row.verdict = Utf16(TrendWordText(growth.JudgeNow(record.pid).word));
    }
    for (int category = 0; category < kCategoryCount; ++category) {
      int32_t grew = process->categoryGrowth[category];
      if (grew <= 0)
        continue;
      std::u16string item = Utf16(kObjectCategoryNames[category]);
      item += u" +";
      AppendAscii(item, FormatCount(grew));
      row.grownCategories.push_back(std::move(item));
    }
    auto recent = recent_.find(growth.ListedIds()[order[i].index]);
    if (recent != recent_.end())
      row.recent = recent->second.Oldest();
  }
  return rows;
}

LiveHeading LiveReport::Heading(const ListedSample& sample,
                                const std::vector<LiveRow>& rows) const {
  LiveHeading heading;
  std::u16string part = u"kestrel: sample ";
  AppendNumber(part, static_cast<int64_t>(sample.number));
  if (plan_.sampleCount != 0) {
    part += u" of ";
    AppendNumber(part, plan_.sampleCount);
  }
  heading.parts.push_back(part);
  part = u" at +";
  AppendNumber(part, static_cast<int64_t>(sample.milliseconds / 1000));
  part += u" s";
  heading.parts.push_back(part);
  part = u", every ";
  AppendNumber(part, plan_.intervalSeconds);
  part += u" s";
  heading.parts.push_back(part);
  part = u"; ";
  AppendNumber(part, static_cast<int64_t>(rows.size()));
  part += rows.size() == 1 ? u" process" : u" processes";
  heading.parts.push_back(part);
  size_t grew = 0;
  for (const LiveRow& row : rows)
    grew += row.change > 0 ? 1 : 0;
  part = u", ";
  AppendNumber(part, static_cast<int64_t>(grew));
  part += u" grew";
  heading.parts.push_back(part);
  // Without -s the first row grew most.
  if (options_.order == SortOrder::Table && !rows.empty() &&
      rows.front().change > 0) {
    part = u"; grew most: ";
    part += rows.front().name;
    part += u" (";
    AppendNumber(part, rows.front().pid);
    part += u") ";
    AppendSigned(part, rows.front().change);
    heading.parts.push_back(part);
  }
  return heading;
}

void LiveReport::Sample(const ListedSample& sample) {
  if (!sample.growth)
    return;
  processQuota_ = sample.system->processQuota;
  terminal_.ReadKeys();
  NoteRecent(sample);
  platform::LiveTerminal::WindowSize size = terminal_.Size();
  // The heading and the columns' titles take two lines, "... and N more"
  // one.
  size_t visible = size.rows > 3 ? size.rows - 3 : 0;
  rows_ = Rows(sample, visible);
  heading_ = Heading(sample, rows_);
  LiveHeading drawn = heading_;
  drawn.parts.push_back(u"; q or Ctrl+C ends");
  terminal_.Draw(RenderLiveTable(drawn, rows_, size.columns, size.rows));
  rowsShown_ = std::min(rows_.size(), visible + 1);
}

void LiveReport::End(const RunEnd& end) {
  platform::LiveTerminal::WindowSize size = terminal_.Size();
  // The last table stays on the console as it was drawn, its heading
  // without the keys that ended it.
  std::u16string last =
      end.samples == 0 ? std::u16string()
                       : RenderLiveTable(heading_, rows_, size.columns,
                                         std::min(size.rows, rowsShown_ + 2));
  terminal_.Close(last);
  if (!end.growth || end.samples == 0)
    return;
  std::u16string text = u"\n";
  const std::vector<const ProcessGrowth*>& grown = end.growth->Grown();
  AppendGrowthHeading(grown.empty(), end.samples, end.lastMilliseconds,
                      end.growth->Table(), text);
  out_.Write(text);
  for (const ProcessGrowth* process : grown) {
    text.clear();
    AppendGrowthLine(*process, processQuota_, text);
    out_.Write(text);
  }
}
