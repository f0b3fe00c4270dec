#include "html/watch_page.h"

#include <algorithm>

#include "html/chart_frame.h"
#include "html/escape.h"
#include "html/figures.h"
#include "html/line_chart.h"
#include "html/page_frame.h"
#include "presentation/format.h"

namespace {

void AppendFact(std::string& out, const char* name, const std::string& value) {
  out += "<div><dt>";
  out += name;
  out += "</dt><dd>";
  AppendEscaped(out, value);
  out += "</dd></div>";
}

LineChart ChartOf(const WatchReport& report, const char* id,
                  const char* valueName,
                  std::vector<SeriesPoint> ChartedProcess::*points) {
  LineChart chart;
  chart.id = id;
  chart.valueName = valueName;
  chart.title = std::string(valueName) + " over time";
  for (const ChartedProcess& process : report.charted) {
    LineSeries series;
    series.pid = process.pid;
    series.name = process.name;
    series.points = process.*points;
    series.everySample = series.points.size() == process.samples;
    chart.series.push_back(std::move(series));
  }
  return chart;
}

void AppendChanges(std::string& out, const WatchReport& report) {
  out += "<h2>Changes per sample</h2>\n<details id=\"changes\">\n<summary>";
  out += std::to_string(report.samplesWithChanges);
  out += report.samplesWithChanges == 1 ? " sample" : " samples";
  out += " with changes</summary>\n";
  if (report.changesLeftOut > 0) {
    out += "<p class=\"note\">To keep this page small, the changes of the ";
    if (report.changesLeftOut == 1) {
      out += "first sample that had some, sample ";
    } else {
      out += "first ";
      out += std::to_string(report.changesLeftOut);
      out += " samples that had some, up to sample ";
    }
    out += std::to_string(report.lastLeftOut);
    out += ", are left out; the latest follow.</p>\n";
  }
  out += report.changes;
  out += "</details>\n";
}

}  // namespace

void AppendChangesBlock(std::string& out, uint64_t sample, double seconds,
                        std::u16string_view lines) {
  out += "<h3>Sample ";
  out += std::to_string(sample);
  out += ", at ";
  out += DurationText(seconds);
  out += "</h3>\n<pre>";
  AppendEscaped(out, lines);
  out += "</pre>\n";
}

void AppendWatchHtml(std::string& out, const WatchReport& report) {
  AppendDocumentStart(out, "kestrel: GDI objects over time");
  out += "<p class=\"lead\">";
  out += std::to_string(report.sampleCount);
  out += report.sampleCount == 1 ? " sample" : " samples";
  out += ", one every ";
  out += DurationText(report.intervalSeconds);
  out += ", over ";
  out += DurationText(report.coveredSeconds);
  if (report.failedSample != 0) {
    out += "; the watch ended at sample ";
    out += std::to_string(report.failedSample);
    out += ": ";
    AppendEscaped(out, report.failure);
    out += ".</p>\n";
  } else {
    out += report.interrupted ? "; stopped early by an interrupt.</p>\n"
                              : ".</p>\n";
  }
  out += "<dl class=\"facts\">";
  AppendFact(out, "Samples", std::to_string(report.sampleCount));
  AppendFact(out, "Interval", DurationText(report.intervalSeconds));
  AppendFact(out, "Time covered", DurationText(report.coveredSeconds));
  AppendFact(out, "Processes seen", std::to_string(report.processesSeen));
  AppendFact(out, "Processes that grew", std::to_string(report.grownCount));
  out += "</dl>\n";

  if (report.charted.empty()) {
    out += "<p class=\"note\">No process grew during the watch.</p>\n";
  } else {
    std::string which =
        report.charted.size() == 1
            ? "The process that grew, as GetGuiResources counts its objects"
            : "The " + std::to_string(report.charted.size()) +
                  " processes that grew most, as GetGuiResources counts "
                  "their objects";
    out += "<h2>GDI All</h2>\n<p class=\"note\">";
    out += which;
    out += ".</p>\n";
    LineChart gdiAll =
        ChartOf(report, "gdi-all", "GDI All", &ChartedProcess::gdiAll);
    gdiAll.limit = report.processQuota;
    gdiAll.limitLabel = "quota " + FormatCount(report.processQuota);
    gdiAll.endSeconds = report.coveredSeconds;
    AppendLineChart(out, gdiAll);
    out +=
        "<h2>GDI Total</h2>\n<p class=\"note\">The same processes' entries "
        "in the GDI shared handle table.</p>\n";
    LineChart gdiTotal =
        ChartOf(report, "gdi-total", "GDI Total", &ChartedProcess::gdiTotal);
    gdiTotal.endSeconds = report.coveredSeconds;
    AppendLineChart(out, gdiTotal);

    const ChartedProcess& leader = report.charted.front();
    AreaChart area;
    area.id = "categories";
    area.title = "Objects of each category";
    area.samples = leader.categories;
    area.endSeconds = report.coveredSeconds;
    out += "<h2>By category: ";
    out += ProcessLabel(leader.name, leader.pid);
    out +=
        "</h2>\n<p class=\"note\">The process that grew most, its "
        "shared-table entries stacked by category.</p>\n";
    AppendAreaChart(out, area);
  }

  out += "<h2>Growth</h2>\n";
  if (report.growth.rows.empty()) {
    out += "<p class=\"note\">No process grew.</p>\n";
  } else {
    AppendTable(out, report.growth, "growth");
    if (report.grownCount > report.growth.rows.size()) {
      out += "<p class=\"note\">And ";
      out += std::to_string(report.grownCount - report.growth.rows.size());
      out += " more processes that grew less.</p>\n";
    }
  }
  out += report.trace;
  AppendChanges(out, report);
  AppendDocumentEnd(out);
}
