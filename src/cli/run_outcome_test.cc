#include "cli/run_outcome.h"

#include <gtest/gtest.h>

#include "cli/exit_codes.h"

namespace {

// A watch's gates as they ended.
RunOutcome Gated(bool grewPastGate, bool gateInterrupted, bool nothingMatched,
                 bool outputFailed) {
  RunOutcome outcome;
  outcome.grewPastGate = grewPastGate;
  outcome.gateInterrupted = gateInterrupted;
  outcome.nothingMatched = nothingMatched;
  outcome.outputFailed = outputFailed;
  return outcome;
}

// A failed write is exit 5 unless the run already says more by its own
// code: the system state (2), memory (3) or the session (4).
TEST(RunOutcomeTest, ExitCodeOf) {
  const struct {
    const char* what;
    RunOutcome outcome;
    int code;
  } cases[] = {
      {"complete", {}, kExitSuccess},
      {"help", {ParseOutcome::Help}, kExitSuccess},
      {"usage", {ParseOutcome::UsageError}, kExitUsage},
      {"usage, write failed",
       {ParseOutcome::UsageError, false, Failure::None, false, false, true},
       kExitOutputFailed},
      {"session", {ParseOutcome::Run, true}, kExitSessionUnusable},
      {"system state, write failed",
       {ParseOutcome::Run, false, Failure::SystemState, false, false, true},
       kExitSystemState},
      {"out of memory, write failed",
       {ParseOutcome::Run, false, Failure::OutOfMemory, false, false, true},
       kExitOutOfMemory},
      {"handles lost, write failed",
       {ParseOutcome::Run, false, Failure::HandlesLost, false, false, true},
       kExitOutOfMemory},
      {"gate and threshold, write failed",
       {ParseOutcome::Run, false, Failure::None, true, true, true},
       kExitOutputFailed},
      {"gate before threshold",
       {ParseOutcome::Run, false, Failure::None, true, true},
       kExitGrowthGate},
      {"threshold",
       {ParseOutcome::Run, false, Failure::None, false, true},
       kExitOverThreshold},
      {"cannot follow, write failed",
       {ParseOutcome::Run, false, Failure::None, false, false, true, true},
       kExitOutputFailed},
      {"cannot follow",
       {ParseOutcome::Run, false, Failure::None, false, false, false, true},
       kExitCannotFollow},
      {"ended before following",
       {ParseOutcome::Run, false, Failure::None, false, false, false, false,
        true},
       kExitFollowEnded},
      {"gate fired before the interrupt", Gated(true, true, false, false),
       kExitGrowthGate},
      {"gate interrupted, nothing matched", Gated(false, true, true, false),
       kExitGateInterrupted},
      {"nothing matched", Gated(false, false, true, false),
       kExitNothingMatched},
      {"gate interrupted, write failed", Gated(false, true, false, true),
       kExitOutputFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.code, ExitCodeOf(c.outcome));
  }
}

}  // namespace
