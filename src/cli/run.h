// One run of kestrel, from the banner to the exit code.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/run_outcome.h"

class Output;

// Runs the stages in order: locale, banner, arguments, then the samples the
// options ask for, each a census, the shared table located and scanned, and
// the report of the chosen format. `arguments` excludes the program name.
// Out of memory reaches the caller as std::bad_alloc.
RunOutcome RunStages(const std::vector<std::u16string>& arguments, Output& out);
// The exit code of RunStages' outcome.
int RunKestrel(const std::vector<std::u16string>& arguments, Output& out);

// The entry's common part: reads the arguments, starts the platform, runs,
// and is the one place where running out of memory and a failed write to
// standard output or -O's file become their messages; the exit code is
// ExitCodeOf the run's outcome. -O's file takes what the run wrote when it
// ends, unless memory ran out.
int KestrelMain(
    const std::function<std::vector<std::u16string>()>& readArguments);
