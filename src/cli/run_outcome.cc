#include "cli/run_outcome.h"

#include "cli/exit_codes.h"

int ExitCodeOf(const RunOutcome& outcome) {
  switch (outcome.parse) {
    case ParseOutcome::Help:
      return outcome.outputFailed ? kExitOutputFailed : kExitSuccess;
    case ParseOutcome::UsageError:
      return outcome.outputFailed ? kExitOutputFailed : kExitUsage;
    case ParseOutcome::Run:
      break;
  }
  if (outcome.sessionUnusable)
    return kExitSessionUnusable;
  if (outcome.failure == Failure::SystemState)
    return kExitSystemState;
  if (outcome.failure == Failure::HandlesLost ||
      outcome.failure == Failure::OutOfMemory)
    return kExitOutOfMemory;
  if (outcome.outputFailed)
    return kExitOutputFailed;
  if (outcome.cannotFollow)
    return kExitCannotFollow;
  if (outcome.followEnded)
    return kExitFollowEnded;
  if (outcome.grewPastGate)
    return kExitGrowthGate;
  if (outcome.gateInterrupted)
    return kExitGateInterrupted;
  if (outcome.nothingMatched)
    return kExitNothingMatched;
  return outcome.overThreshold ? kExitOverThreshold : kExitSuccess;
}
