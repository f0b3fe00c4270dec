#include "text/trace_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Ascii(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

TEST(TraceReportTest, FrameTexts) {
  platform::StackFrame frame;
  frame.module = u"painter.exe";
  frame.moduleOffset = 0x1a2c;
  EXPECT_EQ("painter.exe+0x1a2c", Ascii(FrameText(frame)));
  frame.function = u"LeakBrushes";
  frame.functionOffset = 0x1c;
  EXPECT_EQ("painter.exe!LeakBrushes+0x1c", Ascii(FrameText(frame)));
  frame.file = u"painter.c";
  frame.line = 42;
  EXPECT_EQ("painter.exe!LeakBrushes+0x1c (painter.c:42)",
            Ascii(FrameText(frame)));
  platform::StackFrame nowhere;
  nowhere.moduleOffset = 0x7ff612340000;
  EXPECT_EQ("?+0x7ff612340000", Ascii(FrameText(nowhere)));
}

TEST(TraceReportTest, ProgramEnds) {
  platform::FollowState program;
  EXPECT_EQ("still running, no longer followed", ProgramEndText(program));
  program.exited = true;
  program.exitCode = 3;
  EXPECT_EQ("exited with code 3", ProgramEndText(program));
  program.exitCode = 0xC0000005;
  EXPECT_EQ("exited with code 3221225477 (0xC0000005)",
            ProgramEndText(program));
}

// A stack of twelve frames shows eight and says how many more, or all of
// them under -v; what has no stack, what was not seen created and a child
// not followed each get their line.
TEST(TraceReportTest, FramesAndWhatHasNoStack) {
  StackTracker tracker;
  platform::FollowState state;
  state.pid = 42;
  state.name = u"app.exe";
  platform::FollowedStack stack;
  stack.id = 9;
  for (int i = 0; i < 12; ++i) {
    platform::StackFrame frame;
    frame.module = u"app.exe";
    frame.moduleOffset = 0x100 + i;
    stack.frames.push_back(frame);
  }
  stack.liveByType[0x10] = 2;
  stack.liveByType[0x30] = 1;
  stack.created = 5;
  stack.firstCreationMs = 2000;
  stack.lastCreationMs = 61000;
  state.stacks.push_back(stack);
  state.withoutStackByType[0x0A] = 4;
  state.children.emplace_back(77, u"helper.exe");
  tracker.Note(state, 0, 10);
  tracker.Judge();

  std::u16string text;
  AppendTraceReport(tracker, false, text);
  EXPECT_EQ(
      "Trace of app.exe (PID 42) over 1 sample, 0 s: still running, no "
      "longer followed\n"
      "3 objects left on 1 stack:\n"
      "Stack 1  Pen 1  Brush 2  held at 3 throughout  made 5, first +2 s, "
      "last +1 min\n"
      "    app.exe+0x100\n    app.exe+0x101\n    app.exe+0x102\n"
      "    app.exe+0x103\n    app.exe+0x104\n    app.exe+0x105\n"
      "    app.exe+0x106\n    app.exe+0x107\n"
      "    ... 4 more frames (-v shows every frame)\n"
      "Without a stack (the room for stacks was full): Font 4\n"
      "Not seen created (made before following began, or by a call not "
      "followed): 3 objects\n"
      "Not followed: helper.exe (PID 77), started by the program\n",
      Ascii(text));
  text.clear();
  AppendTraceReport(tracker, true, text);
  EXPECT_NE(std::string::npos, Ascii(text).find("    app.exe+0x10b\n"));
  EXPECT_EQ(std::string::npos, Ascii(text).find("more frames"));
}

}  // namespace
