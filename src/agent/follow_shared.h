// The memory kestrel shares with the agent it loads into a followed program:
// the program's live GDI objects, each with the call stack that created it.
// kestrel creates the section, named after the program's PID, before the
// agent is loaded; the agent maps it, writes it from every thread of the
// program without a lock, and kestrel reads it at each sample while the
// program runs. Every field the agent changes is changed by an interlocked
// operation or written once before it is published.
//
// Included by the agent and by kestrel's Windows follow backend: it depends
// on nothing but the standard integer types.
#pragma once

#include <stdint.h>

namespace follow_shared {

constexpr uint32_t kMagic = 0x6B46544B;  // "KTFk"
constexpr uint32_t kVersion = 1;

// The section's name: kSectionPrefix followed by the program's PID in
// decimal.
constexpr const wchar_t* kSectionPrefix = L"Local\\kestrel-follow-";

// Return addresses kept of a creation's call stack, innermost first.
constexpr uint32_t kMaxFrames = 32;
// Distinct call stacks kept; creations from further stacks are counted
// without one.
constexpr uint32_t kMaxStacks = 8192;
// The open-addressed index of the stacks by hash: twice their number.
constexpr uint32_t kStackSlots = 2 * kMaxStacks;
// One slot per GDI handle table index (a handle's low 16 bits): a live
// object owns its index, so a creation that finds its slot taken proves the
// former object gone even if its deletion was not seen.
constexpr uint32_t kHandleSlots = 65536;
// The object types counted, by their full type code (a handle's upper
// word's low seven bits); a stack's counts are indexed by the type's place
// here.
constexpr uint32_t kTypeSlots = 13;
constexpr uint8_t kTypeCodes[kTypeSlots] = {
    0x01,  // DC
    0x04,  // region
    0x05,  // bitmap
    0x08,  // palette
    0x0A,  // font
    0x10,  // brush
    0x21,  // enhanced metafile DC
    0x25,  // DIB section
    0x26,  // metafile
    0x30,  // pen
    0x46,  // enhanced metafile
    0x50,  // extended pen
    0x66,  // metafile DC
};

// A handle slot packs: the handle's low 32 bits, the stack's number + 1 in
// bits 32-55 (kNoStack: counted without one), the type's place in
// kTypeCodes in bits 56-59.
// 0 is a free slot.
constexpr uint64_t kNoStack = 0xFFFFFF;
inline uint64_t PackSlot(uint32_t handle, uint64_t stackField, uint32_t type) {
  return handle | (stackField << 32) | (uint64_t{type & 0xF} << 56);
}
inline uint32_t SlotHandle(uint64_t slot) {
  return static_cast<uint32_t>(slot);
}
inline uint64_t SlotStack(uint64_t slot) { return (slot >> 32) & 0xFFFFFF; }
inline uint32_t SlotType(uint64_t slot) {
  return static_cast<uint32_t>(slot >> 56) & 0xF;
}

// A stack's state: its slot is claimed, written, then published (kestrel
// reads published stacks only); a stack that lost the race to publish an
// equal one is abandoned.
enum StackState : uint32_t {
  kStackFree = 0,
  kStackWriting = 1,
  kStackPublished = 2,
  kStackAbandoned = 3,
};

struct Stack {
  uint64_t hash;
  uint32_t depth;
  volatile uint32_t state;
  uint64_t frames[kMaxFrames];  // return addresses, innermost first
  volatile int64_t created;     // creations, deleted or not
  uint64_t firstMs;             // since following began
  volatile int64_t lastMs;
  volatile int32_t live[kTypeSlots];  // live objects per type
};

// What the agent says of itself.
enum AgentState : int32_t {
  kAgentLoading = 0,
  kAgentReady = 1,   // hooks in place
  kAgentFailed = 2,  // could not set up: every call passes straight through
};

struct Header {
  uint32_t magic;
  uint32_t version;
  uint64_t size;  // of the whole section
  // Set by kestrel: 1 while following; 0 makes every hook pass straight
  // through.
  volatile int32_t following;
  volatile int32_t agentState;
  uint32_t agentError;  // a Win32 error code when the agent failed
  uint32_t reserved;
  uint64_t startTick;               // GetTickCount64 when following began
  volatile int32_t stacksClaimed;   // may pass kMaxStacks: clamp
  volatile int32_t patchedImports;  // import table entries redirected
  volatile int32_t withoutStack[kTypeSlots];  // live objects without a stack
};

struct Section {
  Header header;
  volatile uint32_t stackIndex[kStackSlots];  // a stack's number + 1, or 0
  volatile int64_t handles[kHandleSlots];     // see PackSlot
  Stack stacks[kMaxStacks];
};

}  // namespace follow_shared
