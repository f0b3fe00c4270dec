// The exit codes of kestrel.
#pragma once

enum ExitCode {
  kExitSuccess = 0,          // a complete run, or help
  kExitUsage = 1,            // a usage error
  kExitSystemState = 2,      // the system state could not be read
  kExitOutOfMemory = 3,      // memory ran out
  kExitSessionUnusable = 4,  // (host builds) the session description
  kExitOutputFailed = 5,     // standard output could not be written
  kExitOverThreshold = 6,    // -t: at least one process reached the count
  kExitGrowthGate = 7,       // -g: a process grew by the count in a watch
  kExitNothingMatched = 8,   // -g or -t: the target matched no process
  kExitGateInterrupted = 9,  // -g: the watch ended before its last sample
  kExitCannotFollow = 10,    // -x: the program could not be started or
                             // attached to
  kExitFollowEnded = 11      // -x: the program exited before it was followed
};
