// The session description: the system state that the host build simulates.
//
// UTF-8 text, one record a line; blank lines and lines starting with "#" are
// ignored; fields are separated by spaces or tabs; numbers are unsigned,
// decimal or 0x hexadecimal.
//
//   self PID                                  the program's own PID
//   session ID                                the session the program runs
//                                             in (without it: 1)
//   process PID GDI open|limited|denied NAME  one process of the snapshot
//   counts PID GDIPEAK USER USERPEAK          the other counts of the process
//                                             listed above with PID (without
//                                             it: peak = GDI, the rest 0)
//   global GDI USER                           the session's counts (without
//                                             it, or 0: the system does not
//                                             answer)
//   quota N                                   the registry's per-process GDI
//                                             quota (without it, no value)
//   clock SECONDS [OFFSET]                    the wall clock at the first
//                                             sample, in Unix seconds
//                                             (without it: 1767225600,
//                                             2026-01-01 00:00 UTC), and
//                                             the local time's offset from
//                                             UTC in signed minutes, "+60"
//                                             or "-300" (without it: 0)
//   host NAME                                 the computer's name (without
//                                             it: SIMULATED-PC)
//   snapshot fail                             the snapshot cannot be taken
//   table REGION                              the table's region size
//   entry INDEX KERNEL OWNER UNIQUE TYPE FLAGS USER
//                                             one entry of the table
//   fail ntdll-lookup|open-self|query-status|peb-null|virtual-query|
//        region-unreadable                    one platform step fails
//
// A system that changes, for a watch: a line `sample` starts a block of
// changes that hold from the next sample on (the first block from sample 2).
// In a block:
//   entry ...                                 sets an entry
//   free INDEX                                clears entry INDEX
//   process ...                               adds the process, or replaces
//                                             the first one with that PID
//   exit PID                                  removes the processes with PID
//   counts ..., global ...                    update as above
//   snapshot fail, fail WHAT                  make that sample fail (but
//                                             ntdll-lookup, which a run
//                                             makes once)
//   interrupt                                 an interrupt arrives during
//                                             that sample (it is taken, then
//                                             the watch ends)
//   sleep SECONDS                             the machine sleeps that long
//                                             in the wait before the sample:
//                                             the clock jumps past its due
//                                             time
// Past the last block the state stays. self, session, quota, clock, host and
// table lines come before the first block; free, exit, interrupt and sleep belong in
// one.
//
// A program that -x follows (its objects only reach the rest of the session
// while it is followed, so a session's other runs are the same with or
// without it):
//   program PID UNSEEN NAME                   -x NAME (its file name, also
//                                             without ".exe") launches it as
//                                             process PID; -x PID attaches
//                                             to it. While followed it is a
//                                             process of the snapshot (open)
//                                             whose GDI count is UNSEEN (objects
//                                             kestrel does not see created)
//                                             plus those it holds
//   refuse PID WHY                            following program PID fails:
//                                             not-found, cannot-start,
//                                             no-such-process, denied,
//                                             protected, 32-bit, exits-early,
//                                             agent-missing or agent-failed
//   stack ID FRAME...                         call stack ID (1 or more) of
//                                             any program, innermost first;
//                                             a frame is MODULE+0xOFFSET, or
//                                             MODULE!FUNCTION+0xOFFSET with
//                                             @FILE:LINE after it where lines
//                                             are known
//   create PID STACK TYPE COUNT               program PID creates COUNT
//                                             objects of TYPE (pen, extpen,
//                                             brush, bitmap, dibsection, font,
//                                             palette, region, dc, metafile,
//                                             metadc, enhmetafile) on stack
//                                             STACK, or "-": without one
//   delete PID STACK TYPE COUNT               deletes COUNT of them
//   ends PID CODE                             program PID exits with CODE
//   child PID CHILDPID NAME                   program PID starts a process
// Before the first sample line, create, delete, ends and child lines say
// what the program did before following's first sample; in a block, by
// that sample. Attaching to a process line's PID without a program line
// follows a program that creates nothing.
//
// A table line must come before the first entry line, whose index it bounds.
// A line holds at most 65,536 bytes; a UTF-8 byte-order mark may open the
// first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/follow.h"
#include "platform/gdi_table_layout.h"

struct SimulatedProcess {
  uint32_t pid = 0;
  uint32_t gdiObjects = 0;
  bool canOpen = false;      // open or limited
  bool limitedOnly = false;  // limited: opens with the limited right alone
  std::u16string name;       // at most 259 units
  // From a counts line; without one the peak is gdiObjects.
  std::optional<uint32_t> gdiPeak;
  uint32_t userObjects = 0;
  uint32_t userPeak = 0;
};

struct SessionBlock;
class LineFields;
struct RecordParser;

// A program -x can follow, from a program line.
struct SimulatedProgram {
  uint32_t pid = 0;
  uint32_t unseen = 0;  // objects it holds that kestrel did not see created
  std::u16string name;
  platform::FollowFailure refusal = platform::FollowFailure::None;
};

// What a followed program does: a create, delete, ends or child line.
struct FollowChange {
  enum class Kind : uint8_t { Create, Delete, Exit, Child };
  Kind kind = Kind::Create;
  uint8_t type = 0;    // Create, Delete: the full type code
  uint32_t pid = 0;    // the program's
  uint32_t stack = 0;  // Create, Delete: 0 for none
  // Create, Delete: how many; Exit: the exit code; Child: the child's PID.
  uint32_t count = 0;
  std::u16string childName;  // Child
};

struct FreeDeleter {
  void operator()(unsigned char* p) const;
};

struct Session {
  // Room for every entry a handle can name, and the page after them.
  static constexpr uint64_t kDefaultRegion =
      platform::kTableHeaderBytes +
      platform::kMaxTableEntries * sizeof(platform::GdiTableEntry);
  static constexpr uint64_t kMaxRegion = 1ull << 30;

  uint32_t selfPid = 1000;
  uint32_t sessionId = 1;
  std::vector<SimulatedProcess> processes;
  // What GetGuiResources reports for the whole session; 0: no answer.
  uint32_t globalGdiObjects = 0;
  uint32_t globalUserObjects = 0;
  // GDIProcessHandleQuota in the registry; none: the value is absent.
  std::optional<uint32_t> processQuota;
  // The wall clock at the first sample, and the local time's offset.
  uint64_t clockStartMilliseconds = uint64_t{1767225600} * 1000;
  int32_t localOffsetMinutes = 0;
  std::u16string hostName = u"SIMULATED-PC";
  bool snapshotFails = false;
  uint64_t regionSize = kDefaultRegion;
  // The zero-filled table block of regionSize bytes, allocated with the
  // first entry or when the description ends.
  std::unique_ptr<unsigned char[], FreeDeleter> table;
  bool failNtdllLookup = false;
  bool failOpenSelf = false;
  bool failQueryStatus = false;
  bool failPebNull = false;
  bool failVirtualQuery = false;
  bool failRegionUnreadable = false;
  // The sample blocks in order; a watch applies one at each wait.
  std::vector<SessionBlock> blocks;
  // Programs -x can follow, the call stacks they create on by id, and what
  // they do before the first sample.
  std::vector<SimulatedProgram> programs;
  std::unordered_map<uint32_t, std::vector<platform::StackFrame>> stacks;
  std::vector<FollowChange> follow;
};

// One change of a sample block but an entry's.
struct SessionChange {
  enum class Kind { Process, Exit, Counts, Global, Flag, Interrupt, Sleep };
  Kind kind = Kind::Process;
  SimulatedProcess process;                // Process; Exit, Counts: the PID
  uint32_t globalGdi = 0, globalUser = 0;  // Global
  bool Session::*flag = nullptr;           // Flag: the failure it sets
  uint64_t sleepMilliseconds = 0;          // Sleep
};

// An entry that a sample block sets: the bytes of its GdiTableEntry, all
// zero for `free`. Kept apart from the other changes, and as bytes, so that
// it takes 28 bytes rather than an aligned 32: a block may hold many.
struct EntryChange {
  uint32_t index = 0;
  unsigned char bytes[sizeof(platform::GdiTableEntry)] = {};
};

struct SessionBlock {
  std::vector<EntryChange> entries;    // in order
  std::vector<SessionChange> changes;  // the others, in order
  std::vector<FollowChange> follow;    // a followed program's, in order
};

// Applies one change of a block to `session`. A Process change replaces the first process with its PID, or is added at
// the end; an Interrupt or Sleep change is the caller's to deliver.
void ApplyChange(const SessionChange& change, Session* session);

// Reads a description line by line. Errors quote a field's first few dozen
// bytes, with control bytes escaped; memory running out raises
// std::bad_alloc.
class SessionParser {
 public:
  static constexpr size_t kMaxLineBytes = 65536;

  explicit SessionParser(Session* session) : session_(session) {}

  // Parses the next line (without its newline). False on an error, which
  // Error() then describes.
  bool ParseLine(std::string_view line);
  // Ends the description. False on an error.
  bool Finish();

  size_t LineNumber() const { return lineNumber_; }
  const std::string& Error() const { return error_; }

 private:
  // The records the parser knows, each read by one of the parsers below
  // from the fields after its word.
  static const RecordParser kRecords[];
  bool ParseSelf(LineFields& fields);
  bool ParseSessionId(LineFields& fields);
  bool ParseProcess(LineFields& fields);
  bool ParseCounts(LineFields& fields);
  bool ParseGlobal(LineFields& fields);
  bool ParseQuota(LineFields& fields);
  bool ParseClock(LineFields& fields);
  bool ParseHost(LineFields& fields);
  bool ParseSnapshot(LineFields& fields);
  bool ParseTable(LineFields& fields);
  bool ParseEntry(LineFields& fields);
  bool ParseFail(LineFields& fields);
  bool ParseSample(LineFields& fields);
  bool ParseFree(LineFields& fields);
  bool ParseExit(LineFields& fields);
  bool ParseInterrupt(LineFields& fields);
  bool ParseSleep(LineFields& fields);
  bool ParseProgram(LineFields& fields);
  bool ParseRefuse(LineFields& fields);
  bool ParseStack(LineFields& fields);
  bool ParseObjects(LineFields& fields, FollowChange::Kind kind);
  bool ParseCreate(LineFields& fields);
  bool ParseDelete(LineFields& fields);
  bool ParseEnds(LineFields& fields);
  bool ParseChild(LineFields& fields);

  bool Fail(std::string message);
  bool EnsureTable();
  // Whether entry `index` lies inside the table region; fails the line if
  // not.
  bool InTable(uint64_t index);
  // Puts `change` in the current block; a change outside a block applies
  // at once.
  bool Take(SessionChange change);
  // A followed program's change, checked against the programs and stacks
  // above it, into the current block or before the first.
  bool TakeFollow(FollowChange change);
  SimulatedProgram* FindProgram(uint32_t pid);

  Session* session_;
  // The first process line of each PID, which a counts line completes.
  std::unordered_map<uint32_t, size_t> firstProcessOf_;
  size_t lineNumber_ = 0;
  bool sawEntry_ = false;
  // From the first sample line on: the PIDs of the processes at that point
  // of the description, how many of each.
  bool inBlock_ = false;
  std::unordered_map<uint32_t, size_t> livePids_;
  std::string error_;
};

// Parses a whole description held in memory. On failure `errorLine` and
// `error` say where and what.
bool ParseSessionText(std::string_view text, Session* session,
                      size_t* errorLine, std::string* error);

// Reads the description in the file at `path`, or the built-in sample when
// `path` is null. On failure `error` says where and what: "NAME: cannot
// read the session description: REASON" or "NAME:LINE: WHAT".
bool LoadSession(const char* path, Session* session, std::string* error);

// The built-in sample session, in the same format.
extern const char kSampleSession[];
