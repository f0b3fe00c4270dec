// When, where and of what a report page was made: the facts that let a page
// sent to a colleague stand on its own.
#pragma once

#include <cstdint>
#include <string>

struct ReportOptions;

// Held as the page shows it, so that writing it needs no memory of its own
// (a watch's page is written into room kept for it).
struct PageOrigin {
  // What the time is: "Taken" for a single run, "Started" for a watch.
  const char* timeName = "Taken";
  std::string time;  // of the (first) sample: OriginTime's
  std::u16string host;
  std::u16string filter;  // FilterText's
};

// The time of a sample as the page gives it: UTC in ISO 8601, to the
// second.
std::string OriginTime(uint64_t unixMilliseconds);

// What the command line narrowed the page to, in words: the target, -t's
// count and -f's type, or "every process".
std::u16string FilterText(const ReportOptions& options);

// Appends the facts inside a `dl class="facts"`: the time, the host, the
// filter and kestrel's version.
void AppendOriginFacts(std::string& out, const PageOrigin& origin);
