#include "report/html/synthetic_watch.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char16_t* const kNames[] = {
    u"mspaint.exe",      u"explorer.exe", u"chrome.exe", u"dwm.exe",
    u"\u5FAE\u4FE1.exe", u"OUTLOOK.EXE",  u"Code.exe",   u"a<b>&\"c\".exe",
    u"Teams.exe",        u"notepad.exe",  u"devenv.exe", u"slack.exe"};

std::u16string Ascii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

int32_t GdiAll(int process, int sample) {
  if (process == 0)
    return 121 + 50 * sample;
  int32_t base = 40 + process * 37 % 400;
  if (process % 3 == 1)
    return base + sample * (process % 5 + 1) / 4;
  return base + ((sample + process) % 10 == 0 ? 2 : 0);
}

}  // namespace

WatchReport SyntheticWatch(int sampleCount, int processCount) {
  WatchReport report;
  report.sampleCount = sampleCount;
  report.intervalSeconds = 2;
  report.coveredSeconds = 2.0 * (sampleCount > 0 ? sampleCount - 1 : 0);
  for (int process = 0; process < processCount; ++process) {
    ProcessSeries series;
    series.pid = 4780 + 4 * static_cast<uint32_t>(process);
    series.name = kNames[process % (sizeof kNames / sizeof kNames[0])];
    if (process >= 12)
      series.name += Ascii(" #" + std::to_string(process));
    for (int sample = 0; sample < sampleCount; ++sample) {
      ProcessSample point;
      point.seconds = 2.0 * sample;
      point.gdiAll = GdiAll(process, sample);
      point.gdiTotal = point.gdiAll - 1;
      // A fixed spread over the categories; the leak adds Bitmaps and
      // Brushes.
      static const int kShares[kObjectCategoryCount] = {6, 2, 13, 7, 6, 0,
                                                        6, 4, 0,  1, 5};
      int32_t base = process == 0 ? 120 : point.gdiTotal;
      int32_t given = 0;
      for (int category = 0; category < kObjectCategoryCount; ++category) {
        point.categories[category] = base * kShares[category] / 50;
        given += point.categories[category];
      }
      point.categories[10] += std::max(0, base - given);
      if (process == 0) {
        int32_t leak = point.gdiTotal - 120;
        point.categories[3] += leak * 3 / 5;
        point.categories[2] += leak - leak * 3 / 5;
      }
      series.samples.push_back(point);
    }
    report.processes.push_back(std::move(series));
  }

  report.growth.headers = {u"Process ID", u"Process Name", u"GDI All first",
                           u"GDI All last", u"Change"};
  report.growth.numeric = {true, false, true, true, true};
  // Every process that grew, the most first.
  std::vector<const ProcessSeries*> grown;
  for (const ProcessSeries& series : report.processes) {
    if (!series.samples.empty() &&
        series.samples.back().gdiAll > series.samples.front().gdiAll)
      grown.push_back(&series);
  }
  auto growth = [](const ProcessSeries* series) {
    return series->samples.back().gdiAll - series->samples.front().gdiAll;
  };
  std::stable_sort(grown.begin(), grown.end(),
                   [&](const ProcessSeries* a, const ProcessSeries* b) {
                     return growth(a) > growth(b);
                   });
  for (const ProcessSeries* process : grown) {
    const ProcessSeries& series = *process;
    int32_t first = series.samples.front().gdiAll;
    int32_t last = series.samples.back().gdiAll;
    report.growth.rows.push_back({Ascii(std::to_string(series.pid)),
                                  series.name, Ascii(std::to_string(first)),
                                  Ascii(std::to_string(last)),
                                  Ascii("+" + std::to_string(last - first))});
  }

  for (int sample = 1; sample < sampleCount; ++sample) {
    SampleChanges changes;
    changes.sample = sample + 1;
    changes.seconds = 2.0 * sample;
    for (const ProcessSeries& series : report.processes) {
      int32_t before = series.samples[sample - 1].gdiAll;
      int32_t after = series.samples[sample].gdiAll;
      if (before == after)
        continue;
      changes.lines.push_back(series.name +
                              Ascii(" (" + std::to_string(series.pid) +
                                    "): GDI All " + std::to_string(before) +
                                    " -> " + std::to_string(after)));
    }
    report.changes.push_back(std::move(changes));
  }
  return report;
}
