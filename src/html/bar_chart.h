// Horizontal bars of processes: one count a bar with a second count beside
// it, or each process's objects split by category.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gditable/object_types.h"

struct BarRow {
  uint32_t pid = 0;
  std::u16string name;
  int64_t value = 0;   // the long bar ("GDI All")
  int64_t beside = 0;  // the thin bar under it ("GDI Total")
};

struct BarChart {
  std::string id;
  std::string title;
  std::string valueName;
  std::string besideName;
  std::vector<BarRow> rows;  // top down
};

// Appends the chart as a <figure>: per row a <rect class="bar value"
// data-pid=PID> and a <rect class="bar beside" data-pid=PID>, each with
// its number at its end, and a legend of the two.
void AppendBarChart(std::string& out, const BarChart& chart);

struct StackedBarRow {
  uint32_t pid = 0;
  std::u16string name;
  std::array<uint32_t, kCategoryCount> counts = {};
};

struct StackedBarChart {
  std::string id;
  std::string title;
  std::vector<StackedBarRow> rows;  // top down
};

// Appends the chart as a <figure>: per row one <rect class="segment"
// data-pid=PID data-category=NAME> a category it has objects of, Pen first,
// and a legend of the categories.
void AppendStackedBarChart(std::string& out, const StackedBarChart& chart);
