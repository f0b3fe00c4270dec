// The text view a run asks for: the summary, or the detail blocks under -c
// or -v.
#pragma once

#include <vector>

class Output;
struct ProcessRecord;
struct RunOptions;

void PrintView(const std::vector<const ProcessRecord*>& processes,
               const RunOptions& options, Output& out);
