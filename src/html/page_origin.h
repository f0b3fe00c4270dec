// When, where and of what a report page was made: the facts that let a page
// sent to a colleague stand on its own.
#pragma once

#include <cstdint>
#include <string>

struct ReportOptions;

struct PageOrigin {
  // What the time is: "Taken" for a single run, "Started" for a watch.
  const char* timeName = "Taken";
  uint64_t unixMilliseconds = 0;  // of the (first) sample
  std::u16string host;
  std::u16string filter;  // FilterText's
};

// What the command line narrowed the page to, in words: the target, -t's
// count and -f's type, or "every process".
std::u16string FilterText(const ReportOptions& options);

// Appends the facts inside a `dl class="facts"`: the time in UTC (ISO 8601,
// to the second), the host, the filter and kestrel's version.
void AppendOriginFacts(std::string& out, const PageOrigin& origin);
