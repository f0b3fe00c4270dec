#include "report/html/watch_report.h"

#include <algorithm>

#include "report/html/area_chart.h"
#include "report/html/chart_frame.h"
#include "report/html/document.h"
#include "report/html/html_text.h"
#include "report/html/line_chart.h"

namespace {

int64_t GdiAllGrowth(const ProcessSeries& series) {
  if (series.samples.empty())
    return 0;
  return static_cast<int64_t>(series.samples.back().gdiAll) -
         series.samples.front().gdiAll;
}

void AppendFact(std::string& out, const char* name, const std::string& value) {
  out += "<div><dt>";
  out += name;
  out += "</dt><dd>";
  AppendEscaped(out, value);
  out += "</dd></div>";
}

LineChart ChartOf(const WatchReport& report, const std::vector<size_t>& shown,
                  const char* id, const char* valueName,
                  int32_t ProcessSample::*value) {
  LineChart chart;
  chart.id = id;
  chart.valueName = valueName;
  chart.title = std::string(valueName) + " over time";
  for (size_t index : shown) {
    const ProcessSeries& process = report.processes[index];
    LineSeries series;
    series.pid = process.pid;
    series.name = process.name;
    series.points.reserve(process.samples.size());
    for (const ProcessSample& sample : process.samples)
      series.points.push_back(
          {sample.seconds, static_cast<double>(sample.*value)});
    chart.series.push_back(std::move(series));
  }
  return chart;
}

void AppendChanges(std::string& out,
                   const std::vector<SampleChanges>& changes) {
  std::vector<const SampleChanges*> withChanges;
  for (const SampleChanges& sample : changes) {
    if (!sample.lines.empty())
      withChanges.push_back(&sample);
  }
  out += "<h2>Changes per sample</h2>\n<details id=\"changes\">\n<summary>";
  out += std::to_string(withChanges.size());
  out += withChanges.size() == 1 ? " sample" : " samples";
  out += " with changes</summary>\n";
  size_t budgetEnd = out.size() + kMaxChangesBytes;
  for (size_t i = 0; i < withChanges.size(); ++i) {
    const SampleChanges& sample = *withChanges[i];
    std::string block = "<h3>Sample " + std::to_string(sample.sample) +
                        ", at " + FormatDuration(sample.seconds) +
                        "</h3>\n<pre>";
    for (const std::u16string& line : sample.lines) {
      AppendEscaped(block, line);
      block += '\n';
    }
    block += "</pre>\n";
    if (out.size() + block.size() > budgetEnd) {
      out += "<p class=\"note\">The changes of ";
      out += std::to_string(withChanges.size() - i);
      out += " more samples, from sample ";
      out += std::to_string(sample.sample);
      out += " on, are left out to keep this page small.</p>\n";
      break;
    }
    out += block;
  }
  out += "</details>\n";
}

}  // namespace

std::vector<size_t> MostGrown(const WatchReport& report) {
  std::vector<size_t> grown;
  for (size_t i = 0; i < report.processes.size(); ++i) {
    if (GdiAllGrowth(report.processes[i]) > 0)
      grown.push_back(i);
  }
  std::sort(grown.begin(), grown.end(), [&](size_t a, size_t b) {
    int64_t growthA = GdiAllGrowth(report.processes[a]);
    int64_t growthB = GdiAllGrowth(report.processes[b]);
    if (growthA != growthB)
      return growthA > growthB;
    return report.processes[a].pid < report.processes[b].pid;
  });
  if (grown.size() > kMaxChartedProcesses)
    grown.resize(kMaxChartedProcesses);
  return grown;
}

std::string RenderWatchHtml(const WatchReport& report) {
  std::string out;
  AppendDocumentStart(out, "kestrel: GDI objects over time");
  out += "<p class=\"lead\">";
  out += std::to_string(report.sampleCount);
  out += report.sampleCount == 1 ? " sample" : " samples";
  out += ", one every ";
  out += FormatDuration(report.intervalSeconds);
  out += ", over ";
  out += FormatDuration(report.coveredSeconds);
  out +=
      report.interrupted ? "; stopped early by an interrupt.</p>\n" : ".</p>\n";
  out += "<dl class=\"facts\">";
  AppendFact(out, "Samples", std::to_string(report.sampleCount));
  AppendFact(out, "Interval", FormatDuration(report.intervalSeconds));
  AppendFact(out, "Time covered", FormatDuration(report.coveredSeconds));
  AppendFact(out, "Processes seen", std::to_string(report.processes.size()));
  AppendFact(out, "Processes that grew",
             std::to_string(report.growth.rows.size()));
  out += "</dl>\n";

  std::vector<size_t> shown = MostGrown(report);
  if (shown.empty()) {
    out +=
        "<p class=\"note\">No process's GDI All grew during the watch.</p>\n";
  } else {
    std::string which = shown.size() == 1
                            ? "The process whose GDI All grew"
                            : "The " + std::to_string(shown.size()) +
                                  " processes whose GDI All grew most";
    out += "<h2>GDI All</h2>\n<p class=\"note\">";
    out += which;
    out += ", as GetGuiResources counts their objects.</p>\n";
    AppendLineChart(out, ChartOf(report, shown, "gdi-all", "GDI All",
                                 &ProcessSample::gdiAll));
    out +=
        "<h2>GDI Total</h2>\n<p class=\"note\">The same processes' entries "
        "in the GDI shared handle table.</p>\n";
    AppendLineChart(out, ChartOf(report, shown, "gdi-total", "GDI Total",
                                 &ProcessSample::gdiTotal));

    const ProcessSeries& leader = report.processes[shown.front()];
    AreaChart area;
    area.id = "categories";
    std::string label = ProcessLabel(leader.name, leader.pid);
    area.title = "Objects of each category";
    for (const ProcessSample& sample : leader.samples)
      area.samples.push_back({sample.seconds, sample.categories});
    out += "<h2>By category: ";
    out += label;
    out +=
        "</h2>\n<p class=\"note\">The process that grew most, its "
        "shared-table entries stacked by category.</p>\n";
    AppendAreaChart(out, area);
  }

  out += "<h2>Growth</h2>\n";
  if (report.growth.rows.empty())
    out += "<p class=\"note\">No process grew.</p>\n";
  else
    AppendTable(out, report.growth, "growth");
  AppendChanges(out, report.changes);
  AppendDocumentEnd(out);
  return out;
}
