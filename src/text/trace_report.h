// A followed program's report as text (-x): the objects it left, grouped by
// the call stack that created them, each stack judged as a process is, and
// what kestrel could not put on a stack; how the program ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/follow.h"
#include "watch/stack_growth.h"

// The frames a stack shows without -v.
constexpr size_t kDefaultShownFrames = 8;

// "painter.exe!LeakBrushes+0x1c (painter.c:42)" where symbols name the
// function and line, "painter.exe!LeakBrushes+0x1c" without the line, and
// "painter.exe+0x1a2c" without symbols.
std::u16string FrameText(const platform::StackFrame& frame);

// "exited with code 3" (and its hexadecimal form for a large code, as
// exception codes are known: "exited with code 3221225477 (0xC0000005)"),
// or "still running, no longer followed".
std::string ProgramEndText(const platform::FollowState& program);

// "Brush 120  Font 3": the categories that hold objects, in the count
// view's order.
std::string CategoryCountsText(const uint32_t (&counts)[kCategoryCount]);

// The innermost frame of `stack`, or "(no frames)".
std::u16string InnermostFrameText(const StackGrowth& stack);

// Appends the whole report:
//   Trace of painter.exe (PID 8200) over 30 samples, 29 s: exited with code 0
//   131 objects left on 3 stacks:
//   Stack 1  Brush 120  still growing +240.0/min  made 480, first +0 s, last +29 s
//       painter.exe!LeakBrushes+0x1c (painter.c:42)
//       ...
//       ... 4 more frames (-v shows every frame)
// then the objects without a stack, on stacks beyond those kept, not seen
// created, and the children not followed, each where there are any.
// `allFrames` (-v) shows every frame, otherwise the first
// kDefaultShownFrames.
void AppendTraceReport(const StackTracker& stacks, bool allFrames,
                       std::u16string& text);
