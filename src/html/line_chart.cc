#include "html/line_chart.h"

#include <algorithm>
#include <cmath>

#include "html/axis_ticks.h"
#include "html/chart_frame.h"
#include "html/escape.h"
#include "html/figures.h"
#include "html/palette.h"
#include "presentation/format.h"

namespace {

constexpr double kLabelGap = 14;

// A drawing of the chart: its size, its plot, how many ticks its axes
// take, and whether the lines are labelled at their ends (the narrow one
// leaves the names to the legend).
struct LineGeometry {
  double width;
  double height;
  PlotArea plot;
  int timeTicks;
  int countTicks;
  bool endLabels;
};

constexpr LineGeometry kWideGeometry = {960, 400, {72, 16, 680, 318},
                                        8,   6,   true};
constexpr LineGeometry kNarrowGeometry = {400, 340, {68, 12, 320, 270},
                                          4,   5,   false};

const LineGeometry& GeometryOf(ChartLayout layout) {
  return layout == ChartLayout::kWide ? kWideGeometry : kNarrowGeometry;
}

double StrokeWidth(size_t index) { return index == 0 ? 3.25 : 1.75; }

// What the points span: both axes start at 0 seconds and 0 objects.
struct DataRange {
  double minX = 0;
  double maxX = 0;
  double maxY = 0;
};

DataRange RangeOf(const LineChart& chart) {
  DataRange range;
  bool any = false;
  for (const LineSeries& series : chart.series) {
    for (const SeriesPoint& point : series.points) {
      range.minX = any ? std::min(range.minX, point.x) : point.x;
      range.maxX = any ? std::max(range.maxX, point.x) : point.x;
      range.maxY = std::max(range.maxY, point.y);
      any = true;
    }
  }
  range.maxX = std::max(range.maxX, chart.endSeconds);
  return range;
}

// Maps data to the plot's units.
struct PlotScale {
  PlotArea plot;
  AxisTicks x;
  AxisTicks y;
  double PixelX(double value) const {
    return plot.left + (value - x.low) * plot.width / (x.high - x.low);
  }
  double PixelY(double value) const {
    return plot.Bottom() - (value - y.low) * plot.height / (y.high - y.low);
  }
};

struct EndLabel {
  size_t series;
  double y;
};

// Spreads the labels at the lines' ends so that none overlaps another,
// keeping them inside the plot's height.
void SpreadLabels(std::vector<EndLabel>& labels, const PlotArea& plot) {
  std::sort(labels.begin(), labels.end(),
            [](const EndLabel& a, const EndLabel& b) { return a.y < b.y; });
  for (size_t i = 1; i < labels.size(); ++i)
    labels[i].y = std::max(labels[i].y, labels[i - 1].y + kLabelGap);
  double limit = plot.Bottom();
  for (size_t i = labels.size(); i-- > 0;) {
    labels[i].y = std::min(labels[i].y, limit);
    limit = labels[i].y - kLabelGap;
  }
}

void AppendLimit(std::string& out, const LineChart& chart,
                 const PlotScale& scale) {
  double y = scale.PixelY(chart.limit);
  out += "<line class=\"limit\" x1=\"";
  AppendNumber(out, scale.plot.left);
  out += "\" x2=\"";
  AppendNumber(out, scale.plot.Right());
  out += "\" y1=\"";
  AppendNumber(out, y);
  out += "\" y2=\"";
  AppendNumber(out, y);
  out +=
      "\" stroke=\"#B00020\" stroke-width=\"1.5\" "
      "stroke-dasharray=\"6 4\"/>\n<text class=\"limit-label\" x=\"";
  AppendNumber(out, scale.plot.left + 6);
  out += "\" y=\"";
  AppendNumber(out, y - 5);
  out += "\" fill=\"#B00020\">";
  AppendEscaped(out, chart.limitLabel);
  out += "</text>\n";
}

// The series' path holds the data itself (seconds, count) and a transform
// maps it into the plot: the tooltip script reads the values back exactly.
void AppendSeriesPath(std::string& out, const LineChart& chart, size_t index,
                      const PlotScale& scale) {
  const LineSeries& series = chart.series[index];
  LineStyle style = LineStyleAt(index);
  out += "<path class=\"series\" data-chart=\"";
  out += chart.id;
  out += "\" data-pid=\"";
  out += std::to_string(series.pid);
  out += '"';
  AppendDataTransform(out, scale.plot, scale.x, scale.y);
  out += " stroke=\"";
  out += style.colour;
  out += "\" stroke-width=\"";
  AppendNumber(out, StrokeWidth(index));
  out += '"';
  if (*style.dash) {
    out += " stroke-dasharray=\"";
    out += style.dash;
    out += '"';
  }
  out += " d=\"";
  char command = 'M';
  for (const SeriesPoint& point : series.points) {
    out += command;
    AppendNumber(out, point.x);
    out += ' ';
    AppendNumber(out, point.y);
    command = 'L';
  }
  // A process seen in one sample only still shows as a dot.
  if (series.points.size() == 1)
    out += "h0";
  out += "\"><title>";
  out += ProcessLabel(series.name, series.pid);
  out += "</title></path>\n";
  // Samples are marked while they are few enough to tell apart.
  if (series.everySample && series.points.size() <= 40) {
    out += "<g class=\"markers\" fill=\"";
    out += style.colour;
    out += "\">";
    for (const SeriesPoint& point : series.points) {
      out += "<circle cx=\"";
      AppendNumber(out, scale.PixelX(point.x));
      out += "\" cy=\"";
      AppendNumber(out, scale.PixelY(point.y));
      out += "\" r=\"";
      out += index == 0 ? "3.5" : "2.5";
      out += "\"/>";
    }
    out += "</g>\n";
  }
}

void AppendEndLabels(std::string& out, const LineChart& chart,
                     const PlotScale& scale, double width) {
  std::vector<EndLabel> labels;
  for (size_t i = 0; i < chart.series.size(); ++i) {
    if (!chart.series[i].points.empty())
      labels.push_back({i, scale.PixelY(chart.series[i].points.back().y) + 4});
  }
  SpreadLabels(labels, scale.plot);
  for (const EndLabel& label : labels) {
    const LineSeries& series = chart.series[label.series];
    out += "<text class=\"line-label";
    if (label.series == 0)
      out += " lead";
    out += "\" x=\"";
    AppendNumber(out, scale.plot.Right() + 8);
    out += "\" y=\"";
    AppendNumber(out, label.y);
    out += "\" fill=\"";
    out += LineStyleAt(label.series).colour;
    out += "\">";
    out +=
        ProcessLabel(series.name, series.pid, width - scale.plot.Right() - 12);
    out += "</text>\n";
  }
}

void AppendPlot(std::string& out, const LineChart& chart,
                const DataRange& range, ChartLayout layout) {
  const LineGeometry& geometry = GeometryOf(layout);
  bool showLimit = chart.limit > 0 && range.maxY >= chart.limit / 2;
  PlotScale scale = {
      geometry.plot, TimeTicks(range.minX, range.maxX, geometry.timeTicks),
      CountTicks(0, showLimit ? std::max(range.maxY, chart.limit) : range.maxY,
                 geometry.countTicks)};
  AppendSvgStart(out, geometry.width, geometry.height, "line", chart.title,
                 layout);
  AppendAxisY(out, scale.plot, scale.y, chart.valueName);
  AppendAxisX(out, scale.plot, scale.x, AxisLabels::kTime,
              "time since the first sample");
  if (showLimit)
    AppendLimit(out, chart, scale);
  // Drawn last first, so that the line that grew most lies on top.
  for (size_t i = chart.series.size(); i-- > 0;)
    AppendSeriesPath(out, chart, i, scale);
  if (geometry.endLabels)
    AppendEndLabels(out, chart, scale, geometry.width);
  out += "</svg>\n";
}

void AppendLegend(std::string& out, const LineChart& chart) {
  out += "<ul class=\"legend\">\n";
  for (size_t i = 0; i < chart.series.size(); ++i) {
    const LineSeries& series = chart.series[i];
    LineStyle style = LineStyleAt(i);
    out += "<li>";
    AppendLineSwatch(out, style.colour, style.dash, StrokeWidth(i));
    out += ' ';
    out += ProcessLabel(series.name, series.pid);
    if (!series.points.empty()) {
      out += " <span class=\"change\">";
      out += FormatCount(std::llround(series.points.front().y));
      out += " \xE2\x86\x92 ";  // U+2192, an arrow to the right
      out += FormatCount(std::llround(series.points.back().y));
      out += " (";
      out += FormatChange(std::llround(series.points.back().y) -
                          std::llround(series.points.front().y));
      out += ")</span>";
    }
    out += "</li>\n";
  }
  out += "</ul>\n";
}

}  // namespace

void AppendLineChart(std::string& out, const LineChart& chart) {
  DataRange range = RangeOf(chart);
  out += "<figure class=\"chart\" id=\"chart-";
  out += chart.id;
  out += "\">\n<figcaption>";
  AppendEscaped(out, chart.title);
  out += "</figcaption>\n";
  for (ChartLayout layout : kChartLayouts)
    AppendPlot(out, chart, range, layout);
  AppendLegend(out, chart);
  out += "</figure>\n";
}
