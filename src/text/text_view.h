// The text view a run asks for: the summary, or the detail blocks under -c
// or -v.
#pragma once

#include <vector>

class Output;
struct ProcessRecord;
struct ReportOptions;

void PrintView(const std::vector<const ProcessRecord*>& processes,
               const ReportOptions& options, Output& out);
