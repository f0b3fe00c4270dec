// How a run went, and the one place its exit code is decided.
#pragma once

#include "cli/command_line.h"
#include "watch/sample_model.h"

struct RunOutcome {
  ParseOutcome parse = ParseOutcome::Run;  // Help, or a usage error
  // (host builds) The session description could not be used.
  bool sessionUnusable = false;
  // Why the samples stopped early: the system state could not be read, or
  // memory ran out (also outside the samples).
  Failure failure = Failure::None;
  bool grewPastGate = false;   // -g's count was reached in a watch
  bool overThreshold = false;  // -t listed a process in some sample
  // Standard output or -O's file could not be written.
  bool outputFailed = false;
  // -x: the program could not be started or attached to; it ended before
  // following began.
  bool cannotFollow = false;
  bool followEnded = false;
  // -g's watch was interrupted before its last sample, its gate not fired.
  bool gateInterrupted = false;
  // -g or -t: the target matched no process in any sample.
  bool nothingMatched = false;
};

// The exit code of `outcome`: help 0; a usage error 1; the session 4; the
// system state 2 and out of memory 3, which a failed write does not hide;
// a failed write 5; -x's 10 and 11, which stop the run before its first
// sample; then -g's 7, an interrupted -g watch's 9, a target that matched
// nothing 8, and -t's 6; otherwise 0.
int ExitCodeOf(const RunOutcome& outcome);
