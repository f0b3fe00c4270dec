#include "html/area_chart.h"

#include <algorithm>

#include "html/axis_ticks.h"
#include "html/chart_frame.h"
#include "html/escape.h"
#include "html/figures.h"
#include "html/palette.h"
#include "presentation/format.h"

namespace {

constexpr double kWidth = 960;
constexpr double kHeight = 380;
constexpr PlotArea kPlot = {72, 16, 860, 298};

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
  double maxX = samples.empty() ? 0 : samples.back().seconds;
  double maxY = 0;
  for (double total : totals)
    maxY = std::max(maxY, total);
  AxisTicks xTicks = TimeTicks(minX, maxX, 8);
  AxisTicks yTicks = CountTicks(0, maxY, 6);

  out += "<figure class=\"chart\" id=\"chart-";
  out += chart.id;
  out += "\">\n<figcaption>";
  AppendEscaped(out, chart.title);
  out += "</figcaption>\n";
  AppendSvgStart(out, kWidth, kHeight, "area", chart.title);
  AppendAxisY(out, kPlot, yTicks, "objects in the shared table");
  AppendAxisX(out, kPlot, xTicks, AxisLabels::kTime,
              "time since the first sample");

  // Each layer is its top edge forwards and its bottom edge back, in data
  // units mapped by the transform.
  std::vector<int64_t> below(samples.size(), 0);
  for (int category = 0; category < kCategoryCount; ++category) {
    out += "<path class=\"area\" data-category=\"";
    out += CategoryName(category);
    out += "\" fill=\"";
    out += CategoryColour(category);
    out += '"';
    AppendDataTransform(out, kPlot, xTicks, yTicks);
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
  out += "</svg>\n<ul class=\"legend\">\n";

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
