#include "html/watch_page.h"

#include <algorithm>

#include "html/chart_frame.h"
#include "html/escape.h"
#include "html/figures.h"
#include "html/line_chart.h"
#include "html/page_frame.h"
#include "html/trace_section.h"
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

// The note that ends a page cut short, in place of what was left out.
constexpr char kCutNote[] =
    "<p class=\"note\">Memory ran out while this page was written: the rest "
    "of it is left out.</p>\n";
constexpr char kGrowthHeading[] = "<h2>Growth</h2>\n";
constexpr char kTableEnd[] = "</tbody>\n</table></div>\n";
constexpr char kChangesEnd[] = "</details>\n";

// The most bytes CloseCut appends after the last whole part.
size_t ClosingBytes() {
  return sizeof kGrowthHeading + sizeof kTableEnd + sizeof kChangesEnd +
         sizeof kCutNote + DocumentEndBytes();
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

WatchPageWriter::WatchPageWriter(std::string& out, const WatchReport& report)
    : out_(out), report_(report), whole_(out.size()) {}

void WatchPageWriter::Whole(Part part) {
  // Should the room not be had, the last part marked still has its own.
  out_.reserve(out_.size() + ClosingBytes());
  whole_ = out_.size();
  part_ = part;
}

bool WatchPageWriter::CloseCut() {
  if (part_ == Part::Nothing)
    return false;
  // Within the room reserved: no memory is asked for.
  out_.resize(whole_);
  switch (part_) {
    case Part::BeforeGrowth:
      out_ += kGrowthHeading;
      break;
    case Part::InGrowthTable:
      out_ += kTableEnd;
      break;
    case Part::InChanges:
      out_ += kChangesEnd;
      break;
    case Part::AfterGrowth:
    case Part::Nothing:
      break;
  }
  out_ += kCutNote;
  AppendDocumentEnd(out_);
  return true;
}

void WatchPageWriter::Head() {
  std::string& out = out_;
  const WatchReport& report = report_;
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
  AppendOriginFacts(out, report.origin);
  out += "</dl>\n";

  Whole(Part::BeforeGrowth);
}

void WatchPageWriter::Charts() {
  std::string& out = out_;
  const WatchReport& report = report_;
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

  Whole(Part::BeforeGrowth);
}

void WatchPageWriter::GrowthStart() {
  out_ += kGrowthHeading;
  if (report_.grownCount == 0) {
    out_ += "<p class=\"note\">No process grew.</p>\n";
    Whole(Part::AfterGrowth);
    return;
  }
  AppendTableStart(out_, report_.growth);
  Whole(Part::InGrowthTable);
}

void WatchPageWriter::GrowthRow(const std::vector<std::u16string>& cells) {
  AppendTableRow(out_, report_.growth, cells, "growth");
  ++rows_;
  Whole(Part::InGrowthTable);
}

void WatchPageWriter::GrowthEnd() {
  if (report_.grownCount != 0) {
    AppendTableEnd(out_);
    if (report_.grownCount > rows_) {
      out_ += "<p class=\"note\">And ";
      out_ += std::to_string(report_.grownCount - rows_);
      out_ += " more processes that grew less.</p>\n";
    }
  }
  Whole(Part::AfterGrowth);
}

void WatchPageWriter::Trace(const StackTracker& stacks) {
  AppendTraceSection(out_, stacks);
  Whole(Part::AfterGrowth);
}

void WatchPageWriter::Changes(const LatestChanges& changes) {
  out_ += "<h2>Changes per sample</h2>\n<details id=\"changes\">\n<summary>";
  out_ += std::to_string(report_.samplesWithChanges);
  out_ += report_.samplesWithChanges == 1 ? " sample" : " samples";
  out_ += " with changes</summary>\n";
  if (report_.changesLeftOut > 0) {
    out_ += "<p class=\"note\">To keep this page small, the changes of the ";
    if (report_.changesLeftOut == 1) {
      out_ += "first sample that had some, sample ";
    } else {
      out_ += "first ";
      out_ += std::to_string(report_.changesLeftOut);
      out_ += " samples that had some, up to sample ";
    }
    out_ += std::to_string(report_.lastLeftOut);
    out_ += ", are left out; the latest follow.</p>\n";
  }
  Whole(Part::InChanges);
  changes.ForEach([this](const std::string& block) {
    out_ += block;
    Whole(Part::InChanges);
  });
  out_ += kChangesEnd;
  Whole(Part::AfterGrowth);
}

void WatchPageWriter::End() { AppendDocumentEnd(out_); }
