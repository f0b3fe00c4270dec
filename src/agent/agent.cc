// kestrel_agent.dll: loaded by kestrel into a program it follows (-x), it
// records each GDI object the program creates, with the call stack that
// created it, until the program deletes or releases it.
//
// It redirects the program's calls by rewriting import tables: every loaded
// module's but the system's own GDI, user and loader modules (whose calls
// among themselves stay unfollowed, so that an object LoadImage makes is
// counted once), again after each LoadLibrary*, and GetProcAddress hands out
// the redirected functions. A redirected call runs the real function first,
// then records into the section kestrel shares (follow_shared.h) with
// interlocked operations alone: it takes no lock, allocates nothing and calls
// nothing but the unwinder's lookups and GetTickCount64, so it can neither
// deadlock with the program's own locks nor the loader's. With the section's
// `following` cleared every redirected call passes straight through. The
// agent stays loaded until the program exits.
//
// It links no C runtime: nothing here may touch the program's heap.
#include <windows.h>
#include <winternl.h>

#include "agent/follow_shared.h"

using follow_shared::Section;

namespace {

Section* section;
// The agent's own image, whose frames a stack does not keep.
uintptr_t ownStart;
uintptr_t ownEnd;
PEB_LDR_DATA* loaderData;

bool Following() { return section && section->header.following != 0; }

uint64_t NowMs() { return ::GetTickCount64() - section->header.startTick; }

// Object types, by their place in follow_shared::kTypeCodes: what each
// function makes when the handle does not say more.
constexpr uint32_t kDc = 0;
constexpr uint32_t kRegion = 1;
constexpr uint32_t kBitmap = 2;
constexpr uint32_t kPalette = 3;
constexpr uint32_t kFont = 4;
constexpr uint32_t kBrush = 5;
constexpr uint32_t kEnhMetaDc = 6;
constexpr uint32_t kDibSection = 7;
constexpr uint32_t kMetafile = 8;
constexpr uint32_t kPen = 9;
constexpr uint32_t kEnhMetafile = 10;
constexpr uint32_t kExtPen = 11;
constexpr uint32_t kMetaDc = 12;

// The handle's own full type (its upper word's low seven bits) where it is
// one of the same base type as the function's: an ExtCreatePen that made a
// plain pen, a LoadImage that made a DIB section.
uint32_t TypeOf(uint32_t handle, uint32_t made) {
  uint32_t full = (handle >> 16) & 0x7F;
  uint32_t base = follow_shared::kTypeCodes[made] & 0x1F;
  for (uint32_t type = 0; type < follow_shared::kTypeSlots; ++type) {
    if (follow_shared::kTypeCodes[type] == full && (full & 0x1F) == base)
      return type;
  }
  return made;
}

uint64_t HashFrames(void* const* frames, uint32_t depth) {
  uint64_t hash = 14695981039346656037ull;
  for (uint32_t i = 0; i < depth; ++i) {
    hash ^= reinterpret_cast<uintptr_t>(frames[i]);
    hash *= 1099511628211ull;
  }
  hash ^= depth;
  return hash ? hash : 1;
}

bool SameStack(const follow_shared::Stack& stack, uint64_t hash,
               void* const* frames, uint32_t depth) {
  if (stack.hash != hash || stack.depth != depth)
    return false;
  for (uint32_t i = 0; i < depth; ++i) {
    if (stack.frames[i] != reinterpret_cast<uintptr_t>(frames[i]))
      return false;
  }
  return true;
}

// The stack's number + 1, or kNoStack when the stacks' room is full. Lock
// free: a new stack is written in a claimed entry, then published by a
// compare-exchange on its index slot; of two threads racing to publish equal
// stacks, the loser abandons its entry and uses the winner's.
uint64_t FindOrAddStack(void* const* frames, uint32_t depth, uint64_t now) {
  uint64_t hash = HashFrames(frames, depth);
  uint32_t slot =
      static_cast<uint32_t>(hash) & (follow_shared::kStackSlots - 1);
  int32_t mine = -1;
  for (uint32_t probe = 0; probe < follow_shared::kStackSlots; ++probe) {
    uint32_t taken = section->stackIndex[slot];
    if (taken == 0) {
      if (mine < 0) {
        if (section->header.stacksClaimed >=
            static_cast<int32_t>(follow_shared::kMaxStacks))
          return follow_shared::kNoStack;
        mine = ::InterlockedIncrement(reinterpret_cast<volatile LONG*>(
                   &section->header.stacksClaimed)) -
               1;
        if (mine >= static_cast<int32_t>(follow_shared::kMaxStacks))
          return follow_shared::kNoStack;
        follow_shared::Stack& stack = section->stacks[mine];
        stack.hash = hash;
        stack.depth = depth;
        for (uint32_t i = 0; i < depth; ++i)
          stack.frames[i] = reinterpret_cast<uintptr_t>(frames[i]);
        stack.firstMs = now;
        stack.lastMs = static_cast<int64_t>(now);
        stack.state = follow_shared::kStackWriting;
      }
      taken = ::InterlockedCompareExchange(
          reinterpret_cast<volatile LONG*>(&section->stackIndex[slot]),
          mine + 1, 0);
      if (taken == 0) {
        ::InterlockedExchange(
            reinterpret_cast<volatile LONG*>(&section->stacks[mine].state),
            follow_shared::kStackPublished);
        return static_cast<uint64_t>(mine) + 1;
      }
    }
    if (taken <= follow_shared::kMaxStacks &&
        SameStack(section->stacks[taken - 1], hash, frames, depth)) {
      if (mine >= 0)
        section->stacks[mine].state = follow_shared::kStackAbandoned;
      return taken;
    }
    slot = (slot + 1) & (follow_shared::kStackSlots - 1);
  }
  if (mine >= 0)
    section->stacks[mine].state = follow_shared::kStackAbandoned;
  return follow_shared::kNoStack;
}

volatile LONG* LiveCount(uint64_t stackField, uint32_t type) {
  if (stackField == follow_shared::kNoStack || stackField == 0 ||
      stackField > follow_shared::kMaxStacks)
    return reinterpret_cast<volatile LONG*>(
        &section->header.withoutStack[type]);
  return reinterpret_cast<volatile LONG*>(
      &section->stacks[stackField - 1].live[type]);
}

// An object that is gone: its stack holds one fewer.
void Retire(uint64_t slot) {
  ::InterlockedDecrement(
      LiveCount(follow_shared::SlotStack(slot), follow_shared::SlotType(slot)));
}

volatile LONG64* HandleSlot(uint32_t handle) {
  return reinterpret_cast<volatile LONG64*>(
      &section->handles[handle & (follow_shared::kHandleSlots - 1)]);
}

// The unwind information of code addresses seen before, so that a stack
// walked again costs no search of the module list (Wine's lookup walks it,
// at a third of a create/delete pair's cost a frame). An entry is written
// between two steps of its sequence, odd while writing, and read only when
// the sequence is even and unchanged. A module's unloading, which the
// loader notifies, makes every entry stale; without the notification
// nothing is cached.
// x86-64 keeps loads in order, and stores: only the compiler may not move
// the reads of an entry across those of its sequence.
inline void CompilerBarrier() {
#if defined(__GNUC__)
  asm volatile("" ::: "memory");
#else
  _ReadWriteBarrier();
#endif
}

struct UnwindEntry {
  volatile LONG64 sequence;
  DWORD64 pc;
  DWORD64 imageBase;
  PRUNTIME_FUNCTION function;
  LONG64 generation;
};
constexpr uint32_t kUnwindEntries = 4096;
UnwindEntry unwindCache[kUnwindEntries];
volatile LONG64 unwindGeneration = 1;
bool unwindCacheOn;

PRUNTIME_FUNCTION LookUpFunction(DWORD64 pc, DWORD64* imageBase) {
  if (!unwindCacheOn)
    return ::RtlLookupFunctionEntry(pc, imageBase, nullptr);
  UnwindEntry& entry =
      unwindCache[(pc ^ (pc >> 12) ^ (pc >> 24)) & (kUnwindEntries - 1)];
  LONG64 generation = unwindGeneration;
  LONG64 before = entry.sequence;
  CompilerBarrier();
  if ((before & 1) == 0 && entry.pc == pc && entry.generation == generation) {
    DWORD64 base = entry.imageBase;
    PRUNTIME_FUNCTION function = entry.function;
    CompilerBarrier();
    if (entry.sequence == before) {
      *imageBase = base;
      return function;
    }
  }
  PRUNTIME_FUNCTION function = ::RtlLookupFunctionEntry(pc, imageBase, nullptr);
  // One writer at a time; an entry being written is left to its writer.
  if ((before & 1) == 0 && ::InterlockedCompareExchange64(
                               &entry.sequence, before + 1, before) == before) {
    entry.pc = pc;
    entry.imageBase = *imageBase;
    entry.function = function;
    entry.generation = generation;
    ::InterlockedExchange64(&entry.sequence, before + 2);
  }
  return function;
}

void CALLBACK OnDllNotification(ULONG reason, const void*, void*) {
  constexpr ULONG kUnloaded = 2;  // LDR_DLL_NOTIFICATION_REASON_UNLOADED
  if (reason == kUnloaded)
    ::InterlockedIncrement64(&unwindGeneration);
}

// Unwinds one frame whose pc is at a call in a function's body (every
// return address is), by the function's version 1 unwind codes; false for
// anything else, which RtlVirtualUnwind then takes. Reads the stack only
// between `low` and `high`. Wine's RtlVirtualUnwind first decodes the
// instructions at the pc to see whether it is in an epilogue, which a
// return address never is, at many times this cost.
bool UnwindBodyFrame(DWORD64 imageBase, const RUNTIME_FUNCTION* function,
                     CONTEXT* context, ULONG_PTR low, ULONG_PTR high) {
  DWORD64* registers = &context->Rax;  // Rax..R15 in encoding order
  auto read = [low, high](DWORD64 address, DWORD64* value) {
    if (address < low || address + sizeof(DWORD64) > high)
      return false;
    *value = *reinterpret_cast<const DWORD64*>(address);
    return true;
  };
  DWORD64 rsp = context->Rsp;
  DWORD64 pcOffset = context->Rip - imageBase - function->BeginAddress;
  for (int chained = 0; chained < 32; ++chained) {
    const auto* info =
        reinterpret_cast<const uint8_t*>(imageBase + function->UnwindData);
    if ((info[0] & 7) != 1)
      return false;
    uint8_t flags = info[0] >> 3;
    uint8_t count = info[2];
    uint8_t frameRegister = info[3] & 0xF;
    uint8_t frameOffset = info[3] >> 4;
    const auto* codes = reinterpret_cast<const uint16_t*>(info + 4);
    for (uint8_t i = 0; i < count;) {
      uint8_t codeOffset = codes[i] & 0xFF;
      uint8_t op = (codes[i] >> 8) & 0xF;
      uint8_t opInfo = codes[i] >> 12;
      uint8_t slots = 1;
      // A chained function's prologue has run whole; the first one's up to
      // the pc.
      bool ran = chained > 0 || codeOffset <= pcOffset;
      DWORD64 value = 0;
      switch (op) {
        case 0:  // UWOP_PUSH_NONVOL
          if (ran) {
            if (!read(rsp, &value))
              return false;
            registers[opInfo] = value;
            rsp += 8;
          }
          break;
        case 1:  // UWOP_ALLOC_LARGE
          slots = opInfo == 0 ? 2 : 3;
          if (i + slots > count)
            return false;
          if (ran) {
            rsp +=
                opInfo == 0
                    ? DWORD64{codes[i + 1]} * 8
                    : (DWORD64{codes[i + 1]} | (DWORD64{codes[i + 2]} << 16));
          }
          break;
        case 2:  // UWOP_ALLOC_SMALL
          if (ran)
            rsp += DWORD64{opInfo} * 8 + 8;
          break;
        case 3:  // UWOP_SET_FPREG
          if (ran)
            rsp = registers[frameRegister] - DWORD64{frameOffset} * 16;
          break;
        case 4:  // UWOP_SAVE_NONVOL
        case 5:  // UWOP_SAVE_NONVOL_FAR
          slots = op == 4 ? 2 : 3;
          if (i + slots > count)
            return false;
          if (ran) {
            DWORD64 offset =
                op == 4
                    ? DWORD64{codes[i + 1]} * 8
                    : (DWORD64{codes[i + 1]} | (DWORD64{codes[i + 2]} << 16));
            if (!read(rsp + offset, &value))
              return false;
            registers[opInfo] = value;
          }
          break;
        case 8:  // UWOP_SAVE_XMM128: the walk needs no XMM register
          slots = 2;
          break;
        case 9:  // UWOP_SAVE_XMM128_FAR
          slots = 3;
          break;
        default:  // a machine frame, or a code this walk does not know
          return false;
      }
      i = static_cast<uint8_t>(i + slots);
    }
    if (!(flags & UNW_FLAG_CHAININFO))
      break;
    function =
        reinterpret_cast<const RUNTIME_FUNCTION*>(&codes[(count + 1) & ~1]);
  }
  DWORD64 returnAddress = 0;
  if (!read(rsp, &returnAddress))
    return false;
  context->Rip = returnAddress;
  context->Rsp = rsp + 8;
  return true;
}

// The return addresses of the calls on this thread's stack, innermost
// first, by the images' unwind information. The walk ends where a frame
// leaves the thread's stack or its code lies in no image: Wine would hand
// such a frame to its host's unwinder, at a thousand times the cost.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
uint32_t
CaptureStack(void** frames, uint32_t capacity) {
  CONTEXT context;
#if defined(__GNUC__)
  // What unwinding needs of this function's state: where it is, its stack
  // and the registers a caller's unwind information may restore. Wine's
  // RtlCaptureContext saves the whole extended state too, at several times
  // the cost of a create/delete pair.
  asm volatile(
      "leaq 0(%%rip), %%rax\n\t"
      "movq %%rax, %c[rip](%[context])\n\t"
      "movq %%rsp, %c[rsp](%[context])\n\t"
      "movq %%rbp, %c[rbp](%[context])\n\t"
      "movq %%rbx, %c[rbx](%[context])\n\t"
      "movq %%rsi, %c[rsi](%[context])\n\t"
      "movq %%rdi, %c[rdi](%[context])\n\t"
      "movq %%r12, %c[r12](%[context])\n\t"
      "movq %%r13, %c[r13](%[context])\n\t"
      "movq %%r14, %c[r14](%[context])\n\t"
      "movq %%r15, %c[r15](%[context])\n\t"
      :
      : [context] "r"(&context), [rip] "i"(offsetof(CONTEXT, Rip)),
        [rsp] "i"(offsetof(CONTEXT, Rsp)), [rbp] "i"(offsetof(CONTEXT, Rbp)),
        [rbx] "i"(offsetof(CONTEXT, Rbx)), [rsi] "i"(offsetof(CONTEXT, Rsi)),
        [rdi] "i"(offsetof(CONTEXT, Rdi)), [r12] "i"(offsetof(CONTEXT, R12)),
        [r13] "i"(offsetof(CONTEXT, R13)), [r14] "i"(offsetof(CONTEXT, R14)),
        [r15] "i"(offsetof(CONTEXT, R15))
      : "rax", "memory");
#else
  ::RtlCaptureContext(&context);
#endif
  ULONG_PTR low = 0;
  ULONG_PTR high = 0;
  ::GetCurrentThreadStackLimits(&low, &high);
  uint32_t depth = 0;
  while (depth < capacity) {
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = LookUpFunction(context.Rip, &imageBase);
    if (function && UnwindBodyFrame(imageBase, function, &context, low, high)) {
      // Unwound.
    } else if (function) {
      void* handlerData = nullptr;
      DWORD64 establisher = 0;
      ::RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function,
                         &context, &handlerData, &establisher, nullptr);
    } else if (imageBase != 0 && context.Rsp >= low &&
               context.Rsp + sizeof(DWORD64) <= high) {
      // A leaf function: its return address is on top of the stack.
      context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
      context.Rsp += sizeof(DWORD64);
    } else {
      break;
    }
    if (context.Rip == 0 || context.Rsp < low || context.Rsp >= high)
      break;
    frames[depth++] = reinterpret_cast<void*>(context.Rip);
  }
  return depth;
}

void RecordCreate(const void* object, uint32_t type) {
  uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
  void* frames[follow_shared::kMaxFrames + 8];
  uint32_t depth = CaptureStack(frames, follow_shared::kMaxFrames + 8);
  // Our own frames first: the hook's caller is the program.
  uint32_t skip = 0;
  while (skip < depth &&
         reinterpret_cast<uintptr_t>(frames[skip]) >= ownStart &&
         reinterpret_cast<uintptr_t>(frames[skip]) < ownEnd)
    ++skip;
  depth -= skip;
  if (depth > follow_shared::kMaxFrames)
    depth = follow_shared::kMaxFrames;
  uint64_t now = NowMs();
  uint64_t stackField = depth ? FindOrAddStack(frames + skip, depth, now)
                              : follow_shared::kNoStack;
  if (stackField != follow_shared::kNoStack) {
    follow_shared::Stack& stack = section->stacks[stackField - 1];
    ::InterlockedIncrement64(
        reinterpret_cast<volatile LONG64*>(&stack.created));
    ::InterlockedExchange64(reinterpret_cast<volatile LONG64*>(&stack.lastMs),
                            static_cast<LONG64>(now));
  }
  type = TypeOf(handle, type);
  ::InterlockedIncrement(LiveCount(stackField, type));
  uint64_t old = static_cast<uint64_t>(::InterlockedExchange64(
      HandleSlot(handle),
      static_cast<LONG64>(follow_shared::PackSlot(handle, stackField, type))));
  // The index's former object is gone, though its deletion went unseen.
  if (old != 0)
    Retire(old);
}

void RecordDelete(const void* object) {
  uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
  volatile LONG64* slot = HandleSlot(handle);
  LONG64 seen = *slot;
  if (seen == 0 ||
      follow_shared::SlotHandle(static_cast<uint64_t>(seen)) != handle)
    return;  // not seen created: made before following or by another path
  if (::InterlockedCompareExchange64(slot, 0, seen) == seen)
    Retire(static_cast<uint64_t>(seen));
}

void Created(const void* object, uint32_t type) {
  if (object && Following())
    RecordCreate(object, type);
}

void Deleted(const void* object) {
  if (object && Following())
    RecordDelete(object);
}

void PatchLoadedModules();

// ---- The redirected functions ------------------------------------------

// A parameter that names a type cannot be parenthesised.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define FOLLOW_CREATE(Ret, Name, type, Params, Args) \
  using Name##Fn = Ret(WINAPI*) Params;              \
  Name##Fn real##Name;                               \
  Ret WINAPI Follow##Name Params {                   \
    Ret result = real##Name Args;                    \
    Created(result, type);                           \
    return result;                                   \
  }
// NOLINTEND(bugprone-macro-parentheses)

// Pens and brushes.
FOLLOW_CREATE(HPEN, CreatePen, kPen, (int style, int width, COLORREF color),
              (style, width, color))
FOLLOW_CREATE(HPEN, CreatePenIndirect, kPen, (const LOGPEN* pen), (pen))
FOLLOW_CREATE(HPEN, ExtCreatePen, kExtPen,
              (DWORD style, DWORD width, const LOGBRUSH* brush, DWORD count,
               const DWORD* styles),
              (style, width, brush, count, styles))
FOLLOW_CREATE(HBRUSH, CreateSolidBrush, kBrush, (COLORREF color), (color))
FOLLOW_CREATE(HBRUSH, CreateHatchBrush, kBrush, (int hatch, COLORREF color),
              (hatch, color))
FOLLOW_CREATE(HBRUSH, CreatePatternBrush, kBrush, (HBITMAP bitmap), (bitmap))
FOLLOW_CREATE(HBRUSH, CreateBrushIndirect, kBrush, (const LOGBRUSH* brush),
              (brush))
FOLLOW_CREATE(HBRUSH, CreateDIBPatternBrush, kBrush,
              (HGLOBAL packed, UINT usage), (packed, usage))
FOLLOW_CREATE(HBRUSH, CreateDIBPatternBrushPt, kBrush,
              (const VOID* packed, UINT usage), (packed, usage))
// Fonts.
FOLLOW_CREATE(HFONT, CreateFontW, kFont,
              (int height, int width, int escapement, int orientation,
               int weight, DWORD italic, DWORD underline, DWORD strikeOut,
               DWORD charSet, DWORD precision, DWORD clipPrecision,
               DWORD quality, DWORD pitchAndFamily, LPCWSTR face),
              (height, width, escapement, orientation, weight, italic,
               underline, strikeOut, charSet, precision, clipPrecision, quality,
               pitchAndFamily, face))
FOLLOW_CREATE(HFONT, CreateFontA, kFont,
              (int height, int width, int escapement, int orientation,
               int weight, DWORD italic, DWORD underline, DWORD strikeOut,
               DWORD charSet, DWORD precision, DWORD clipPrecision,
               DWORD quality, DWORD pitchAndFamily, LPCSTR face),
              (height, width, escapement, orientation, weight, italic,
               underline, strikeOut, charSet, precision, clipPrecision, quality,
               pitchAndFamily, face))
FOLLOW_CREATE(HFONT, CreateFontIndirectW, kFont, (const LOGFONTW* font), (font))
FOLLOW_CREATE(HFONT, CreateFontIndirectA, kFont, (const LOGFONTA* font), (font))
FOLLOW_CREATE(HFONT, CreateFontIndirectExW, kFont,
              (const ENUMLOGFONTEXDVW* font), (font))
FOLLOW_CREATE(HFONT, CreateFontIndirectExA, kFont,
              (const ENUMLOGFONTEXDVA* font), (font))
// Bitmaps and DIB sections.
FOLLOW_CREATE(HBITMAP, CreateBitmap, kBitmap,
              (int width, int height, UINT planes, UINT bits,
               const VOID* pixels),
              (width, height, planes, bits, pixels))
FOLLOW_CREATE(HBITMAP, CreateBitmapIndirect, kBitmap, (const BITMAP* bitmap),
              (bitmap))
FOLLOW_CREATE(HBITMAP, CreateCompatibleBitmap, kBitmap,
              (HDC dc, int width, int height), (dc, width, height))
FOLLOW_CREATE(HBITMAP, CreateDiscardableBitmap, kBitmap,
              (HDC dc, int width, int height), (dc, width, height))
FOLLOW_CREATE(HBITMAP, CreateDIBitmap, kBitmap,
              (HDC dc, const BITMAPINFOHEADER* header, DWORD init,
               const VOID* bits, const BITMAPINFO* info, UINT usage),
              (dc, header, init, bits, info, usage))
FOLLOW_CREATE(HBITMAP, CreateDIBSection, kDibSection,
              (HDC dc, const BITMAPINFO* info, UINT usage, VOID** bits,
               HANDLE section, DWORD offset),
              (dc, info, usage, bits, section, offset))
// Regions.
FOLLOW_CREATE(HRGN, CreateRectRgn, kRegion,
              (int left, int top, int right, int bottom),
              (left, top, right, bottom))
FOLLOW_CREATE(HRGN, CreateRectRgnIndirect, kRegion, (const RECT* rect), (rect))
FOLLOW_CREATE(HRGN, CreateRoundRectRgn, kRegion,
              (int left, int top, int right, int bottom, int width, int height),
              (left, top, right, bottom, width, height))
FOLLOW_CREATE(HRGN, CreateEllipticRgn, kRegion,
              (int left, int top, int right, int bottom),
              (left, top, right, bottom))
FOLLOW_CREATE(HRGN, CreateEllipticRgnIndirect, kRegion, (const RECT* rect),
              (rect))
FOLLOW_CREATE(HRGN, CreatePolygonRgn, kRegion,
              (const POINT* points, int count, int mode), (points, count, mode))
FOLLOW_CREATE(HRGN, CreatePolyPolygonRgn, kRegion,
              (const POINT* points, const INT* counts, int polygons, int mode),
              (points, counts, polygons, mode))
FOLLOW_CREATE(HRGN, ExtCreateRegion, kRegion,
              (const XFORM* transform, DWORD size, const RGNDATA* data),
              (transform, size, data))
FOLLOW_CREATE(HRGN, PathToRegion, kRegion, (HDC dc), (dc))
// Palettes.
FOLLOW_CREATE(HPALETTE, CreatePalette, kPalette, (const LOGPALETTE* palette),
              (palette))
FOLLOW_CREATE(HPALETTE, CreateHalftonePalette, kPalette, (HDC dc), (dc))
// DCs.
FOLLOW_CREATE(HDC, CreateDCW, kDc,
              (LPCWSTR driver, LPCWSTR device, LPCWSTR port,
               const DEVMODEW* mode),
              (driver, device, port, mode))
FOLLOW_CREATE(HDC, CreateDCA, kDc,
              (LPCSTR driver, LPCSTR device, LPCSTR port, const DEVMODEA* mode),
              (driver, device, port, mode))
FOLLOW_CREATE(HDC, CreateICW, kDc,
              (LPCWSTR driver, LPCWSTR device, LPCWSTR port,
               const DEVMODEW* mode),
              (driver, device, port, mode))
FOLLOW_CREATE(HDC, CreateICA, kDc,
              (LPCSTR driver, LPCSTR device, LPCSTR port, const DEVMODEA* mode),
              (driver, device, port, mode))
FOLLOW_CREATE(HDC, CreateCompatibleDC, kDc, (HDC dc), (dc))
FOLLOW_CREATE(HDC, GetDC, kDc, (HWND window), (window))
FOLLOW_CREATE(HDC, GetWindowDC, kDc, (HWND window), (window))
// Metafiles and their DCs.
FOLLOW_CREATE(HDC, CreateMetaFileW, kMetaDc, (LPCWSTR file), (file))
FOLLOW_CREATE(HDC, CreateMetaFileA, kMetaDc, (LPCSTR file), (file))
FOLLOW_CREATE(HDC, CreateEnhMetaFileW, kEnhMetaDc,
              (HDC reference, LPCWSTR file, const RECT* frame,
               LPCWSTR description),
              (reference, file, frame, description))
FOLLOW_CREATE(HDC, CreateEnhMetaFileA, kEnhMetaDc,
              (HDC reference, LPCSTR file, const RECT* frame,
               LPCSTR description),
              (reference, file, frame, description))
FOLLOW_CREATE(HMETAFILE, GetMetaFileW, kMetafile, (LPCWSTR file), (file))
FOLLOW_CREATE(HMETAFILE, GetMetaFileA, kMetafile, (LPCSTR file), (file))
FOLLOW_CREATE(HMETAFILE, SetMetaFileBitsEx, kMetafile,
              (UINT size, const BYTE* bits), (size, bits))
FOLLOW_CREATE(HMETAFILE, CopyMetaFileW, kMetafile,
              (HMETAFILE metafile, LPCWSTR file), (metafile, file))
FOLLOW_CREATE(HMETAFILE, CopyMetaFileA, kMetafile,
              (HMETAFILE metafile, LPCSTR file), (metafile, file))
FOLLOW_CREATE(HENHMETAFILE, GetEnhMetaFileW, kEnhMetafile, (LPCWSTR file),
              (file))
FOLLOW_CREATE(HENHMETAFILE, GetEnhMetaFileA, kEnhMetafile, (LPCSTR file),
              (file))
FOLLOW_CREATE(HENHMETAFILE, SetEnhMetaFileBits, kEnhMetafile,
              (UINT size, const BYTE* bits), (size, bits))
FOLLOW_CREATE(HENHMETAFILE, SetWinMetaFileBits, kEnhMetafile,
              (UINT size, const BYTE* bits, HDC reference,
               const METAFILEPICT* picture),
              (size, bits, reference, picture))
FOLLOW_CREATE(HENHMETAFILE, CopyEnhMetaFileW, kEnhMetafile,
              (HENHMETAFILE metafile, LPCWSTR file), (metafile, file))
FOLLOW_CREATE(HENHMETAFILE, CopyEnhMetaFileA, kEnhMetafile,
              (HENHMETAFILE metafile, LPCSTR file), (metafile, file))
// Bitmaps user32 makes.
FOLLOW_CREATE(HBITMAP, LoadBitmapW, kBitmap, (HINSTANCE instance, LPCWSTR name),
              (instance, name))
FOLLOW_CREATE(HBITMAP, LoadBitmapA, kBitmap, (HINSTANCE instance, LPCSTR name),
              (instance, name))

// A parameter that names a type cannot be parenthesised.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define FOLLOW_DELETE(Ret, Name, Params, Args, object) \
  using Name##Fn = Ret(WINAPI*) Params;                \
  Name##Fn real##Name;                                 \
  Ret WINAPI Follow##Name Params {                     \
    Ret result = real##Name Args;                      \
    if (result)                                        \
      Deleted(object);                                 \
    return result;                                     \
  }
// NOLINTEND(bugprone-macro-parentheses)

FOLLOW_DELETE(BOOL, DeleteObject, (HGDIOBJ object), (object), object)
FOLLOW_DELETE(BOOL, DeleteDC, (HDC dc), (dc), dc)
FOLLOW_DELETE(int, ReleaseDC, (HWND window, HDC dc), (window, dc), dc)
FOLLOW_DELETE(BOOL, DeleteMetaFile, (HMETAFILE metafile), (metafile), metafile)
FOLLOW_DELETE(BOOL, DeleteEnhMetaFile, (HENHMETAFILE metafile), (metafile),
              metafile)

// Closing a metafile DC deletes the DC and makes the metafile.
using CloseMetaFileFn = HMETAFILE(WINAPI*)(HDC);
CloseMetaFileFn realCloseMetaFile;
HMETAFILE WINAPI FollowCloseMetaFile(HDC dc) {
  HMETAFILE result = realCloseMetaFile(dc);
  if (result) {
    Deleted(dc);
    Created(result, kMetafile);
  }
  return result;
}

using CloseEnhMetaFileFn = HENHMETAFILE(WINAPI*)(HDC);
CloseEnhMetaFileFn realCloseEnhMetaFile;
HENHMETAFILE WINAPI FollowCloseEnhMetaFile(HDC dc) {
  HENHMETAFILE result = realCloseEnhMetaFile(dc);
  if (result) {
    Deleted(dc);
    Created(result, kEnhMetafile);
  }
  return result;
}

// GetDCEx owns the clipping region it is given, and deletes it itself.
using GetDCExFn = HDC(WINAPI*)(HWND, HRGN, DWORD);
GetDCExFn realGetDCEx;
HDC WINAPI FollowGetDCEx(HWND window, HRGN clip, DWORD flags) {
  HDC result = realGetDCEx(window, clip, flags);
  if (result) {
    if (clip && (flags & (DCX_INTERSECTRGN | DCX_EXCLUDERGN)))
      Deleted(clip);
    Created(result, kDc);
  }
  return result;
}

// A window's region belongs to the system once SetWindowRgn succeeds.
using SetWindowRgnFn = int(WINAPI*)(HWND, HRGN, BOOL);
SetWindowRgnFn realSetWindowRgn;
int WINAPI FollowSetWindowRgn(HWND window, HRGN region, BOOL redraw) {
  int result = realSetWindowRgn(window, region, redraw);
  if (result)
    Deleted(region);
  return result;
}

// LoadImage and CopyImage make GDI objects only as bitmaps; icons and
// cursors are user objects.
using LoadImageWFn = HANDLE(WINAPI*)(HINSTANCE, LPCWSTR, UINT, int, int, UINT);
LoadImageWFn realLoadImageW;
HANDLE WINAPI FollowLoadImageW(HINSTANCE instance, LPCWSTR name, UINT type,
                               int width, int height, UINT flags) {
  HANDLE result = realLoadImageW(instance, name, type, width, height, flags);
  if (type == IMAGE_BITMAP)
    Created(result, kBitmap);
  return result;
}

using LoadImageAFn = HANDLE(WINAPI*)(HINSTANCE, LPCSTR, UINT, int, int, UINT);
LoadImageAFn realLoadImageA;
HANDLE WINAPI FollowLoadImageA(HINSTANCE instance, LPCSTR name, UINT type,
                               int width, int height, UINT flags) {
  HANDLE result = realLoadImageA(instance, name, type, width, height, flags);
  if (type == IMAGE_BITMAP)
    Created(result, kBitmap);
  return result;
}

using CopyImageFn = HANDLE(WINAPI*)(HANDLE, UINT, int, int, UINT);
CopyImageFn realCopyImage;
HANDLE WINAPI FollowCopyImage(HANDLE image, UINT type, int width, int height,
                              UINT flags) {
  HANDLE result = realCopyImage(image, type, width, height, flags);
  if (type == IMAGE_BITMAP && result) {
    if ((flags & LR_COPYDELETEORG) && result != image)
      Deleted(image);
    Created(result, kBitmap);
  }
  return result;
}

// Modules loaded later get their import tables rewritten too.
// A parameter that names a type cannot be parenthesised.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define FOLLOW_LOAD(Name, Params, Args)     \
  using Name##Fn = HMODULE(WINAPI*) Params; \
  Name##Fn real##Name;                      \
  HMODULE WINAPI Follow##Name Params {      \
    HMODULE result = real##Name Args;       \
    if (result)                             \
      PatchLoadedModules();                 \
    return result;                          \
  }
// NOLINTEND(bugprone-macro-parentheses)

FOLLOW_LOAD(LoadLibraryW, (LPCWSTR file), (file))
FOLLOW_LOAD(LoadLibraryA, (LPCSTR file), (file))
FOLLOW_LOAD(LoadLibraryExW, (LPCWSTR file, HANDLE reserved, DWORD flags),
            (file, reserved, flags))
FOLLOW_LOAD(LoadLibraryExA, (LPCSTR file, HANDLE reserved, DWORD flags),
            (file, reserved, flags))

FARPROC WINAPI FollowGetProcAddress(HMODULE module, LPCSTR name);
using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
GetProcAddressFn realGetProcAddress;

// ---- The table of redirections -----------------------------------------

enum Library { kGdi32, kUser32, kKernel32, kLibraryCount };
const wchar_t* const kLibraryNames[kLibraryCount] = {
    L"gdi32.dll", L"user32.dll", L"kernel32.dll"};

struct Redirection {
  Library library;
  const char* name;
  void* follow;
  void** real;
};

#define REDIRECT(library, Name)                             \
  {                                                         \
    library, #Name, reinterpret_cast<void*>(&Follow##Name), \
        reinterpret_cast<void**>(&real##Name)               \
  }

Redirection redirections[] = {
    REDIRECT(kGdi32, CreatePen),
    REDIRECT(kGdi32, CreatePenIndirect),
    REDIRECT(kGdi32, ExtCreatePen),
    REDIRECT(kGdi32, CreateSolidBrush),
    REDIRECT(kGdi32, CreateHatchBrush),
    REDIRECT(kGdi32, CreatePatternBrush),
    REDIRECT(kGdi32, CreateBrushIndirect),
    REDIRECT(kGdi32, CreateDIBPatternBrush),
    REDIRECT(kGdi32, CreateDIBPatternBrushPt),
    REDIRECT(kGdi32, CreateFontW),
    REDIRECT(kGdi32, CreateFontA),
    REDIRECT(kGdi32, CreateFontIndirectW),
    REDIRECT(kGdi32, CreateFontIndirectA),
    REDIRECT(kGdi32, CreateFontIndirectExW),
    REDIRECT(kGdi32, CreateFontIndirectExA),
    REDIRECT(kGdi32, CreateBitmap),
    REDIRECT(kGdi32, CreateBitmapIndirect),
    REDIRECT(kGdi32, CreateCompatibleBitmap),
    REDIRECT(kGdi32, CreateDiscardableBitmap),
    REDIRECT(kGdi32, CreateDIBitmap),
    REDIRECT(kGdi32, CreateDIBSection),
    REDIRECT(kGdi32, CreateRectRgn),
    REDIRECT(kGdi32, CreateRectRgnIndirect),
    REDIRECT(kGdi32, CreateRoundRectRgn),
    REDIRECT(kGdi32, CreateEllipticRgn),
    REDIRECT(kGdi32, CreateEllipticRgnIndirect),
    REDIRECT(kGdi32, CreatePolygonRgn),
    REDIRECT(kGdi32, CreatePolyPolygonRgn),
    REDIRECT(kGdi32, ExtCreateRegion),
    REDIRECT(kGdi32, PathToRegion),
    REDIRECT(kGdi32, CreatePalette),
    REDIRECT(kGdi32, CreateHalftonePalette),
    REDIRECT(kGdi32, CreateDCW),
    REDIRECT(kGdi32, CreateDCA),
    REDIRECT(kGdi32, CreateICW),
    REDIRECT(kGdi32, CreateICA),
    REDIRECT(kGdi32, CreateCompatibleDC),
    REDIRECT(kGdi32, CreateMetaFileW),
    REDIRECT(kGdi32, CreateMetaFileA),
    REDIRECT(kGdi32, CreateEnhMetaFileW),
    REDIRECT(kGdi32, CreateEnhMetaFileA),
    REDIRECT(kGdi32, CloseMetaFile),
    REDIRECT(kGdi32, CloseEnhMetaFile),
    REDIRECT(kGdi32, GetMetaFileW),
    REDIRECT(kGdi32, GetMetaFileA),
    REDIRECT(kGdi32, SetMetaFileBitsEx),
    REDIRECT(kGdi32, CopyMetaFileW),
    REDIRECT(kGdi32, CopyMetaFileA),
    REDIRECT(kGdi32, GetEnhMetaFileW),
    REDIRECT(kGdi32, GetEnhMetaFileA),
    REDIRECT(kGdi32, SetEnhMetaFileBits),
    REDIRECT(kGdi32, SetWinMetaFileBits),
    REDIRECT(kGdi32, CopyEnhMetaFileW),
    REDIRECT(kGdi32, CopyEnhMetaFileA),
    REDIRECT(kGdi32, DeleteObject),
    REDIRECT(kGdi32, DeleteDC),
    REDIRECT(kGdi32, DeleteMetaFile),
    REDIRECT(kGdi32, DeleteEnhMetaFile),
    REDIRECT(kUser32, GetDC),
    REDIRECT(kUser32, GetWindowDC),
    REDIRECT(kUser32, GetDCEx),
    REDIRECT(kUser32, ReleaseDC),
    REDIRECT(kUser32, SetWindowRgn),
    REDIRECT(kUser32, LoadImageW),
    REDIRECT(kUser32, LoadImageA),
    REDIRECT(kUser32, LoadBitmapW),
    REDIRECT(kUser32, LoadBitmapA),
    REDIRECT(kUser32, CopyImage),
    REDIRECT(kKernel32, LoadLibraryW),
    REDIRECT(kKernel32, LoadLibraryA),
    REDIRECT(kKernel32, LoadLibraryExW),
    REDIRECT(kKernel32, LoadLibraryExA),
    REDIRECT(kKernel32, GetProcAddress),
};

// Functions of a library loaded after the agent resolve on the next pass.
void ResolveReals() {
  for (int library = 0; library < kLibraryCount; ++library) {
    HMODULE module = ::GetModuleHandleW(kLibraryNames[library]);
    if (!module)
      continue;
    for (Redirection& redirection : redirections) {
      if (redirection.library != library || *redirection.real)
        continue;
      void* real =
          reinterpret_cast<void*>(::GetProcAddress(module, redirection.name));
      if (real)
        ::InterlockedExchangePointer(redirection.real, real);
    }
  }
}

void* FollowOf(const void* real) {
  if (!real)
    return nullptr;
  for (const Redirection& redirection : redirections) {
    if (*redirection.real == real)
      return redirection.follow;
  }
  return nullptr;
}

FARPROC WINAPI FollowGetProcAddress(HMODULE module, LPCSTR name) {
  FARPROC result = realGetProcAddress(module, name);
  void* follow = FollowOf(reinterpret_cast<void*>(result));
  return follow ? reinterpret_cast<FARPROC>(follow) : result;
}

// ---- Rewriting import tables --------------------------------------------

// The system's own modules, whose calls among themselves stay as they are.
bool LeftAlone(const UNICODE_STRING& path) {
  static const wchar_t* const kNames[] = {
      L"ntdll.dll",     L"kernel32.dll", L"kernelbase.dll", L"gdi32.dll",
      L"gdi32full.dll", L"win32u.dll",   L"user32.dll",
  };
  const wchar_t* text = path.Buffer;
  size_t length = path.Length / sizeof(wchar_t);
  size_t start = length;
  while (start > 0 && text[start - 1] != L'\\' && text[start - 1] != L'/')
    --start;
  for (const wchar_t* name : kNames) {
    size_t i = 0;
    for (; start + i < length && name[i]; ++i) {
      wchar_t c = text[start + i];
      if (c >= L'A' && c <= L'Z')
        c = static_cast<wchar_t>(c - L'A' + L'a');
      if (c != name[i])
        break;
    }
    if (start + i == length && !name[i])
      return true;
  }
  return false;
}

void PatchModule(uint8_t* base) {
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE)
    return;
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE ||
      nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC ||
      nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT)
    return;
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  uint32_t imageSize = nt->OptionalHeader.SizeOfImage;
  if (imports.VirtualAddress == 0 || imports.VirtualAddress >= imageSize)
    return;
  auto* descriptor =
      reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
  for (; descriptor->Name != 0 && descriptor->FirstThunk != 0; ++descriptor) {
    if (descriptor->FirstThunk >= imageSize)
      break;
    auto* thunk =
        reinterpret_cast<IMAGE_THUNK_DATA64*>(base + descriptor->FirstThunk);
    for (; thunk->u1.Function != 0; ++thunk) {
      void* follow = FollowOf(reinterpret_cast<void*>(thunk->u1.Function));
      if (!follow)
        continue;
      DWORD protection = 0;
      if (!::VirtualProtect(&thunk->u1.Function, sizeof(void*), PAGE_READWRITE,
                            &protection))
        continue;
      ::InterlockedExchangePointer(
          reinterpret_cast<void* volatile*>(&thunk->u1.Function), follow);
      ::VirtualProtect(&thunk->u1.Function, sizeof(void*), protection,
                       &protection);
      ::InterlockedIncrement(
          reinterpret_cast<volatile LONG*>(&section->header.patchedImports));
    }
  }
}

using LdrLockLoaderLockFn = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
using LdrUnlockLoaderLockFn = LONG(NTAPI*)(ULONG, ULONG_PTR);
LdrLockLoaderLockFn lockLoader;
LdrUnlockLoaderLockFn unlockLoader;
// The modules seen at the last pass: a pass that finds the same skips them.
uint64_t modulesSeen;

// Under the loader lock, so that no module is unloaded while its table is
// rewritten; passes are serialized by it too.
void PatchLoadedModules() {
  ULONG_PTR cookie = 0;
  if (!lockLoader || lockLoader(0, nullptr, &cookie) < 0)
    return;
  LIST_ENTRY* head = &loaderData->InMemoryOrderModuleList;
  uint64_t modules = 0;
  for (LIST_ENTRY* link = head->Flink; link != head; link = link->Flink) {
    auto* entry =
        CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
    modules = modules * 31 + reinterpret_cast<uintptr_t>(entry->DllBase) + 1;
  }
  if (modules != modulesSeen) {
    modulesSeen = modules;
    ResolveReals();
    for (LIST_ENTRY* link = head->Flink; link != head; link = link->Flink) {
      auto* entry =
          CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
      auto* base = static_cast<uint8_t*>(entry->DllBase);
      if (!base || reinterpret_cast<uintptr_t>(base) == ownStart ||
          LeftAlone(entry->FullDllName))
        continue;
      PatchModule(base);
    }
  }
  unlockLoader(0, cookie);
}

// ---- Setting up ---------------------------------------------------------

bool OpenSection() {
  wchar_t name[64];
  size_t length = 0;
  for (const wchar_t* p = follow_shared::kSectionPrefix; *p; ++p)
    name[length++] = *p;
  wchar_t digits[12];
  size_t count = 0;
  DWORD pid = ::GetCurrentProcessId();
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + pid % 10);
    pid /= 10;
  } while (pid);
  while (count)
    name[length++] = digits[--count];
  name[length] = 0;
  HANDLE mapping =
      ::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name);
  if (!mapping)
    return false;
  void* view = ::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0,
                               sizeof(Section));
  // The view keeps the section alive; the handle is not needed.
  ::CloseHandle(mapping);
  if (!view)
    return false;
  auto* shared = static_cast<Section*>(view);
  if (shared->header.magic != follow_shared::kMagic ||
      shared->header.version != follow_shared::kVersion ||
      shared->header.size != sizeof(Section)) {
    ::UnmapViewOfFile(view);
    return false;
  }
  section = shared;
  return true;
}

bool SetUp(HINSTANCE instance) {
  if (!OpenSection())
    return false;
  auto* image = reinterpret_cast<uint8_t*>(instance);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS64*>(
      image + reinterpret_cast<IMAGE_DOS_HEADER*>(image)->e_lfanew);
  ownStart = reinterpret_cast<uintptr_t>(image);
  ownEnd = ownStart + nt->OptionalHeader.SizeOfImage;
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  PROCESS_BASIC_INFORMATION basic = {};
  if (ntdll &&
      ::NtQueryInformationProcess(::GetCurrentProcess(),
                                  ProcessBasicInformation, &basic,
                                  sizeof(basic), nullptr) >= 0 &&
      basic.PebBaseAddress)
    loaderData = basic.PebBaseAddress->Ldr;
  if (ntdll && loaderData) {
    lockLoader = reinterpret_cast<LdrLockLoaderLockFn>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "LdrLockLoaderLock")));
    unlockLoader =
        reinterpret_cast<LdrUnlockLoaderLockFn>(reinterpret_cast<void*>(
            ::GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
  }
  if (!lockLoader || !unlockLoader) {
    section->header.agentError = ERROR_PROC_NOT_FOUND;
    ::InterlockedExchange(
        reinterpret_cast<volatile LONG*>(&section->header.agentState),
        follow_shared::kAgentFailed);
    return false;
  }
  using LdrRegisterDllNotificationFn =
      LONG(NTAPI*)(ULONG, decltype(&OnDllNotification), void*, void**);
  auto registerNotification =
      reinterpret_cast<LdrRegisterDllNotificationFn>(reinterpret_cast<void*>(
          ::GetProcAddress(ntdll, "LdrRegisterDllNotification")));
  void* notificationCookie = nullptr;
  unwindCacheOn = registerNotification &&
                  registerNotification(0, &OnDllNotification, nullptr,
                                       &notificationCookie) >= 0;
  // Never unloaded: redirected import tables point into it.
  HMODULE self = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
      reinterpret_cast<LPCWSTR>(instance), &self);
  PatchLoadedModules();
  ::InterlockedExchange(
      reinterpret_cast<volatile LONG*>(&section->header.agentState),
      follow_shared::kAgentReady);
  return true;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH)
    return TRUE;
  ::DisableThreadLibraryCalls(instance);
  // Without kestrel's section there is nothing to follow into: unload.
  return SetUp(instance) ? TRUE : FALSE;
}
