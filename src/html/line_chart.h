// A chart of several processes' counts over time, one line a process,
// each labelled at its end and listed in a legend.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "watch/chart_series.h"

struct LineSeries {
  uint32_t pid = 0;
  std::u16string name;
  // x: seconds since the first sample, y: the count; in x order.
  std::vector<SeriesPoint> points;
  // Every sample is a point: none was thinned out.
  bool everySample = true;
};

struct LineChart {
  // Marks the chart's lines (data-chart) so that they can be found.
  std::string id;
  std::string title;
  // What the lines count ("GDI All"): the vertical axis's title.
  std::string valueName;
  // The first is drawn strongest: the process that grew most.
  std::vector<LineSeries> series;
  // A limit the counts run into (the per-process quota), drawn as a
  // labelled dashed line once the lines reach half of it; 0 for none.
  double limit = 0;
  std::string limitLabel;
  // Where the time axis ends: the watch's last sample, which a process
  // that exited earlier never reached. The axis runs at least to the last
  // point.
  double endSeconds = 0;
};

// Appends the chart as a <figure>: an inline SVG for each layout with one
// <path class="series" data-chart=ID data-pid=PID> a series through its
// points as given (a watch keeps them few: ChartSeries), and a legend with
// each series' change from its first to its last point; the limit, when the
// lines reach half of it, as a <line class="limit"> with its label.
void AppendLineChart(std::string& out, const LineChart& chart);
