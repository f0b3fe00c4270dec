// The HTML document (-o html) of one run without a watch: the listed
// processes as a snapshot report, written in UTF-8 whatever the code page.
#pragma once

#include <vector>

#include "html/snapshot_page.h"

class Output;
struct ProcessRecord;
struct ReportOptions;
struct SystemTotals;

// The listed processes in their order, each with its counts and categories;
// under -v its handles, narrowed by -f.
SnapshotReport MakeSnapshotReport(
    const std::vector<const ProcessRecord*>& processes,
    const ReportOptions& options);

// Writes the snapshot report of the sample `system` tells of (when and
// where) as one HTML5 document, rendered into the output's buffer: held
// there (the format's policy), it leaves whole, so running out of memory
// leaves no part of it on the output.
void WriteHtmlDocument(const SystemTotals& system,
                       const std::vector<const ProcessRecord*>& processes,
                       const ReportOptions& options, Output& out);
