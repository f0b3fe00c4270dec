// What every chart shares: the SVG element around it, the plot area, numbers
// written as coordinates, and the axes with their grid lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "html/axis_ticks.h"

// The rectangle the data is drawn in, in the SVG's user units.
struct PlotArea {
  double left;
  double top;
  double width;
  double height;
  double Right() const { return left + width; }
  double Bottom() const { return top + height; }
};

// A number with at most three decimals and no trailing zeros: "12", "2.5".
void AppendNumber(std::string& out, double value);

// Appends ` transform="matrix(...)"`, which maps data (x along `xTicks`,
// y along `yTicks`, rising) into `plot`; a path drawn in data units under
// it keeps its values exact, for the tooltip script to read back.
void AppendDataTransform(std::string& out, const PlotArea& plot,
                         const AxisTicks& xTicks, const AxisTicks& yTicks);

// Each chart is drawn twice: for a wide page, and for a narrow one (a
// phone, a narrow pane) on which the wide drawing, scaled down, would shrink
// its text past reading. The page's style shows the one that fits (the
// narrow one up to 600 CSS pixels).
enum class ChartLayout { kWide, kNarrow };
constexpr ChartLayout kChartLayouts[] = {ChartLayout::kWide,
                                         ChartLayout::kNarrow};

// Opens `<svg class="plot LAYOUT" data-kind=KIND>` of the given size,
// scaled to the page's width, with `title` as its accessible name.
void AppendSvgStart(std::string& out, double width, double height,
                    std::string_view kind, std::string_view title,
                    ChartLayout layout);

// How an axis labels its ticks.
enum class AxisLabels { kCount, kTime };

// The horizontal axis below `plot`: a grid line and a label at each tick,
// and the axis title under them.
void AppendAxisX(std::string& out, const PlotArea& plot, const AxisTicks& ticks,
                 AxisLabels labels, std::string_view title);
// The vertical axis left of `plot`, counts rising upwards, its title turned
// along it.
void AppendAxisY(std::string& out, const PlotArea& plot, const AxisTicks& ticks,
                 std::string_view title);

// "name (PID)" escaped for the document. With `maxWidth` above 0, a name
// that would take more than that many units at the charts' 12-unit type is
// cut short with an ellipsis.
std::string ProcessLabel(std::u16string_view name, uint32_t pid,
                         double maxWidth = 0);

// A small legend sample of a line, as an inline SVG.
void AppendLineSwatch(std::string& out, const char* colour, const char* dash,
                      double strokeWidth);
// A small legend sample of a fill.
void AppendFillSwatch(std::string& out, const char* colour);
