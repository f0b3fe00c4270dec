#include "html/trace_section.h"

#include "html/escape.h"
#include "html/line_chart.h"
#include "html/table.h"
#include "presentation/format.h"
#include "presentation/growth_report.h"
#include "text/trace_report.h"
#include "watch/stack_growth.h"

namespace {

// A stack's live count over the watch, a point for each stretch of its
// summary: at most its bucket count, a hundred or so.
LineSeries SeriesOfStack(const StackTracker& stacks, const StackGrowth& stack,
                         size_t rank) {
  LineSeries line;
  line.pid = static_cast<uint32_t>(rank);
  // Labelled by its innermost frame; its rank takes the PID's place.
  line.name = InnermostFrameText(stack);
  const TrendSummary& summary = stacks.SeriesOf(stack);
  for (size_t i = 0; i < summary.BucketCount(); ++i) {
    const TrendBucket& bucket = summary.Bucket(i);
    double start = static_cast<double>(bucket.firstMilliseconds) / 1000;
    line.points.push_back({start, static_cast<double>(bucket.first)});
    if (summary.BucketSamples(i) > 1)
      line.points.push_back(
          {start + static_cast<double>(bucket.spanMilliseconds) / 1000,
           static_cast<double>(bucket.last)});
  }
  line.everySample = summary.Samples() <= TrendSummary::kTrendBuckets;
  return line;
}

void AppendNote(std::string& out, const std::u16string& text) {
  out += "<p class=\"note\">";
  AppendEscaped(out, text);
  out += "</p>\n";
}

}  // namespace

void AppendTraceSection(std::string& out, const StackTracker& stacks) {
  const platform::FollowState& program = stacks.Program();
  out += "<h2>Call stacks of ";
  AppendEscaped(out, program.name);
  out += "</h2>\n";
  AppendNote(out, Utf16("PID " + std::to_string(program.pid) + ", " +
                        ProgramEndText(program) +
                        ". The objects it left, by the call stack that "
                        "created them, innermost frame first."));

  const std::vector<const StackGrowth*>& left = stacks.Left();
  LineChart chart;
  chart.id = "stacks";
  chart.title = "Live objects of the stacks still growing";
  chart.valueName = "objects";
  for (size_t rank = 0; rank < left.size(); ++rank) {
    if (left[rank]->trend.word != TrendWord::StillGrowing ||
        chart.series.size() == kMaxTraceChartStacks)
      break;
    chart.series.push_back(SeriesOfStack(stacks, *left[rank], rank + 1));
  }
  if (!chart.series.empty())
    AppendLineChart(out, chart);

  if (left.empty()) {
    AppendNote(out, u"No objects left on a stack.");
  } else {
    TextTable table;
    table.headers = {u"Stack", u"Objects", u"Categories", u"Trend",
                     u"Made",  u"First",   u"Last",       u"Frames"};
    table.numeric = {true, true};
    for (size_t rank = 0; rank < left.size() && rank < kMaxTraceRows; ++rank) {
      const StackGrowth& stack = *left[rank];
      std::u16string frames;
      for (size_t i = 0; i < stack.frames.size() && i < kDefaultShownFrames;
           ++i) {
        if (!frames.empty())
          frames += u" | ";
        frames += FrameText(stack.frames[i]);
      }
      table.rows.push_back(
          {Utf16(std::to_string(rank + 1)), Utf16(FormatCount(stack.liveTotal)),
           Utf16(CategoryCountsText(stack.live)), Utf16(TrendText(stack.trend)),
           Utf16(FormatCount(static_cast<int64_t>(stack.created))),
           Utf16(SinceStart(stack.firstCreationMilliseconds)),
           Utf16(SinceStart(stack.lastCreationMilliseconds)), frames});
    }
    AppendTable(out, table, "stack");
    if (left.size() > kMaxTraceRows)
      AppendNote(out,
                 Utf16("And " + std::to_string(left.size() - kMaxTraceRows) +
                       " more stacks that left fewer objects."));
  }
  if (stacks.WithoutStack().Total() != 0)
    AppendNote(out, Utf16("Without a stack (the room for stacks was full): " +
                          CategoryCountsText(stacks.WithoutStack().count)));
  if (stacks.BeyondKept().Total() != 0)
    AppendNote(out, Utf16("On " + std::to_string(stacks.StacksBeyondKept()) +
                          " stacks beyond those kestrel keeps: " +
                          CategoryCountsText(stacks.BeyondKept().count)));
  if (stacks.Unseen() > 0)
    AppendNote(out, Utf16("Not seen created (made before following began, or "
                          "by a call not followed): " +
                          FormatCount(stacks.Unseen()) + " objects"));
  for (const auto& child : program.children)
    AppendNote(out, u"Not followed: " + child.second + u" (PID " +
                        Utf16(std::to_string(child.first)) +
                        u"), started by the program");
}
