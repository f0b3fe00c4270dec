#include "html/chart_frame.h"

#include <cmath>
#include <cstdio>

#include "html/escape.h"
#include "platform/name_cut.h"

void AppendNumber(std::string& out, double value) {
  char text[64];
  if (!std::isfinite(value))
    value = 0;
  int length = std::snprintf(text, sizeof text, "%.3f", value);
  while (length > 0 && text[length - 1] == '0')
    --length;
  if (length > 0 && text[length - 1] == '.')
    --length;
  std::string_view digits(text, static_cast<size_t>(length));
  out += digits == "-0" ? "0" : digits;
}

void AppendDataTransform(std::string& out, const PlotArea& plot,
                         const AxisTicks& xTicks, const AxisTicks& yTicks) {
  double scaleX = plot.width / (xTicks.high - xTicks.low);
  double scaleY = plot.height / (yTicks.high - yTicks.low);
  // Scales need more than three decimals: a count axis reaching 60,000
  // over 300 units scales by 0.005.
  char text[160];
  std::snprintf(text, sizeof text, " transform=\"matrix(%.7g 0 0 %.7g ", scaleX,
                -scaleY);
  out += text;
  AppendNumber(out, plot.left - xTicks.low * scaleX);
  out += ' ';
  AppendNumber(out, plot.Bottom() + yTicks.low * scaleY);
  out += ")\"";
}

void AppendSvgStart(std::string& out, double width, double height,
                    std::string_view kind, std::string_view title,
                    ChartLayout layout) {
  out += layout == ChartLayout::kWide ? "<svg class=\"plot wide\""
                                      : "<svg class=\"plot narrow\"";
  out += " data-kind=\"";
  out += kind;
  out += "\" viewBox=\"0 0 ";
  AppendNumber(out, width);
  out += ' ';
  AppendNumber(out, height);
  out += "\" role=\"img\" aria-label=\"";
  AppendEscaped(out, title);
  out += "\">\n";
}

namespace {

double Scale(double value, const AxisTicks& ticks) {
  return (value - ticks.low) / (ticks.high - ticks.low);
}

}  // namespace

void AppendAxisX(std::string& out, const PlotArea& plot, const AxisTicks& ticks,
                 AxisLabels labels, std::string_view title) {
  out += "<g class=\"axis axis-x\">\n";
  for (double value : ticks.values) {
    double x = plot.left + Scale(value, ticks) * plot.width;
    out += "<line class=\"grid\" x1=\"";
    AppendNumber(out, x);
    out += "\" x2=\"";
    AppendNumber(out, x);
    out += "\" y1=\"";
    AppendNumber(out, plot.top);
    out += "\" y2=\"";
    AppendNumber(out, plot.Bottom() + 4);
    out += "\"/><text x=\"";
    AppendNumber(out, x);
    out += "\" y=\"";
    AppendNumber(out, plot.Bottom() + 18);
    out += "\" text-anchor=\"middle\">";
    out += labels == AxisLabels::kTime ? FormatTickTime(value, ticks.high)
                                       : FormatTickCount(value);
    out += "</text>\n";
  }
  out += "<line class=\"baseline\" x1=\"";
  AppendNumber(out, plot.left);
  out += "\" x2=\"";
  AppendNumber(out, plot.Right());
  out += "\" y1=\"";
  AppendNumber(out, plot.Bottom());
  out += "\" y2=\"";
  AppendNumber(out, plot.Bottom());
  out += "\"/>\n<text class=\"axis-title\" x=\"";
  AppendNumber(out, plot.left + plot.width / 2);
  out += "\" y=\"";
  AppendNumber(out, plot.Bottom() + 38);
  out += "\" text-anchor=\"middle\">";
  AppendEscaped(out, title);
  out += "</text>\n</g>\n";
}

void AppendAxisY(std::string& out, const PlotArea& plot, const AxisTicks& ticks,
                 std::string_view title) {
  out += "<g class=\"axis axis-y\">\n";
  for (double value : ticks.values) {
    double y = plot.Bottom() - Scale(value, ticks) * plot.height;
    out += "<line class=\"grid\" x1=\"";
    AppendNumber(out, plot.left - 4);
    out += "\" x2=\"";
    AppendNumber(out, plot.Right());
    out += "\" y1=\"";
    AppendNumber(out, y);
    out += "\" y2=\"";
    AppendNumber(out, y);
    out += "\"/><text x=\"";
    AppendNumber(out, plot.left - 8);
    out += "\" y=\"";
    AppendNumber(out, y + 4);
    out += "\" text-anchor=\"end\">";
    out += FormatTickCount(value);
    out += "</text>\n";
  }
  double middle = plot.top + plot.height / 2;
  out += "<text class=\"axis-title\" transform=\"translate(14 ";
  AppendNumber(out, middle);
  out += ") rotate(-90)\" text-anchor=\"middle\">";
  AppendEscaped(out, title);
  out += "</text>\n</g>\n";
}

std::string ProcessLabel(std::u16string_view name, uint32_t pid,
                         double maxWidth) {
  std::string suffix = " (" + std::to_string(pid) + ")";
  size_t keep = name.size();
  if (maxWidth > 0) {
    // Rough advances at 12 units: most Latin letters take about 7, wide
    // characters a full 12, as does the ellipsis.
    auto advance = [](char32_t c) -> size_t {
      return IsWideCharacter(c) ? 12 : 7;
    };
    double room = maxWidth - 7.0 * static_cast<double>(suffix.size());
    keep =
        CutLength(name, room > 0 ? static_cast<size_t>(room) : 0, 12, advance);
  }
  std::string label;
  AppendEscaped(label, name.substr(0, keep));
  if (keep < name.size())
    label += "\xE2\x80\xA6";  // U+2026, the ellipsis
  label += suffix;
  return label;
}

void AppendLineSwatch(std::string& out, const char* colour, const char* dash,
                      double strokeWidth) {
  out +=
      "<svg class=\"swatch\" width=\"28\" height=\"12\" aria-hidden=\"true\">"
      "<line x1=\"1\" y1=\"6\" x2=\"27\" y2=\"6\" stroke=\"";
  out += colour;
  out += "\" stroke-width=\"";
  AppendNumber(out, strokeWidth);
  out += '"';
  if (*dash) {
    out += " stroke-dasharray=\"";
    out += dash;
    out += '"';
  }
  out += "/></svg>";
}

void AppendFillSwatch(std::string& out, const char* colour) {
  out +=
      "<svg class=\"swatch\" width=\"14\" height=\"14\" aria-hidden=\"true\">"
      "<rect x=\"1\" y=\"1\" width=\"12\" height=\"12\" fill=\"";
  out += colour;
  out += "\"/></svg>";
}
