// One run of kestrel, from the banner to the exit code.
#pragma once

#include <functional>
#include <string>
#include <vector>

class Output;

// Runs the stages in order: locale, banner, arguments, then the samples the
// options ask for, each a census, the shared table located and scanned, and
// the report of the chosen format. `arguments` excludes the program name.
// Out of memory reaches the caller as std::bad_alloc.
int RunKestrel(const std::vector<std::u16string>& arguments, Output& out);

// The entry's common part: reads the arguments, starts the platform, runs,
// and is the one place where running out of memory and a failed write to
// standard output or -O's file become their messages and exit codes. A
// failed write is exit code 5, unless the run already failed with 2, 3 or 4.
// -O's file takes what the run wrote when it ends, unless memory ran out.
int KestrelMain(
    const std::function<std::vector<std::u16string>()>& readArguments);
