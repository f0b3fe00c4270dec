#include "html/area_chart.h"

#include <algorithm>

#include "html/axis_ticks.h"
#include "html/chart_frame.h"
#include "html/escape.h"
#include "html/figures.h"
#include "html/palette.h"
#include "presentation/format.h"

namespace {

struct AreaGeometry {
  double width;
  double height;
  PlotArea plot;
  int timeTicks;
  int countTicks;
};

constexpr AreaGeometry kWideGeometry = {960, 380, {72, 16, 860, 298}, 8, 6};
constexpr AreaGeometry kNarrowGeometry = {400, 330, {68, 12, 320, 262}, 4, 5};

// The layers, each its top edge forwards and its bottom edge back, in data
// units mapped by the transform.
void AppendLayers(std::string& out, const std::vector<CategorySample>& samples,
                  const PlotArea& plot, const AxisTicks& xTicks,
                  const AxisTicks& yTicks) {
  std::vector<int64_t> below(samples.size(), 0);
  for (int category = 0; category < kCategoryCount; ++category) {
    out += "<path class=\"area\" data-category=\"";
    out += CategoryName(category);
    out += "\" fill=\"";
    out += CategoryColour(category);
    out += '"';
    AppendDataTransform(out, plot, xTicks, yTicks);
    out += " d=\"";
    std::vector<int64_t> above(below);
    for (size_t i = 0; i < samples.size(); ++i) {
      above[i] += samples[i].counts[category];
      out += i == 0 ? 'M' : 'L';
      AppendNumber(out, samples[i].seconds);
      out += ' ';
      AppendNumber(out, static_cast<double>(above[i]));
    }
    for (size_t i = samples.size(); i-- > 0;) {
      out += 'L';
      AppendNumber(out, samples[i].seconds);
      out += ' ';
      AppendNumber(out, static_cast<double>(below[i]));
    }
    if (!samples.empty())
      out += 'Z';
    out += "\"><title>";
    out += CategoryName(category);
    out += "</title></path>\n";
    below.swap(above);
  }
}

}  // namespace

double TotalOf(const CategorySample& sample) {
  double total = 0;
  for (uint32_t count : sample.counts)
    total += count;
  return total;
}

void AppendAreaChart(std::string& out, const AreaChart& chart) {
  const std::vector<CategorySample>& samples = chart.samples;
  std::vector<double> totals;
  totals.reserve(samples.size());
  for (const CategorySample& sample : samples)
    totals.push_back(TotalOf(sample));

  double minX = samples.empty() ? 0 : samples.front().seconds;
  double maxX =
      std::max(samples.empty() ? 0 : samples.back().seconds, chart.endSeconds);
  double maxY = 0;
  for (double total : totals)
    maxY = std::max(maxY, total);

  out += "<figure class=\"chart\" id=\"chart-";
  out += chart.id;
  out += "\">\n<figcaption>";
  AppendEscaped(out, chart.title);
  out += "</figcaption>\n";
  for (ChartLayout layout : kChartLayouts) {
    const AreaGeometry& geometry =
        layout == ChartLayout::kWide ? kWideGeometry : kNarrowGeometry;
    AxisTicks xTicks = TimeTicks(minX, maxX, geometry.timeTicks);
    AxisTicks yTicks = CountTicks(0, maxY, geometry.countTicks);
    AppendSvgStart(out, geometry.width, geometry.height, "area", chart.title,
                   layout);
    AppendAxisY(out, geometry.plot, yTicks, "objects in the shared table");
    AppendAxisX(out, geometry.plot, xTicks, AxisLabels::kTime,
                "time since the first sample");
    AppendLayers(out, samples, geometry.plot, xTicks, yTicks);
    out += "</svg>\n";
  }
  out += "<ul class=\"legend\">\n";

  // The legend reads top down, as the layers do.
  int grewMost = -1;
  int64_t mostGrowth = 0;
  for (int category = 0; category < kCategoryCount; ++category) {
    int64_t change =
        chart.samples.empty()
            ? 0
            : static_cast<int64_t>(chart.samples.back().counts[category]) -
                  chart.samples.front().counts[category];
    if (change > mostGrowth) {
      mostGrowth = change;
      grewMost = category;
    }
  }
  for (int category = kCategoryCount; category-- > 0;) {
    out += category == grewMost ? "<li class=\"lead\">" : "<li>";
    AppendFillSwatch(out, CategoryColour(category));
    out += ' ';
    out += CategoryName(category);
    if (!chart.samples.empty()) {
      out += " <span class=\"change\">";
      out += FormatCount(chart.samples.back().counts[category]);
      out += " (";
      out += FormatChange(
          static_cast<int64_t>(chart.samples.back().counts[category]) -
          chart.samples.front().counts[category]);
      out += ")</span>";
    }
    out += "</li>\n";
  }
  out += "</ul>\n</figure>\n";
}
