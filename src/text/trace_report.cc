#include "text/trace_report.h"

#include "presentation/format.h"
#include "presentation/growth_report.h"

namespace {

// "0x" and `value` in hexadecimal, at least `digits` digits.
std::string Hex(uint64_t value, int digits, bool upper) {
  const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), symbols[value & 0xF]);
    value >>= 4;
  } while (value != 0 || static_cast<int>(text.size()) < digits);
  return "0x" + text;
}

void AppendHex(std::u16string& text, uint64_t value) {
  AppendAscii(text, Hex(value, 1, false));
}

void AppendObjects(std::u16string& text, uint64_t count) {
  AppendAscii(text, FormatCount(static_cast<int64_t>(count)));
  AppendAscii(text, count == 1 ? " object" : " objects");
}

}  // namespace

std::u16string FrameText(const platform::StackFrame& frame) {
  std::u16string text = frame.module.empty() ? u"?" : frame.module;
  if (frame.function.empty()) {
    text.push_back(u'+');
    AppendHex(text, frame.moduleOffset);
    return text;
  }
  text.push_back(u'!');
  text += frame.function;
  text.push_back(u'+');
  AppendHex(text, frame.functionOffset);
  if (!frame.file.empty()) {
    AppendText(text, u" (");
    text += frame.file;
    text.push_back(u':');
    AppendNumber(text, frame.line);
    text.push_back(u')');
  }
  return text;
}

std::string ProgramEndText(const platform::FollowState& program) {
  if (!program.exited)
    return "still running, no longer followed";
  std::string text = "exited with code " + std::to_string(program.exitCode);
  // Exception and status codes are known by their hexadecimal form.
  if (program.exitCode >= 0x10000) {
    text += " (" + Hex(program.exitCode, 8, true) + ")";
  }
  return text;
}

std::string CategoryCountsText(const uint32_t (&counts)[kCategoryCount]) {
  std::string text;
  for (int category = 0; category < kCategoryCount; ++category) {
    if (counts[category] == 0)
      continue;
    if (!text.empty())
      text += "  ";
    text += kObjectCategoryNames[category];
    text += " " + FormatCount(counts[category]);
  }
  return text;
}

std::u16string InnermostFrameText(const StackGrowth& stack) {
  return stack.frames.empty() ? u"(no frames)" : FrameText(stack.frames[0]);
}

void AppendTraceReport(const StackTracker& stacks, bool allFrames,
                       std::u16string& text) {
  const platform::FollowState& program = stacks.Program();
  AppendText(text, u"Trace of ");
  text += program.name;
  AppendAscii(text, " (PID " + std::to_string(program.pid) + ") over ");
  AppendAscii(text, FormatCount(static_cast<int64_t>(stacks.Samples())));
  AppendAscii(text, stacks.Samples() == 1 ? " sample, " : " samples, ");
  AppendNumber(text, static_cast<int64_t>(stacks.LastMilliseconds() / 1000));
  AppendAscii(text, " s: " + ProgramEndText(program) + "\n");

  const std::vector<const StackGrowth*>& left = stacks.Left();
  uint64_t onStacks = 0;
  for (const StackGrowth* stack : left)
    onStacks += stack->liveTotal;
  if (left.empty()) {
    AppendText(text, u"No objects left on a stack.\n");
  } else {
    AppendObjects(text, onStacks);
    AppendAscii(text, " left on " +
                          FormatCount(static_cast<int64_t>(left.size())) +
                          (left.size() == 1 ? " stack:\n" : " stacks:\n"));
  }
  for (size_t rank = 0; rank < left.size(); ++rank) {
    const StackGrowth& stack = *left[rank];
    AppendAscii(
        text,
        "Stack " + std::to_string(rank + 1) + "  " +
            CategoryCountsText(stack.live) + "  " + TrendText(stack.trend) +
            "  made " + FormatCount(static_cast<int64_t>(stack.created)) +
            ", first " + SinceStart(stack.firstCreationMilliseconds) +
            ", last " + SinceStart(stack.lastCreationMilliseconds) + "\n");
    size_t shown = allFrames
                       ? stack.frames.size()
                       : std::min(stack.frames.size(), kDefaultShownFrames);
    for (size_t i = 0; i < shown; ++i) {
      AppendText(text, u"    ");
      text += FrameText(stack.frames[i]);
      text.push_back(u'\n');
    }
    if (stack.frames.empty())
      AppendText(text, u"    (no frames)\n");
    if (shown < stack.frames.size()) {
      size_t more = stack.frames.size() - shown;
      AppendAscii(text, "    ... " + std::to_string(more) +
                            (more == 1 ? " more frame" : " more frames") +
                            " (-v shows every frame)\n");
    }
  }

  const CategoryCounts& without = stacks.WithoutStack();
  if (without.Total() != 0) {
    AppendText(text, u"Without a stack (the room for stacks was full): ");
    AppendAscii(text, CategoryCountsText(without.count) + "\n");
  }
  const CategoryCounts& beyond = stacks.BeyondKept();
  if (beyond.Total() != 0) {
    AppendAscii(
        text, "On " + FormatCount(stacks.StacksBeyondKept()) +
                  " stacks beyond the " +
                  FormatCount(StackTracker::kMaxKeptStacks) +
                  " kestrel keeps: " + CategoryCountsText(beyond.count) + "\n");
  }
  if (stacks.Unseen() > 0) {
    AppendText(text,
               u"Not seen created (made before following began, or by "
               u"a call not followed): ");
    AppendObjects(text, static_cast<uint64_t>(stacks.Unseen()));
    text.push_back(u'\n');
  }
  for (const auto& child : program.children) {
    AppendText(text, u"Not followed: ");
    text += child.second;
    AppendAscii(text, " (PID " + std::to_string(child.first) +
                          "), started by the program\n");
  }
}
