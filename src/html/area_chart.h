// One process's objects over time by category, stacked, so that the kind of
// object that keeps growing stands out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gditable/object_types.h"
#include "watch/chart_series.h"

// The sample's objects of every category together: its GDI Total.
double TotalOf(const CategorySample& sample);

struct AreaChart {
  std::string id;
  std::string title;
  std::vector<CategorySample> samples;  // in time order
  // Where the time axis ends (the watch's last sample), at least the last
  // sample's time.
  double endSeconds = 0;
};

// Appends the chart as a <figure>: for each layout one <path class="area"
// data-category=NAME> a category (Pen at the bottom) through the samples
// as given (a watch keeps them few: ChartSeries), and a legend with each
// category's change, the one that grew most in bold.
void AppendAreaChart(std::string& out, const AreaChart& chart);
