// -x under -o html: the followed program's section of the watch's page, the
// stacks it left as a table and each still-growing stack's count over time.
#pragma once

#include <string>

class StackTracker;

// The stacks the HTML table lists at most, and the chart draws at most.
constexpr size_t kMaxTraceRows = 100;
constexpr size_t kMaxTraceChartStacks = 10;

// Appends "<h2>Call stacks of NAME</h2>", how the program ended, a line
// chart of the live objects of each stack still growing, and a table of
// the stacks in the growth order: objects by category, verdict, creations
// and when, and the first frames; then what has no stack, was not seen
// created, and the children not followed.
void AppendTraceSection(std::string& out, const StackTracker& stacks);
