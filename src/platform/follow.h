// Following one program (-x): the GDI objects it created and has not yet
// deleted, grouped by the call stack that created each. On Windows an agent
// loaded into the program records every creation and deletion in memory it
// shares with kestrel, and kestrel reads that memory at each sample without
// stopping the program; the host build reads the same from the session
// description. The same two backends as platform.h implement it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Why following could not start.
enum class FollowFailure {
  None,
  ProgramNotFound,  // launch: no such file, nor a program CreateProcessW finds
  CannotStart,      // launch: CreateProcessW failed for another reason
  NoSuchProcess,    // attach: no running process has the PID
  AccessDenied,     // attach: another user's process, or a higher one's
  Protected,        // attach: a protected process
  Not64Bit,         // a 32-bit program: only 64-bit programs are followed
  ExitedEarly,      // the program exited before the agent was in place
  AgentMissing,     // the agent is not beside kestrel's own program
  AgentFailed,      // the agent could not be loaded or set up
};

struct FollowRequest {
  bool attach = false;                    // -x PID
  uint32_t pid = 0;                       // attach: the running process
  std::u16string program;                 // launch: as given after -x
  std::vector<std::u16string> arguments;  // launch: the program's own
};

// One frame of a creation's call stack, resolved by kestrel from the return
// address: the module and offset always, the rest where symbols have it.
struct StackFrame {
  std::u16string module;  // the module's file name; empty when none holds it
  uint64_t moduleOffset = 0;
  std::u16string function;  // empty without symbols
  uint64_t functionOffset = 0;
  std::u16string file;  // empty without line information
  uint32_t line = 0;
};

// The full type codes that counts are kept by: a handle's upper word's low
// seven bits, as the views name them (0x10 a brush, 0x30 a pen, 0x50 an
// extended pen), since the base type alone (the low five bits) does not
// tell a pen from a brush.
constexpr int kFollowTypeCodes = 128;

// What one call stack created and the program has not deleted, as the latest
// read saw it.
struct FollowedStack {
  uint32_t id = 0;  // the same stack keeps its id for the whole follow
  // Innermost first, starting at the program's own call: kestrel's and the
  // system's GDI frames above it are already removed.
  std::vector<StackFrame> frames;
  uint32_t liveByType[kFollowTypeCodes] = {};  // live objects per full type
  uint64_t created = 0;                        // creations, deleted or not
  // Milliseconds since following began.
  uint64_t firstCreationMs = 0;
  uint64_t lastCreationMs = 0;
};

struct FollowState {
  std::vector<FollowedStack> stacks;
  // Live objects whose stack found no room (the agent's room is bounded):
  // counted exactly, without a stack.
  uint32_t withoutStackByType[kFollowTypeCodes] = {};
  uint32_t pid = 0;
  std::u16string name;  // the program's file name
  bool exited = false;
  uint32_t exitCode = 0;  // once exited
  // Processes the program started, which are not followed: PID and name.
  std::vector<std::pair<uint32_t, std::u16string>> children;
};

class FollowedProgram;
struct FollowedProgramDeleter {
  void operator()(FollowedProgram* program) const;
};
using FollowedProgramPtr =
    std::unique_ptr<FollowedProgram, FollowedProgramDeleter>;

// Launches or attaches and puts the agent in place; a launched program runs
// from its first instruction only once the agent follows it. Null with
// `failure` set when it cannot.
FollowedProgramPtr StartFollowing(const FollowRequest& request,
                                  FollowFailure* failure);
// Reads what the program holds now. False when it can no longer be read.
bool ReadFollowState(FollowedProgram& program, FollowState* state);
// Stops following: the agent passes every call straight through from now
// on, and the program runs on. The deleter does the same.
void StopFollowing(FollowedProgram& program);

}  // namespace platform
