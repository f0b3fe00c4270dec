#include "text/text_report.h"

#include "output/output.h"
#include "presentation/change_lines.h"
#include "presentation/format.h"
#include "presentation/growth_report.h"
#include "presentation/wall_time.h"
#include "text/trace_report.h"
#include "text/text_view.h"
#include "watch/changes.h"
#include "watch/growth.h"

void TextReport::Sample(const ListedSample& sample) {
  if (!sample.IsWatch()) {
    PrintView(*sample.listed, options_, out_);
    return;
  }
  processQuota_ = sample.system->processQuota;
  text_.clear();
  if (!afterEmptyLine_)
    text_.push_back(u'\n');
  AppendText(text_, u"Sample ");
  AppendNumber(text_, static_cast<int64_t>(sample.number));
  AppendText(text_, u" at +");
  AppendNumber(text_, static_cast<int64_t>(sample.milliseconds / 1000));
  // The local clock's time, for the user at the console.
  AppendText(text_, u" s (");
  AppendAscii(text_, FormatClockTime(sample.system->unixMilliseconds,
                                     sample.system->localOffsetMinutes));
  AppendText(text_, u")\n");
  out_.Write(text_);
  if (!sample.changes) {
    PrintView(*sample.listed, options_, out_);
    // Each detail block ends with an empty line.
    afterEmptyLine_ = (options_.showCounts || options_.showHandles) &&
                      !sample.listed->empty();
    return;
  }
  PrintChanges(*sample.changes);
  afterEmptyLine_ = false;
}

void TextReport::PrintChanges(const SampleChanges& changes) {
  char line[kHandleChangeLineBytes];
  for (const ProcessChange& change : changes.processes) {
    text_.clear();
    AppendProcessChange(text_, change, options_.showCounts);
    out_.Write(text_);
    for (size_t i = 0; i < change.handleCount; ++i) {
      char* end =
          FormatHandleChange(line, changes.handles[change.firstHandle + i]);
      out_.WriteAscii(line, static_cast<size_t>(end - line));
    }
  }
}

void TextReport::End(const RunEnd& end) {
  if (!end.IsWatch() || end.samples == 0)
    return;
  text_.clear();
  if (!afterEmptyLine_)
    text_.push_back(u'\n');
  // The heading first, then a line at a time, so that a report of many
  // processes is never held whole.
  const std::vector<const ProcessGrowth*>& grown = end.growth->Grown();
  AppendGrowthHeading(grown.empty(), end.samples, end.lastMilliseconds,
                      end.growth->Table(), text_);
  out_.Write(text_);
  for (const ProcessGrowth* process : grown) {
    text_.clear();
    AppendGrowthLine(*process, processQuota_, text_);
    out_.Write(text_);
  }
  if (end.stacks) {
    text_.clear();
    text_.push_back(u'\n');
    AppendTraceReport(*end.stacks, options_.showHandles, text_);
    out_.Write(text_);
  }
}
