// The default view: one row per process under a header printed once.
#pragma once

class Output;
struct ProcessRecord;

// Prints the header if it is still due (and sets `headerPrinted`), then the
// record's row.
void PrintSummary(const ProcessRecord& record, bool& headerPrinted,
                  Output& out);
