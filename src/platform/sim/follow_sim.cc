// The host build's follow: a program's creations and deletions come from
// the session description (program, stack, create, delete, ends and child
// lines), applied as the watch's waits apply the sample blocks.
#include <algorithm>
#include <map>

#include "platform/follow.h"
#include "platform/program_io.h"
#include "platform/sim/sim_control.h"

namespace platform {

class FollowedProgram {
 public:
  uint32_t pid = 0;
  std::u16string name;
  // The session's program, or null for a process without a program line.
  bool hasProgram = false;
  uint32_t unseen = 0;
  uint64_t startClock = 0;
  size_t appliedBlocks = 0;  // the blocks whose changes are applied
  bool stopped = false;
  FollowState state;  // its stacks by id in `stackIndex`
  std::map<uint32_t, size_t> stackIndex;

  void Apply(const FollowChange& change);
  void Sync();
};

void FollowedProgramDeleter::operator()(FollowedProgram* program) const {
  delete program;
}

namespace {

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? a[i] + 32 : a[i];
    char16_t y = b[i] >= u'A' && b[i] <= u'Z' ? b[i] + 32 : b[i];
    if (x != y)
      return false;
  }
  return true;
}

// The program a launch names: its file name, with or without ".exe", or a
// path that ends in it.
const SimulatedProgram* ProgramNamed(const Session& session,
                                     std::u16string wanted) {
  size_t slash = wanted.find_last_of(u"/\\");
  if (slash != std::u16string::npos)
    wanted.erase(0, slash + 1);
  for (const SimulatedProgram& program : session.programs) {
    if (SameName(program.name, wanted) ||
        SameName(program.name, wanted + u".exe"))
      return &program;
  }
  return nullptr;
}

const SimulatedProcess* ProcessOf(const Session& session, uint32_t pid) {
  for (const SimulatedProcess& process : session.processes) {
    if (process.pid == pid)
      return &process;
  }
  return nullptr;
}

}  // namespace

void FollowedProgram::Apply(const FollowChange& change) {
  if (change.pid != pid || state.exited)
    return;
  uint64_t now = MonotonicMilliseconds() - startClock;
  switch (change.kind) {
    case FollowChange::Kind::Create:
    case FollowChange::Kind::Delete: {
      bool create = change.kind == FollowChange::Kind::Create;
      uint32_t* live = state.withoutStackByType;
      if (change.stack != 0) {
        auto found = stackIndex.find(change.stack);
        if (found == stackIndex.end()) {
          found = stackIndex.emplace(change.stack, state.stacks.size()).first;
          FollowedStack& stack = state.stacks.emplace_back();
          stack.id = change.stack;
          stack.frames = InstalledSession().stacks.at(change.stack);
          stack.firstCreationMs = now;
        }
        FollowedStack& stack = state.stacks[found->second];
        live = stack.liveByType;
        if (create && change.count != 0) {
          if (stack.created == 0)
            stack.firstCreationMs = now;
          stack.created += change.count;
          stack.lastCreationMs = now;
        }
      }
      uint32_t& count = live[change.type & (kFollowTypeCodes - 1)];
      count =
          create ? count + change.count : count - std::min(count, change.count);
      break;
    }
    case FollowChange::Kind::Exit:
      state.exited = true;
      state.exitCode = change.count;
      break;
    case FollowChange::Kind::Child:
      state.children.emplace_back(change.count, change.childName);
      break;
  }
}

void FollowedProgram::Sync() {
  Session& session = InstalledSession();
  size_t applied = AppliedBlocks();
  for (; appliedBlocks < applied && appliedBlocks < session.blocks.size();
       ++appliedBlocks) {
    for (const FollowChange& change : session.blocks[appliedBlocks].follow)
      Apply(change);
  }
  if (!hasProgram)
    return;
  // The system's count: what it held unseen, and what it holds now.
  uint64_t held = unseen;
  for (const FollowedStack& stack : state.stacks) {
    for (uint32_t n : stack.liveByType)
      held += n;
  }
  for (uint32_t n : state.withoutStackByType)
    held += n;
  SessionChange change;
  change.process.pid = pid;
  if (state.exited) {
    change.kind = SessionChange::Kind::Exit;
  } else {
    change.kind = SessionChange::Kind::Process;
    change.process.canOpen = true;
    change.process.name = name;
    change.process.gdiObjects =
        static_cast<uint32_t>(std::min<uint64_t>(held, 0xFFFFFFFF));
  }
  ApplyChange(change, &session);
  ProcessesChanged();
}

FollowedProgramPtr StartFollowing(const FollowRequest& request,
                                  FollowFailure* failure) {
  *failure = FollowFailure::None;
  const Session& session = InstalledSession();
  const SimulatedProgram* program = nullptr;
  if (request.attach) {
    for (const SimulatedProgram& candidate : session.programs) {
      if (candidate.pid == request.pid)
        program = &candidate;
    }
    const SimulatedProcess* process = ProcessOf(session, request.pid);
    if (!program && !process) {
      *failure = FollowFailure::NoSuchProcess;
      return nullptr;
    }
    if (process && !process->canOpen) {
      *failure = FollowFailure::AccessDenied;
      return nullptr;
    }
  } else {
    program = ProgramNamed(session, request.program);
    if (!program) {
      *failure = FollowFailure::ProgramNotFound;
      return nullptr;
    }
  }
  if (program && program->refusal != FollowFailure::None) {
    *failure = program->refusal;
    return nullptr;
  }
  FollowedProgramPtr followed(new FollowedProgram);
  followed->startClock = MonotonicMilliseconds();
  followed->appliedBlocks = AppliedBlocks();
  if (program) {
    followed->hasProgram = true;
    followed->pid = program->pid;
    followed->name = program->name;
    followed->unseen = program->unseen;
    for (const FollowChange& change : session.follow)
      followed->Apply(change);
  } else {
    followed->pid = request.pid;
    followed->name = ProcessOf(session, request.pid)->name;
  }
  followed->state.pid = followed->pid;
  followed->state.name = followed->name;
  followed->Sync();
  return followed;
}

bool ReadFollowState(FollowedProgram& program, FollowState* state) {
  if (program.stopped)
    return false;
  program.Sync();
  *state = program.state;
  return true;
}

void StopFollowing(FollowedProgram& program) { program.stopped = true; }

}  // namespace platform
