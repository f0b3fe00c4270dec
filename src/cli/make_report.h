// The report of the format a run asks for.
#pragma once

#include <memory>

#include "output/report.h"

namespace platform {
class LiveTerminal;
}

// The report of `options.format`, writing to `out`, which takes the
// format's line ends; `watch` is null for a single run. With `follow` (-x)
// JSON and CSV write the followed program's document alone, at the end.
// -o live draws on `liveTerminal`, open. `options`, `out` and
// `liveTerminal` outlive the report.
std::unique_ptr<Report> MakeReport(
    const ReportOptions& options, const WatchPlan* watch, Output& out,
    bool follow = false, platform::LiveTerminal* liveTerminal = nullptr);
