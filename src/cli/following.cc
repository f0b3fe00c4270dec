#include "cli/following.h"

#include "presentation/format.h"
#include "text/trace_report.h"
#include "watch/stack_growth.h"

namespace {

// A name in a line on standard error, which takes the report's own ASCII
// words: each unit outside printable ASCII as "?", so that no control
// character reaches the terminal.
std::string Printable(const std::u16string& text) {
  std::string ascii;
  for (char16_t unit : text)
    ascii.push_back(unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit)
                                                : '?');
  return ascii;
}

// "the program painter.exe" or "PID 4242", as the request names it.
std::string Named(const platform::FollowRequest& request) {
  if (request.attach)
    return "PID " + std::to_string(request.pid);
  return "the program " + Printable(request.program);
}

}  // namespace

std::string FollowRefusalMessage(const platform::FollowRequest& request,
                                 platform::FollowFailure failure) {
  using platform::FollowFailure;
  const std::string what = Named(request);
  switch (failure) {
    case FollowFailure::None:
      break;
    case FollowFailure::ProgramNotFound:
      return "kestrel: -x: cannot find " + what;
    case FollowFailure::CannotStart:
      return "kestrel: -x: cannot start " + what;
    case FollowFailure::NoSuchProcess:
      return "kestrel: -x: no running process has " + what;
    case FollowFailure::AccessDenied:
      return "kestrel: -x: " + what +
             " is another user's process or runs elevated: it cannot be "
             "followed";
    case FollowFailure::Protected:
      return "kestrel: -x: " + what +
             " is a protected process: it cannot be followed";
    case FollowFailure::Not64Bit:
      return "kestrel: -x: " + what +
             " is a 32-bit program: 64-bit programs are followed";
    case FollowFailure::ExitedEarly:
      return "kestrel: -x: " + what + " exited before following began";
    case FollowFailure::AgentMissing:
      return "kestrel: -x: the agent that follows programs is not beside "
             "kestrel's own program";
    case FollowFailure::AgentFailed:
      return "kestrel: -x: the agent could not be set up in " + what;
  }
  return "kestrel: -x: cannot follow " + what;
}

bool EndedBeforeFollowing(platform::FollowFailure failure) {
  return failure == platform::FollowFailure::ExitedEarly;
}

std::string ChildNotFollowedMessage(const std::u16string& program, uint32_t pid,
                                    const std::u16string& name) {
  return "kestrel: -x: " + Printable(program) + " started " + Printable(name) +
         " (PID " + std::to_string(pid) + "), which is not followed";
}

bool StackGateReached(const StackTracker& stacks, uint32_t gate, uint32_t quota,
                      std::string* message) {
  if (gate == 0)
    return false;
  for (const StackGrowth* stack : stacks.Left()) {
    if (stack->trend.word == TrendWord::StillGrowing &&
        stack->liveTotal >= gate) {
      *message = "kestrel: -g: still growing, " +
                 FormatCount(stack->liveTotal) + " objects left by " +
                 Printable(InnermostFrameText(*stack));
      return true;
    }
  }
  if (quota != 0 && stacks.SystemCount() >= int64_t{quota}) {
    *message = "kestrel: -g: " + Printable(stacks.Program().name) +
               " reached its quota of " + FormatCount(quota) + " objects";
    return true;
  }
  return false;
}
