// What each output format is, apart from how it renders a sample: one row
// a format, read by the parser, the run, the sampling loop and the output.
#pragma once

#include "sample/report_options.h"

// What the census asks of the system for each sample, beyond GDI counts.
struct SampleNeeds {
  bool allCounts = false;      // USER objects and both peaks of each process
  bool sessionCounts = false;  // the session's totals
  bool processQuota = false;   // the per-process GDI quota, read once a run
  // A watch's changes since the sample before, found only for the formats
  // that show them: under -v the diff walks every handle.
  bool changes = false;
  // A watch's chart series of each process (GrowthTracker::KeepCharts),
  // kept only for the formats that draw them.
  bool charts = false;
};

struct FormatPolicy {
  OutputFormat format;
  const char16_t* word;  // -o's value
  // The banner comes first: the text views alone have one; a document is
  // all that the other formats print.
  bool banner;
  // Line ends leave as written, LF on every platform, for readers that take
  // LF alone.
  bool keepsLineEnds;
  // Each sample is a whole document of its own, which takes the place of the
  // one before where the output keeps one (-O FILE); otherwise the run's
  // output is one document, whole when the run ends.
  bool documentPerSample;
  // The output holds the document until it is rendered whole, and only then
  // sends it: so for the HTML page, whose rendering allocates as it goes.
  // The other documents leave in pieces as they are rendered, from room
  // reserved before their first (Output::ReservePieces); a watch's sample
  // is held whatever the format.
  bool heldWhole;
  bool handlesAllowed;  // -v: one series per handle would flood a store
  // A single run's sample whose handles could not all be kept is shown
  // before the run ends on it: so for the text view, which lists what it
  // holds. A document is written whole or not at all, and a watch's changes
  // would show the lost handles as gone.
  bool showsIncompleteSingleRun;
  SampleNeeds single;  // what the census asks for a single run's sample
  SampleNeeds watch;   // and for a watch's
};

// The row of `format`.
const FormatPolicy& PolicyOf(OutputFormat format);

// Every row, in the table's order: for a loop over the formats.
struct FormatPolicies {
  const FormatPolicy* begin() const;
  const FormatPolicy* end() const;
};
inline FormatPolicies AllPolicies() { return {}; }

// The row whose word is `word`, or null.
const FormatPolicy* PolicyNamed(const char16_t* word, size_t length);
