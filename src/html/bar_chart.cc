#include "html/bar_chart.h"

#include <algorithm>

#include "html/axis_ticks.h"
#include "html/chart_frame.h"
#include "html/escape.h"
#include "html/palette.h"
#include "presentation/format.h"

namespace {

constexpr double kTop = 8;
// Below the last row: the axis's labels and title.
constexpr double kAxisSpace = 48;

// A drawing of the chart: its width, the room for the names left of the
// bars and for the numbers right of them, and the axis's ticks.
struct BarGeometry {
  double width;
  double labelWidth;
  double valueRoom;
  int ticks;
};

constexpr BarGeometry kWideGeometry = {960, 230, 70, 8};
constexpr BarGeometry kNarrowGeometry = {400, 130, 50, 4};

const BarGeometry& GeometryOf(ChartLayout layout) {
  return layout == ChartLayout::kWide ? kWideGeometry : kNarrowGeometry;
}

PlotArea PlotFor(const BarGeometry& geometry, size_t rows, double rowHeight) {
  return {geometry.labelWidth + 10, kTop,
          geometry.width - geometry.labelWidth - 10 - geometry.valueRoom,
          static_cast<double>(rows) * rowHeight};
}

void AppendFigureStart(std::string& out, const std::string& id,
                       const std::string& title) {
  out += "<figure class=\"chart\" id=\"chart-";
  out += id;
  out += "\">\n<figcaption>";
  AppendEscaped(out, title);
  out += "</figcaption>\n";
}

void AppendRowLabel(std::string& out, const PlotArea& plot, double y,
                    std::u16string_view name, uint32_t pid, double labelWidth) {
  out += "<text class=\"row-label\" x=\"";
  AppendNumber(out, plot.left - 8);
  out += "\" y=\"";
  AppendNumber(out, y);
  out += "\" text-anchor=\"end\">";
  out += ProcessLabel(name, pid, labelWidth - 8);
  out += "</text>\n";
}

void AppendRect(std::string& out, double x, double y, double width,
                double height) {
  out += " x=\"";
  AppendNumber(out, x);
  out += "\" y=\"";
  AppendNumber(out, y);
  out += "\" width=\"";
  AppendNumber(out, std::max(width, 0.0));
  out += "\" height=\"";
  AppendNumber(out, height);
  out += '"';
}

constexpr const char* kValueColour = "#0072B2";
constexpr const char* kBesideColour = "#E69F00";

void AppendBarPlot(std::string& out, const BarChart& chart,
                   ChartLayout layout) {
  constexpr double kRowHeight = 34;
  const BarGeometry& geometry = GeometryOf(layout);
  PlotArea plot = PlotFor(geometry, chart.rows.size(), kRowHeight);
  int64_t maxValue = 0;
  for (const BarRow& row : chart.rows)
    maxValue = std::max({maxValue, row.value, row.beside});
  AxisTicks ticks =
      CountTicks(0, static_cast<double>(maxValue), geometry.ticks);
  double scale = plot.width / (ticks.high - ticks.low);

  AppendSvgStart(out, geometry.width, plot.Bottom() + kAxisSpace, "bar",
                 chart.title, layout);
  AppendAxisX(out, plot, ticks, AxisLabels::kCount, "objects");
  for (size_t i = 0; i < chart.rows.size(); ++i) {
    const BarRow& row = chart.rows[i];
    double top = plot.top + static_cast<double>(i) * kRowHeight + 4;
    AppendRowLabel(out, plot, top + 17, row.name, row.pid, geometry.labelWidth);
    const struct {
      const char* className;
      const char* colour;
      const std::string& name;
      int64_t value;
      double y;
      double height;
    } kBars[] = {
        {"bar value", kValueColour, chart.valueName, row.value, top, 14},
        {"bar beside", kBesideColour, chart.besideName, row.beside, top + 17,
         9},
    };
    for (const auto& bar : kBars) {
      double width = static_cast<double>(bar.value) * scale;
      out += "<rect class=\"";
      out += bar.className;
      out += "\" data-pid=\"";
      out += std::to_string(row.pid);
      out += "\" fill=\"";
      out += bar.colour;
      out += '"';
      AppendRect(out, plot.left, bar.y, width, bar.height);
      out += "><title>";
      out += ProcessLabel(row.name, row.pid);
      out += ": ";
      AppendEscaped(out, bar.name);
      out += ' ';
      out += FormatCount(bar.value);
      out += "</title></rect><text class=\"bar-value\" x=\"";
      AppendNumber(out, plot.left + width + 4);
      out += "\" y=\"";
      AppendNumber(out, bar.y + bar.height - 1);
      out += "\">";
      out += FormatCount(bar.value);
      out += "</text>\n";
    }
  }
  out += "</svg>\n";
}

void AppendStackedBarPlot(std::string& out, const StackedBarChart& chart,
                          ChartLayout layout) {
  constexpr double kRowHeight = 22;
  const BarGeometry& geometry = GeometryOf(layout);
  PlotArea plot = PlotFor(geometry, chart.rows.size(), kRowHeight);
  int64_t maxTotal = 0;
  for (const StackedBarRow& row : chart.rows) {
    int64_t total = 0;
    for (uint32_t count : row.counts)
      total += count;
    maxTotal = std::max(maxTotal, total);
  }
  AxisTicks ticks =
      CountTicks(0, static_cast<double>(maxTotal), geometry.ticks);
  double scale = plot.width / (ticks.high - ticks.low);

  AppendSvgStart(out, geometry.width, plot.Bottom() + kAxisSpace, "bar",
                 chart.title, layout);
  AppendAxisX(out, plot, ticks, AxisLabels::kCount,
              "objects in the shared table");
  for (size_t i = 0; i < chart.rows.size(); ++i) {
    const StackedBarRow& row = chart.rows[i];
    double top = plot.top + static_cast<double>(i) * kRowHeight + 3;
    AppendRowLabel(out, plot, top + 12, row.name, row.pid, geometry.labelWidth);
    double x = plot.left;
    for (int category = 0; category < kCategoryCount; ++category) {
      uint32_t count = row.counts[category];
      if (count == 0)
        continue;
      double width = static_cast<double>(count) * scale;
      out += "<rect class=\"segment\" data-pid=\"";
      out += std::to_string(row.pid);
      out += "\" data-category=\"";
      out += CategoryName(category);
      out += "\" fill=\"";
      out += CategoryColour(category);
      out += '"';
      AppendRect(out, x, top, width, 16);
      out += "><title>";
      out += ProcessLabel(row.name, row.pid);
      out += ": ";
      out += CategoryName(category);
      out += ' ';
      out += FormatCount(count);
      out += "</title></rect>\n";
      x += width;
    }
  }
  out += "</svg>\n";
}

}  // namespace

void AppendBarChart(std::string& out, const BarChart& chart) {
  AppendFigureStart(out, chart.id, chart.title);
  for (ChartLayout layout : kChartLayouts)
    AppendBarPlot(out, chart, layout);
  out += "<ul class=\"legend\">\n<li>";
  AppendFillSwatch(out, kValueColour);
  out += ' ';
  AppendEscaped(out, chart.valueName);
  out += "</li>\n<li>";
  AppendFillSwatch(out, kBesideColour);
  out += ' ';
  AppendEscaped(out, chart.besideName);
  out += "</li>\n</ul>\n</figure>\n";
}

void AppendStackedBarChart(std::string& out, const StackedBarChart& chart) {
  AppendFigureStart(out, chart.id, chart.title);
  for (ChartLayout layout : kChartLayouts)
    AppendStackedBarPlot(out, chart, layout);
  out += "<ul class=\"legend\">\n";
  for (int category = 0; category < kCategoryCount; ++category) {
    out += "<li>";
    AppendFillSwatch(out, CategoryColour(category));
    out += ' ';
    out += CategoryName(category);
    out += "</li>\n";
  }
  out += "</ul>\n</figure>\n";
}
