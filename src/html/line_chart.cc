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

constexpr double kWidth = 960;
constexpr double kHeight = 400;
constexpr PlotArea kPlot = {72, 16, 680, 318};
constexpr double kLabelGap = 14;

double StrokeWidth(size_t index) { return index == 0 ? 3.25 : 1.75; }

struct EndLabel {
  size_t series;
  double y;
};

// Spreads the labels at the lines' ends so that none overlaps another,
// keeping them inside the plot's height.
void SpreadLabels(std::vector<EndLabel>& labels) {
  std::sort(labels.begin(), labels.end(),
            [](const EndLabel& a, const EndLabel& b) { return a.y < b.y; });
  for (size_t i = 1; i < labels.size(); ++i)
    labels[i].y = std::max(labels[i].y, labels[i - 1].y + kLabelGap);
  double limit = kPlot.Bottom();
  for (size_t i = labels.size(); i-- > 0;) {
    labels[i].y = std::min(labels[i].y, limit);
    limit = labels[i].y - kLabelGap;
  }
}

}  // namespace

void AppendLineChart(std::string& out, const LineChart& chart) {
  double minX = 0;
  double maxX = 0;
  double maxY = 0;
  bool any = false;
  for (const LineSeries& series : chart.series) {
    for (const SeriesPoint& point : series.points) {
      minX = any ? std::min(minX, point.x) : point.x;
      maxX = any ? std::max(maxX, point.x) : point.x;
      maxY = std::max(maxY, point.y);
      any = true;
    }
  }
  bool showLimit = chart.limit > 0 && maxY >= chart.limit / 2;
  AxisTicks xTicks = TimeTicks(minX, maxX, 8);
  AxisTicks yTicks =
      CountTicks(0, showLimit ? std::max(maxY, chart.limit) : maxY, 6);
  double scaleX = kPlot.width / (xTicks.high - xTicks.low);
  double scaleY = kPlot.height / (yTicks.high - yTicks.low);
  auto pixelX = [&](double x) {
    return kPlot.left + (x - xTicks.low) * scaleX;
  };
  auto pixelY = [&](double y) {
    return kPlot.Bottom() - (y - yTicks.low) * scaleY;
  };

  out += "<figure class=\"chart\" id=\"chart-";
  out += chart.id;
  out += "\">\n<figcaption>";
  AppendEscaped(out, chart.title);
  out += "</figcaption>\n";
  AppendSvgStart(out, kWidth, kHeight, "line", chart.title);
  AppendAxisY(out, kPlot, yTicks, chart.valueName);
  AppendAxisX(out, kPlot, xTicks, AxisLabels::kTime,
              "time since the first sample");

  if (showLimit) {
    out += "<line class=\"limit\" x1=\"";
    AppendNumber(out, kPlot.left);
    out += "\" x2=\"";
    AppendNumber(out, kPlot.Right());
    out += "\" y1=\"";
    AppendNumber(out, pixelY(chart.limit));
    out += "\" y2=\"";
    AppendNumber(out, pixelY(chart.limit));
    out +=
        "\" stroke=\"#B00020\" stroke-width=\"1.5\" "
        "stroke-dasharray=\"6 4\"/>\n<text class=\"limit-label\" x=\"";
    AppendNumber(out, kPlot.left + 6);
    out += "\" y=\"";
    AppendNumber(out, pixelY(chart.limit) - 5);
    out += "\" fill=\"#B00020\">";
    AppendEscaped(out, chart.limitLabel);
    out += "</text>\n";
  }

  // Drawn last first, so that the line that grew most lies on top. Each
  // path holds the data itself (seconds, count) and a transform maps it
  // into the plot: the tooltip script reads the values back exactly.
  for (size_t i = chart.series.size(); i-- > 0;) {
    const LineSeries& series = chart.series[i];
    LineStyle style = LineStyleAt(i);
    out += "<path class=\"series\" data-chart=\"";
    out += chart.id;
    out += "\" data-pid=\"";
    out += std::to_string(series.pid);
    out += '"';
    AppendDataTransform(out, kPlot, xTicks, yTicks);
    out += " stroke=\"";
    out += style.colour;
    out += "\" stroke-width=\"";
    AppendNumber(out, StrokeWidth(i));
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
        AppendNumber(out, pixelX(point.x));
        out += "\" cy=\"";
        AppendNumber(out, pixelY(point.y));
        out += "\" r=\"";
        out += i == 0 ? "3.5" : "2.5";
        out += "\"/>";
      }
      out += "</g>\n";
    }
  }

  std::vector<EndLabel> labels;
  for (size_t i = 0; i < chart.series.size(); ++i) {
    if (!chart.series[i].points.empty())
      labels.push_back({i, pixelY(chart.series[i].points.back().y) + 4});
  }
  SpreadLabels(labels);
  for (const EndLabel& label : labels) {
    const LineSeries& series = chart.series[label.series];
    out += "<text class=\"line-label";
    if (label.series == 0)
      out += " lead";
    out += "\" x=\"";
    AppendNumber(out, kPlot.Right() + 8);
    out += "\" y=\"";
    AppendNumber(out, label.y);
    out += "\" fill=\"";
    out += LineStyleAt(label.series).colour;
    out += "\">";
    out += ProcessLabel(series.name, series.pid, kWidth - kPlot.Right() - 12);
    out += "</text>\n";
  }
  out += "</svg>\n<ul class=\"legend\">\n";
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
  out += "</ul>\n</figure>\n";
}
