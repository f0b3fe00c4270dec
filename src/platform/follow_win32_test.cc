// The Windows follow backend on follow_target.exe: the agent loaded by launch
// and by attach, its stacks resolved to function and file:line, and the
// refusals. Runs beside kestrel_agent.dll, as kestrel.exe does.
#include "platform/follow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "follow/follow_target.h"

namespace platform {
namespace {

std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

// A file beside the test.
std::u16string Beside(const wchar_t* name) {
  std::wstring folder = OwnPath();
  folder.resize(folder.find_last_of(L"\\/") + 1);
  std::wstring path = folder + name;
  return std::u16string(path.begin(), path.end());
}

std::u16string Target() { return Beside(L"follow_target.exe"); }

uint32_t Live(const FollowedStack& stack) {
  uint32_t live = 0;
  for (uint32_t count : stack.liveByType)
    live += count;
  return live;
}

// The stack whose innermost frame is in `function`, or null.
const FollowedStack* StackIn(const FollowState& state, const char* function) {
  std::u16string name(function, function + std::strlen(function));
  for (const FollowedStack& stack : state.stacks) {
    if (!stack.frames.empty() && stack.frames[0].function == name)
      return &stack;
  }
  return nullptr;
}

bool EndsWith(const std::u16string& text, const char16_t* end) {
  std::u16string suffix(end);
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Each stack's live count at each read, every 300 ms until the program
// exits.
struct Trace {
  std::vector<uint32_t> leak, cache, churn;
  FollowState last;
};

Trace Follow(FollowedProgram& program) {
  Trace trace;
  for (int read = 0; read < 100; ++read) {
    FollowState state;
    EXPECT_TRUE(ReadFollowState(program, &state));
    const FollowedStack* leak = StackIn(state, "LeakBrushes");
    const FollowedStack* cache = StackIn(state, "CacheFont");
    const FollowedStack* churn = StackIn(state, "ChurnDcs");
    trace.leak.push_back(leak ? Live(*leak) : 0);
    trace.cache.push_back(cache ? Live(*cache) : 0);
    trace.churn.push_back(churn ? Live(*churn) : 0);
    trace.last = state;
    if (state.exited)
      break;
    Sleep(300);
  }
  return trace;
}

FollowRequest Launch(std::vector<std::u16string> arguments) {
  FollowRequest request;
  request.program = Target();
  request.arguments = std::move(arguments);
  return request;
}

TEST(FollowWin32Test, LaunchNamesTheLeakTheCacheAndTheChurn) {
  FollowFailure failure = FollowFailure::None;
  FollowedProgramPtr program = StartFollowing(Launch({u"run", u"5"}), &failure);
  ASSERT_TRUE(program) << "failure " << static_cast<int>(failure);
  Trace trace = Follow(*program);
  ASSERT_TRUE(trace.last.exited);
  EXPECT_EQ(trace.last.exitCode, 0u);
  EXPECT_EQ(trace.last.name, u"follow_target.exe");

  const FollowedStack* leak = StackIn(trace.last, "LeakBrushes");
  ASSERT_TRUE(leak);
  EXPECT_EQ(leak->frames[0].module, u"follow_target.exe");
  EXPECT_TRUE(EndsWith(leak->frames[0].file, u"follow_target.cc"));
  EXPECT_EQ(leak->frames[0].line, static_cast<uint32_t>(kLeakBrushLine));
  // Two threads through the same calls: one stack, every brush on it.
  EXPECT_EQ(leak->liveByType[0x10], Live(*leak));
  EXPECT_EQ(leak->created, Live(*leak));
  EXPECT_GT(Live(*leak), 100u);
  EXPECT_LE(leak->firstCreationMs, leak->lastCreationMs);
  ASSERT_GE(trace.leak.size(), 4u);
  for (size_t i = 2; i < trace.leak.size(); ++i)
    EXPECT_GE(trace.leak[i], trace.leak[i - 1]) << "read " << i;
  EXPECT_GT(trace.leak.back(), trace.leak[1]);

  const FollowedStack* cache = StackIn(trace.last, "CacheFont");
  ASSERT_TRUE(cache);
  EXPECT_EQ(cache->frames[0].line, static_cast<uint32_t>(kCacheFontLine));
  EXPECT_EQ(cache->liveByType[0x0A], 8u);
  EXPECT_EQ(trace.cache[trace.cache.size() / 2], 8u);
  // The font stack's caller is ChurnDcs: frames go on past the first.
  ASSERT_GE(cache->frames.size(), 2u);
  EXPECT_EQ(cache->frames[1].function, u"ChurnDcs");

  const FollowedStack* churn = StackIn(trace.last, "ChurnDcs");
  ASSERT_TRUE(churn);
  EXPECT_EQ(churn->frames[0].line, static_cast<uint32_t>(kChurnDcLine));
  EXPECT_GT(churn->created, 100u);
  for (uint32_t live : trace.churn)
    EXPECT_LE(live, 2u);
  for (const auto& child : trace.last.children)
    ADD_FAILURE() << "child " << child.first << " "
                  << std::string(child.second.begin(), child.second.end());
}

TEST(FollowWin32Test, AttachFollowsARunningProgramFromNow) {
  // The program says when its fonts are cached, before the agent comes.
  const wchar_t* eventName = L"kestrel-follow-test-cached";
  HANDLE cached = CreateEventW(nullptr, TRUE, FALSE, eventName);
  ASSERT_TRUE(cached);
  std::u16string target = Target();
  std::wstring line = L"\"" + std::wstring(target.begin(), target.end()) +
                      L"\" run 3 " + eventName;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, &startup, &started));
  CloseHandle(started.hThread);
  ASSERT_EQ(WaitForSingleObject(cached, 30000), WAIT_OBJECT_0);
  CloseHandle(cached);
  FollowRequest request;
  request.attach = true;
  request.pid = started.dwProcessId;
  FollowFailure failure = FollowFailure::None;
  FollowedProgramPtr program = StartFollowing(request, &failure);
  ASSERT_TRUE(program) << "failure " << static_cast<int>(failure);
  Trace trace = Follow(*program);
  EXPECT_TRUE(trace.last.exited);
  EXPECT_EQ(trace.last.pid, started.dwProcessId);
  const FollowedStack* leak = StackIn(trace.last, "LeakBrushes");
  ASSERT_TRUE(leak);
  EXPECT_EQ(leak->frames[0].line, static_cast<uint32_t>(kLeakBrushLine));
  EXPECT_GT(Live(*leak), 50u);
  // The fonts were cached before the agent came: none is seen created.
  EXPECT_EQ(StackIn(trace.last, "CacheFont"), nullptr);
  WaitForSingleObject(started.hProcess, 10000);
  CloseHandle(started.hProcess);
}

TEST(FollowWin32Test, AProgramThatCrashesKeepsWhatItLeaked) {
  FollowFailure failure = FollowFailure::None;
  FollowedProgramPtr program =
      StartFollowing(Launch({u"crash", u"1"}), &failure);
  ASSERT_TRUE(program) << "failure " << static_cast<int>(failure);
  Trace trace = Follow(*program);
  ASSERT_TRUE(trace.last.exited);
  EXPECT_EQ(trace.last.exitCode, 0xC0000005u);
  const FollowedStack* leak = StackIn(trace.last, "LeakBrushes");
  ASSERT_TRUE(leak);
  EXPECT_GT(Live(*leak), 20u);
}

TEST(FollowWin32Test, AProgramThatExitsAtOnceIsFollowedToItsEnd) {
  FollowFailure failure = FollowFailure::None;
  FollowedProgramPtr program = StartFollowing(Launch({u"exit"}), &failure);
  ASSERT_TRUE(program) << "failure " << static_cast<int>(failure);
  Trace trace = Follow(*program);
  EXPECT_TRUE(trace.last.exited);
  EXPECT_EQ(trace.last.exitCode, 3u);
  EXPECT_TRUE(trace.last.stacks.empty());
}

TEST(FollowWin32Test, AProgramNoLongerFollowedRunsOn) {
  FollowFailure failure = FollowFailure::None;
  FollowedProgramPtr program = StartFollowing(Launch({u"run", u"2"}), &failure);
  ASSERT_TRUE(program) << "failure " << static_cast<int>(failure);
  FollowState state;
  ASSERT_TRUE(ReadFollowState(*program, &state));
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                               FALSE, state.pid);
  ASSERT_TRUE(process);
  Sleep(300);
  StopFollowing(*program);
  ASSERT_TRUE(ReadFollowState(*program, &state));
  const FollowedStack* leak = StackIn(state, "LeakBrushes");
  uint32_t stopped = leak ? Live(*leak) : 0;
  Sleep(500);
  ASSERT_TRUE(ReadFollowState(*program, &state));
  leak = StackIn(state, "LeakBrushes");
  // Nothing is recorded once stopped, and the program ends as it would.
  EXPECT_EQ(leak ? Live(*leak) : 0, stopped);
  program.reset();
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  DWORD code = 1;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(process);
}

// 16,384 stacks, twice the agent's room: the brushes kept (every fourth)
// are all counted, on their stacks or without one.
TEST(FollowWin32Test, CountsStayExactWhenTheStacksOverflow) {
  FollowFailure failure = FollowFailure::None;
  FollowedProgramPtr program = StartFollowing(Launch({u"stacks"}), &failure);
  ASSERT_TRUE(program) << "failure " << static_cast<int>(failure);
  Trace trace = Follow(*program);
  ASSERT_TRUE(trace.last.exited);
  uint64_t onStacks = 0;
  for (const FollowedStack& stack : trace.last.stacks)
    onStacks += stack.liveByType[0x10];
  uint32_t without = trace.last.withoutStackByType[0x10];
  EXPECT_EQ(onStacks + without, 4096u);
  EXPECT_GT(without, 0u);
  EXPECT_LE(trace.last.stacks.size(), 8192u);
  EXPECT_GT(trace.last.stacks.size(), 8000u);
}

TEST(FollowWin32Test, AChildIsNamedNotFollowed) {
  FollowFailure failure = FollowFailure::None;
  FollowedProgramPtr program =
      StartFollowing(Launch({u"spawn", u"2"}), &failure);
  ASSERT_TRUE(program) << "failure " << static_cast<int>(failure);
  Trace trace = Follow(*program);
  ASSERT_EQ(trace.last.children.size(), 1u);
  EXPECT_NE(trace.last.children[0].first, trace.last.pid);
  EXPECT_EQ(trace.last.children[0].second, u"follow_target.exe");
  // The child's brushes are its own: the program's stack holds the
  // program's alone, as many as it made.
  const FollowedStack* leak = StackIn(trace.last, "LeakBrushes");
  ASSERT_TRUE(leak);
  EXPECT_EQ(Live(*leak), leak->created);
}

// A 32-bit program (built when the build has i686 MinGW) is refused by its
// image, before it starts.
TEST(FollowWin32Test, A32BitProgramIsRefused) {
  FollowRequest request;
  request.program = Beside(L"follow_target32.exe");
  if (GetFileAttributesW(reinterpret_cast<const wchar_t*>(
          request.program.c_str())) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no follow_target32.exe: no 32-bit MinGW";
  FollowFailure failure = FollowFailure::None;
  EXPECT_FALSE(StartFollowing(request, &failure));
  EXPECT_EQ(failure, FollowFailure::Not64Bit);
}

// Run by AnAgentMissingIsRefused from a copy of this program in a folder
// without the agent.
TEST(FollowWin32Test, WithoutTheAgentBeside) {
  if (GetFileAttributesW(reinterpret_cast<const wchar_t*>(
          Beside(L"kestrel_agent.dll").c_str())) != INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "the agent is beside this copy";
  FollowFailure failure = FollowFailure::None;
  EXPECT_FALSE(StartFollowing(Launch({u"exit"}), &failure));
  EXPECT_EQ(failure, FollowFailure::AgentMissing);
}

TEST(FollowWin32Test, AnAgentMissingIsRefused) {
  wchar_t temporary[MAX_PATH];
  ASSERT_TRUE(GetTempPathW(MAX_PATH, temporary));
  std::wstring folder = std::wstring(temporary) + L"kestrel-follow-test-" +
                        std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  std::wstring copy = folder + L"\\kestrel_follow_tests.exe";
  ASSERT_TRUE(CopyFileW(OwnPath().c_str(), copy.c_str(), TRUE));
  std::wstring line =
      L"\"" + copy + L"\" --gtest_filter=FollowWin32Test.WithoutTheAgentBeside";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, &startup, &started));
  EXPECT_EQ(WaitForSingleObject(started.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  EXPECT_TRUE(GetExitCodeProcess(started.hProcess, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST(FollowWin32Test, Refusals) {
  struct Case {
    FollowRequest request;
    FollowFailure expected;
  };
  FollowRequest missingPath;
  missingPath.program = u"C:\\no\\such\\folder\\program.exe";
  FollowRequest missingName;
  missingName.program = u"no_such_program_of_kestrel.exe";
  FollowRequest noProcess;
  noProcess.attach = true;
  noProcess.pid = 0x7FFFFFF0;
  const Case cases[] = {
      {missingPath, FollowFailure::ProgramNotFound},
      {missingName, FollowFailure::ProgramNotFound},
      {noProcess, FollowFailure::NoSuchProcess},
  };
  for (const Case& c : cases) {
    FollowFailure failure = FollowFailure::None;
    EXPECT_FALSE(StartFollowing(c.request, &failure));
    EXPECT_EQ(failure, c.expected)
        << std::string(c.request.program.begin(), c.request.program.end());
  }
}

}  // namespace
}  // namespace platform
