// One run of kestrel, from the banner to the exit code.
#pragma once

#include <functional>
#include <string>
#include <vector>

class Output;

// The exit codes of kestrel.
enum ExitCode {
  kExitSuccess = 0,          // a complete run, or help
  kExitUsage = 1,            // a usage error
  kExitSystemState = 2,      // the system state could not be read
  kExitOutOfMemory = 3,      // memory ran out
  kExitSessionUnusable = 4,  // (host builds) the session description
  kExitOutputFailed = 5,     // standard output could not be written
  kExitOverThreshold = 6     // -t: at least one process reached the count
};

// Runs the stages in order: locale, banner, arguments, census, location and
// scan of the shared table, report. `arguments` excludes the program name.
// Out of memory reaches the caller as std::bad_alloc.
int RunKestrel(const std::vector<std::u16string>& arguments, Output& out);

// The entry's common part: reads the arguments, starts the platform, runs,
// and is the one place where running out of memory and a failed write to
// standard output become their messages and exit codes. A failed write
// turns a complete run, help or a usage error into exit code 5; a run that
// failed otherwise keeps its code.
int KestrelMain(
    const std::function<std::vector<std::u16string>()>& readArguments);
