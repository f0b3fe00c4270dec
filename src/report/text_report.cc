#include "report/text_report.h"

#include "report/changes.h"
#include "report/format.h"
#include "report/growth.h"
#include "report/output.h"
#include "report/view.h"

void TextReport::Sample(const Snapshot& snapshot) {
  if (!watch_) {
    PrintView(*snapshot.listed, options_, out_);
    return;
  }
  text_.clear();
  if (!afterEmptyLine_)
    text_.push_back(u'\n');
  AppendText(text_, u"Sample ");
  AppendNumber(text_, static_cast<int64_t>(snapshot.number));
  AppendText(text_, u" at +");
  AppendNumber(text_, static_cast<int64_t>(snapshot.milliseconds / 1000));
  AppendText(text_, u" s\n");
  out_.Write(text_);
  if (!snapshot.changes) {
    PrintView(*snapshot.listed, options_, out_);
    // Each detail block ends with an empty line.
    afterEmptyLine_ = (options_.showCounts || options_.showHandles) &&
                      !snapshot.listed->empty();
    return;
  }
  PrintChanges(*snapshot.changes);
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
  if (!watch_ || end.samples == 0)
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
    AppendGrowthLine(*process, end.processQuota, text_);
    out_.Write(text_);
  }
}
