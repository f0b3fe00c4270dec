#include "html/html_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "census/process_table.h"
#include "html/watch_page.h"
#include "output/output.h"
#include "watch/changes.h"
#include "watch/growth.h"

namespace {

struct Process {
  uint32_t pid;
  const char16_t* name;
  int32_t all;
  int32_t total;
  int32_t handles = 0;  // the same ones from sample to sample, under -v
};

// An HTML watch fed as the sampling loop feeds it, every second.
class HtmlWatch {
 public:
  explicit HtmlWatch(bool showHandles = false) {
    options_.format = OutputFormat::Html;
    options_.showHandles = showHandles;
    growth_.KeepCharts();
  }

  void Sample(const std::vector<Process>& processes) {
    std::swap(previous_, current_);
    previousListed_.swap(listed_);
    current_->Clear();
    listed_.clear();
    for (const Process& process : processes) {
      ProcessRecord record;
      record.pid = process.pid;
      std::u16string(process.name).copy(record.exeName, 259);
      record.guiObjectCount = process.all;
      record.entryCount = process.total;
      for (int32_t i = 0; i < process.handles; ++i) {
        HandleRecord handle = {};
        handle.entry.typeCode = 5;
        handle.handle = 0x10000 + static_cast<uint64_t>(i);
        EXPECT_TRUE(record.handles.Append(handle));
      }
      current_->Set(record.pid, record);
    }
    for (const Process& process : processes)
      listed_.push_back(current_->Lookup(process.pid));
    uint64_t milliseconds = samples_ * 1000;
    growth_.Note(*current_, listed_, milliseconds);
    ListedSample sample;
    sample.number = samples_ + 1;
    sample.milliseconds = milliseconds;
    sample.system = &system_;
    sample.listed = &listed_;
    sample.growth = &growth_;
    if (samples_ > 0) {
      FindChanges({previous_, &previousListed_}, {current_, &listed_}, options_,
                  &changes_);
      sample.changes = &changes_;
    }
    report_.Sample(sample);
    ++samples_;
  }

  // The page, as one byte a unit; `failure` stopped the sample after the
  // last.
  std::string End(Failure failure = Failure::None) {
    RunEnd end;
    end.samples = samples_;
    end.lastMilliseconds = (samples_ - 1) * 1000;
    end.failure = failure;
    growth_.Judge();
    end.growth = &growth_;
    report_.End(end);
    return std::string(page_.begin(), page_.end());
  }

 private:
  ReportOptions options_;
  WatchPlan plan_;
  std::u16string page_;
  Output out_{&page_};
  HtmlReport report_{options_, &plan_, out_};
  SystemTotals system_;
  ProcessTable tables_[2];
  ProcessTable* previous_ = &tables_[0];
  ProcessTable* current_ = &tables_[1];
  std::vector<const ProcessRecord*> previousListed_;
  std::vector<const ProcessRecord*> listed_;
  SampleChanges changes_;
  GrowthTracker growth_;
  uint64_t samples_ = 0;
};

// The page's part from the heading `from` to the heading `to`.
std::string Section(const std::string& page, const std::string& from,
                    const std::string& to) {
  size_t start = page.find(from);
  size_t end = page.find(to, start);
  EXPECT_NE(std::string::npos, start);
  EXPECT_NE(std::string::npos, end);
  return page.substr(start, end - start);
}

// The names in `part`, in the order they first come.
std::vector<std::string> NamesIn(const std::string& part,
                                 const std::vector<std::string>& names) {
  std::vector<std::pair<size_t, std::string>> found;
  for (const std::string& name : names) {
    size_t at = part.find(name);
    if (at != std::string::npos)
      found.push_back({at, name});
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> order;
  for (const auto& [at, name] : found)
    order.push_back(name);
  return order;
}

// The page says what ended the watch: handles lost is not any allocation
// that failed.
TEST(HtmlReportTest, SaysWhatEndedTheWatch) {
  const struct {
    Failure failure;
    const char* lead;
  } cases[] = {
      {Failure::None, "2 samples, one every 1 s, over 1 s.</p>"},
      {Failure::SystemState,
       "the watch ended at sample 3: the system state could not be read.</p>"},
      {Failure::HandlesLost,
       "the watch ended at sample 3: its handles could not all be kept in "
       "memory.</p>"},
      {Failure::OutOfMemory,
       "the watch ended at sample 3: memory ran out.</p>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lead);
    HtmlWatch watch;
    watch.Sample({{4, u"app.exe", 10, 10}});
    watch.Sample({{4, u"app.exe", 12, 12}});
    std::string page = watch.End(c.failure);
    EXPECT_NE(std::string::npos, page.find(c.lead));
  }
}

// A leaker that crashed is the process a user most wants to see: charted
// although it exited before the watch ended.
TEST(HtmlReportTest, ChartsAProcessThatGrewAndExited) {
  HtmlWatch watch;
  watch.Sample({{4, u"steady.exe", 10, 10}, {8, u"leaker.exe", 10, 10}});
  watch.Sample({{4, u"steady.exe", 10, 10}, {8, u"leaker.exe", 90, 90}});
  watch.Sample({{4, u"steady.exe", 10, 10}});
  std::string charts =
      Section(watch.End(), "<h2>GDI All</h2>", "<h2>Growth</h2>");
  EXPECT_EQ(std::vector<std::string>{"leaker.exe"},
            NamesIn(charts, {"steady.exe", "leaker.exe"}));
}

// The charts take their processes and their order from the front of the
// growth table's: a leak still growing before larger growth that held,
// whether or not the processes exited before the end, and on a tie of GDI
// All's growth the larger growth of GDI Total first.
TEST(HtmlReportTest, TieOrderOfTheChartAndTheTable) {
  const char16_t* const kHeld[] = {u"held_0.exe", u"held_1.exe", u"held_2.exe",
                                   u"held_3.exe", u"held_4.exe", u"held_5.exe",
                                   u"held_6.exe", u"held_7.exe", u"held_8.exe",
                                   u"held_9.exe"};
  // Ten that stepped up once and held, the last growing most, and a leak
  // that grew least: twelve samples, and a thirteenth without them.
  auto heldAndLeak = [&](int sample) {
    std::vector<Process> processes;
    int32_t leak = 10 + 2 * sample;
    processes.push_back({1000, u"leak.exe", leak, leak});
    for (int i = 0; i < 10; ++i) {
      int32_t count = sample == 0 ? 10 : 100 + 10 * i;
      processes.push_back(
          {static_cast<uint32_t>(4 * (i + 1)), kHeld[i], count, count});
    }
    return processes;
  };
  std::vector<std::string> heldOrder = {"leak.exe"};
  for (int i = 9; i >= 0; --i)
    heldOrder.push_back("held_" + std::to_string(i) + ".exe");
  std::vector<std::string> heldCharted(heldOrder.begin(), heldOrder.end() - 1);

  const struct {
    const char* what;
    std::vector<std::vector<Process>> samples;
    std::vector<std::string> names;  // in the growth table's order
    std::vector<std::string> charted;
  } kCases[] = {
      {"a tie of GDI All",
       {{{8, u"more_total.exe", 10, 10}, {4, u"less_total.exe", 10, 10}},
        {{8, u"more_total.exe", 20, 30}, {4, u"less_total.exe", 20, 10}}},
       {"more_total.exe", "less_total.exe"},
       {"more_total.exe", "less_total.exe"}},
      {"live", {}, heldOrder, heldCharted},
      {"exited", {}, heldOrder, heldCharted},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    HtmlWatch watch;
    if (c.samples.empty()) {
      for (int sample = 0; sample < 12; ++sample)
        watch.Sample(heldAndLeak(sample));
      if (std::string(c.what) == "exited")
        watch.Sample({{2, u"steady.exe", 10, 10}});
    }
    for (const std::vector<Process>& sample : c.samples)
      watch.Sample(sample);
    std::string page = watch.End();
    EXPECT_EQ(
        c.charted,
        NamesIn(Section(page, "<ul class=\"legend\">", "</ul>"), c.names));
    EXPECT_EQ(c.names, NamesIn(Section(page, "<h2>Growth</h2>", "<h2>Changes"),
                               c.names));
  }
}

// A sample's changes are shown whole or not at all, the latest first kept:
// a block past the whole budget is left out with every one before it, and
// the page says how many, up to which sample.
TEST(HtmlReportTest, ChangesBudgetKeepsTheLatest) {
  // Each handle's line is over fifty bytes: enough of them pass the budget
  // in one block.
  const int32_t kMany = static_cast<int32_t>(kMaxChangesBytes / 50);
  HtmlWatch watch(true);
  watch.Sample({{4, u"app.exe", 10, 10}});
  watch.Sample({{4, u"app.exe", 11, 11, 1}});
  watch.Sample({{4, u"app.exe", 12, 12, kMany}});
  watch.Sample({{4, u"app.exe", 13, 13, kMany}});
  watch.Sample({{4, u"app.exe", 14, 14, kMany}});
  std::string changes = Section(watch.End(), "<h2>Changes", "</details>");
  EXPECT_NE(std::string::npos, changes.find("4 samples with changes"));
  EXPECT_EQ(std::string::npos, changes.find("<h3>Sample 2,"));
  EXPECT_EQ(std::string::npos, changes.find("<h3>Sample 3,"));
  EXPECT_NE(std::string::npos, changes.find("<h3>Sample 4,"));
  EXPECT_NE(std::string::npos, changes.find("<h3>Sample 5,"));
  EXPECT_NE(std::string::npos,
            changes.find("the changes of the first 2 samples that had some, "
                         "up to sample 3, are left out"));
  EXPECT_LT(changes.size(), kMaxChangesBytes);
}

// The budget counts the page's bytes, after escaping: names of ampersands
// take five times the room of their lines.
TEST(HtmlReportTest, ChangesBudgetAfterEscaping) {
  const std::u16string name(259, u'&');
  std::vector<Process> started;
  // Each started line holds the name whole: 259 units, 1,295 bytes on the
  // page; together well under the budget, and well over once escaped.
  const uint32_t kCount = kMaxChangesBytes / 259 / 2;
  for (uint32_t i = 0; i < kCount; ++i)
    started.push_back({4 * (i + 1), name.c_str(), 10, 10});
  HtmlWatch watch;
  watch.Sample({});
  watch.Sample(started);
  std::string changes = Section(watch.End(), "<h2>Changes", "</details>");
  EXPECT_EQ(std::string::npos, changes.find("<h3>Sample 2,"));
  EXPECT_NE(std::string::npos,
            changes.find("the changes of the first sample that had some, "
                         "sample 2, are left out"));
  EXPECT_LT(changes.size(), kMaxChangesBytes);
}

}  // namespace
