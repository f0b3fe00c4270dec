// A program for the follow tests, built with DWARF 4 line information: two
// threads each leak brushes in LeakBrushes, cache fonts in CacheFont and
// churn DCs in ChurnDcs, at once.
//   follow_target run SECONDS [EVENT]    runs, then exits 0
//   follow_target crash SECONDS [EVENT]  runs, then dereferences null
//   follow_target pid SECONDS            prints its PID, then runs
//   follow_target exit                   exits 3 at once
//   follow_target stacks                 makes brushes from 16,384 distinct
//                                        stacks, keeps every fourth, exits
//   follow_target spawn SECONDS          starts "follow_target run SECONDS",
//                                        then runs
// EVENT names an event set once every font is cached.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "follow_target.h"

namespace {

constexpr int kThreadsPerKind = 2;
constexpr int kFonts = 8;
volatile LONG stopping = 0;
HFONT volatile fonts[kFonts];

// A brush every 10 ms per thread, never deleted.
__attribute__((noinline)) void LeakBrushes() {
  for (int i = 0; !stopping; ++i) {
    COLORREF color = RGB(i & 0xFF, 0, 0);
    // The created brush is dropped on the floor.
    HBRUSH brush = nullptr;
    static_assert(__LINE__ + 1 == kLeakBrushLine, "kLeakBrushLine");
    brush = CreateSolidBrush(color);
    (void)brush;
    Sleep(10);
  }
}

// Eight fonts, made once by whichever thread asks first, kept for good.
__attribute__((noinline)) HFONT CacheFont(int index) {
  if (fonts[index])
    return fonts[index];
  LOGFONTW font = {};
  font.lfHeight = -(10 + index);
  std::wcscpy(font.lfFaceName, L"Tahoma");
  static_assert(__LINE__ + 1 == kCacheFontLine, "kCacheFontLine");
  HFONT made = CreateFontIndirectW(&font);
  if (InterlockedCompareExchangePointer(
          reinterpret_cast<void* volatile*>(&fonts[index]), made, nullptr))
    DeleteObject(made);
  return fonts[index];
}

// A DC made and deleted again and again.
__attribute__((noinline)) void ChurnDcs() {
  for (int i = 0; !stopping; ++i) {
    static_assert(__LINE__ + 1 == kChurnDcLine, "kChurnDcLine");
    HDC dc = CreateCompatibleDC(nullptr);
    CacheFont(i % kFonts);
    DeleteDC(dc);
    Sleep(1);
  }
}

// 2^14 paths of calls through Left and Right, each its own stack.
HBRUSH Descend(unsigned path, int levels);
__attribute__((noinline)) HBRUSH Left(unsigned path, int levels) {
  return Descend(path, levels);
}
__attribute__((noinline)) HBRUSH Right(unsigned path, int levels) {
  return Descend(path, levels);
}
__attribute__((noinline)) HBRUSH Descend(unsigned path, int levels) {
  if (levels == 0)
    return CreateSolidBrush(RGB(0, 0, path & 0xFF));
  return (path & 1) ? Right(path >> 1, levels - 1)
                    : Left(path >> 1, levels - 1);
}

DWORD WINAPI LeakThread(void*) {
  LeakBrushes();
  return 0;
}

DWORD WINAPI ChurnThread(void*) {
  ChurnDcs();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2)
    return 2;
  if (std::strcmp(argv[1], "exit") == 0)
    return 3;
  if (std::strcmp(argv[1], "stacks") == 0) {
    for (unsigned path = 0; path < (1u << 14); ++path) {
      HBRUSH brush = Descend(path, 14);
      if (path % 4 != 0)
        DeleteObject(brush);
    }
    return 0;
  }
  int seconds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (std::strcmp(argv[1], "pid") == 0) {
    std::printf("%lu\n", GetCurrentProcessId());
    std::fflush(stdout);
  }
  if (std::strcmp(argv[1], "spawn") == 0) {
    char line[MAX_PATH + 32];
    GetModuleFileNameA(nullptr, line + 1, MAX_PATH);
    line[0] = '"';
    std::strcat(line, "\" run ");
    std::strcat(line, argv[2]);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &child))
      return 4;
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  HANDLE threads[2 * kThreadsPerKind];
  for (int i = 0; i < kThreadsPerKind; ++i) {
    threads[2 * i] = CreateThread(nullptr, 0, LeakThread, nullptr, 0, nullptr);
    threads[2 * i + 1] =
        CreateThread(nullptr, 0, ChurnThread, nullptr, 0, nullptr);
  }
  if (argc > 3) {
    for (int i = 0; i < kFonts; ++i) {
      while (!fonts[i])
        Sleep(1);
    }
    HANDLE cached = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (cached)
      SetEvent(cached);
  }
  Sleep(static_cast<DWORD>(seconds) * 1000);
  if (std::strcmp(argv[1], "crash") == 0) {
    // Ends as Windows ends a crashed program, without Wine's debugger.
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* exception) -> LONG {
      TerminateProcess(GetCurrentProcess(),
                       exception->ExceptionRecord->ExceptionCode);
      return EXCEPTION_CONTINUE_SEARCH;
    });
    *static_cast<volatile int*>(nullptr) = 1;
  }
  InterlockedExchange(&stopping, 1);
  WaitForMultipleObjects(2 * kThreadsPerKind, threads, TRUE, INFINITE);
  return 0;
}
