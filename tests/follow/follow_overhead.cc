// What following costs a program: CreateSolidBrush and DeleteObject pairs
// called straight, and the same calls through the import table the agent
// has redirected, in alternating rounds. Shares a section with the agent
// as kestrel does, then loads kestrel_agent.dll from beside itself. Prints
// one JSON line: the median time of a pair either way and their ratio.
// Exits 1 only when the agent cannot be loaded: the ratio is a benchmark's,
// never a test's verdict.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "agent/follow_shared.h"

namespace {

using CreateSolidBrushFn = HBRUSH(WINAPI*)(COLORREF);
using DeleteObjectFn = BOOL(WINAPI*)(HGDIOBJ);

// Wall time, in seconds: Wine's thread clock does not advance with a
// thread's own time; the rounds alternate, so that a busy machine slows
// both alike, and the medians leave out the rounds it disturbed.
double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

// Straight to gdi32, past any redirection.
__attribute__((noinline)) void StraightPairs(CreateSolidBrushFn create,
                                             DeleteObjectFn remove, int pairs) {
  for (int i = 0; i < pairs; ++i)
    remove(create(RGB(i & 0xFF, 0, 0)));
}

// Through the import table, as the program's own code calls.
__attribute__((noinline)) void ImportedPairs(int pairs) {
  for (int i = 0; i < pairs; ++i)
    DeleteObject(CreateSolidBrush(RGB(i & 0xFF, 0, 0)));
}

bool LoadAgent() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring agent(path, length);
  agent.resize(agent.find_last_of(L"\\/") + 1);
  agent += L"kestrel_agent.dll";
  std::wstring name = std::wstring(follow_shared::kSectionPrefix) +
                      std::to_wstring(GetCurrentProcessId());
  HANDLE mapping =
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                         sizeof(follow_shared::Section), name.c_str());
  if (!mapping)
    return false;
  auto* section = static_cast<follow_shared::Section*>(
      MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  if (!section)
    return false;
  section->header.magic = follow_shared::kMagic;
  section->header.version = follow_shared::kVersion;
  section->header.size = sizeof(follow_shared::Section);
  section->header.startTick = GetTickCount64();
  section->header.following = 1;
  return LoadLibraryW(agent.c_str()) &&
         section->header.agentState == follow_shared::kAgentReady &&
         section->header.patchedImports > 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  HMODULE gdi32 = GetModuleHandleW(L"gdi32.dll");
  auto create = reinterpret_cast<CreateSolidBrushFn>(
      reinterpret_cast<void*>(GetProcAddress(gdi32, "CreateSolidBrush")));
  auto remove = reinterpret_cast<DeleteObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(gdi32, "DeleteObject")));
  if (!create || !remove || !LoadAgent()) {
    std::fprintf(stderr, "follow_overhead: the agent could not be loaded\n");
    return 1;
  }
  // Rounds of about 50 ms.
  int pairs = 1000;
  for (;;) {
    double start = Seconds();
    StraightPairs(create, remove, pairs);
    if (Seconds() - start >= 0.05 || pairs >= (1 << 22))
      break;
    pairs *= 2;
  }
  std::vector<double> straight, followed;
  for (int round = 0; round < 9; ++round) {
    double start = Seconds();
    StraightPairs(create, remove, pairs);
    double middle = Seconds();
    ImportedPairs(pairs);
    double end = Seconds();
    straight.push_back((middle - start) / pairs * 1e9);
    followed.push_back((end - middle) / pairs * 1e9);
  }
  double unfollowedNs = Median(straight);
  double followedNs = Median(followed);
  std::printf(
      "{\"pairs\": %d, \"unfollowed_ns\": %.1f, \"followed_ns\": %.1f, "
      "\"ratio\": %.2f}\n",
      pairs, unfollowedNs, followedNs, followedNs / unfollowedNs);
  return 0;
}
