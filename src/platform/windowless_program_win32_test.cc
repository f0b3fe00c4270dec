// kestrelw.exe, the program without a console, as a scheduled task runs it:
// WM_CLOSE (Task Scheduler's "End", taskkill without /F) ends its watch as
// Ctrl+C ends kestrel.exe's, with the report written to -O's file, and the
// end of the session ends it and empties its metrics file. The
// environment's KESTREL_EXE, where it is set, names the kestrel.exe whose
// kestrelw.exe is run (the shipped zip's, on a Windows runner).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring KestrelwExe() {
  const wchar_t* chosen = _wgetenv(L"KESTREL_EXE");
  std::string built = KESTREL_EXE;
  std::wstring exe = chosen && *chosen
                         ? std::wstring(chosen)
                         : std::wstring(built.begin(), built.end());
  size_t name = exe.find_last_of(L"\\/");
  return exe.substr(0, name == std::wstring::npos ? 0 : name + 1) +
         L"kestrelw.exe";
}

// The names in `folder`, one a line.
std::wstring Names(const std::wstring& folder) {
  std::wstring names;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do {
    if (found.cFileName[0] != L'.')
      names += std::wstring(found.cFileName) + L"\n";
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM search) {
  auto* wanted = reinterpret_cast<WindowSearch*>(search);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != wanted->processId)
    return TRUE;
  wanted->found = window;
  return FALSE;
}

// Waits, a tenth of a second at a time, `tries` times at most, until
// `ready` holds; whether it did.
template <typename Condition>
bool WaitFor(int tries, Condition ready) {
  for (; tries > 0; --tries) {
    if (ready())
      return true;
    ::Sleep(100);
  }
  return false;
}

// Wine, which names its version in an export of ntdll that Windows lacks.
bool UnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// What a watch of kestrelw.exe left when `message` reached its window.
struct Ended {
  bool listening = false;  // its window was found
  bool ended = false;      // it exited after the message
  DWORD exitCode = 1;
  std::wstring names;   // of the files in its folder
  std::string written;  // in -O's file
};

// Starts kestrelw.exe with `options` and -O FOLDER\`name` in a folder of the
// test's own, and posts `message` to its window.
Ended WatchUntil(const std::wstring& options, const std::wstring& name,
                 UINT message, WPARAM wParam, LPARAM lParam) {
  Ended seen;
  wchar_t temp[MAX_PATH + 1];
  EXPECT_NE(0u, ::GetTempPathW(MAX_PATH + 1, temp));
  const std::wstring dir = std::wstring(temp) + L"kestrelw_end_" +
                           std::to_wstring(::GetCurrentProcessId());
  EXPECT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr));
  const std::wstring file = dir + L"\\" + name;

  const std::wstring exe = KestrelwExe();
  std::wstring commandLine =
      L"\"" + exe + L"\" " + options + L" -O \"" + file + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        0, nullptr, nullptr, &startup, &started)) {
    ADD_FAILURE() << "cannot start " << std::string(exe.begin(), exe.end())
                  << ", error " << ::GetLastError();
    ::RemoveDirectoryW(dir.c_str());
    return seen;
  }
  ::CloseHandle(started.hThread);

  // The window exists before the first sample, which a watch takes
  // whatever comes. Under Wine, a few seconds to find that it shows none.
  WindowSearch search = {started.dwProcessId, nullptr};
  seen.listening = WaitFor(UnderWine() ? 50 : 600, [&] {
    for (HWND window = nullptr;
         (window = ::FindWindowExW(nullptr, window, L"kestrel end of session",
                                   nullptr)) != nullptr;)
      FindWindowOf(window, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  if (seen.listening) {
    ::PostMessageW(search.found, message, wParam, lParam);
    seen.ended =
        ::WaitForSingleObject(started.hProcess, 60000) == WAIT_OBJECT_0;
  }
  if (!seen.ended)
    ::TerminateProcess(started.hProcess, 1);
  ::GetExitCodeProcess(started.hProcess, &seen.exitCode);
  ::CloseHandle(started.hProcess);

  HANDLE read = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (read != INVALID_HANDLE_VALUE) {
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(read, buffer, sizeof(buffer), &got, nullptr) && got > 0)
      seen.written.append(buffer, got);
    ::CloseHandle(read);
  }
  seen.names = Names(dir);
  for (size_t at = 0, end;
       (end = seen.names.find(L'\n', at)) != std::wstring::npos; at = end + 1)
    ::DeleteFileW((dir + L"\\" + seen.names.substr(at, end - at)).c_str());
  ::RemoveDirectoryW(dir.c_str());
  return seen;
}

TEST(WindowlessProgramWin32Test, CloseMessageEndsTheWatchWithItsReport) {
  Ended seen = WatchUntil(L"-w 1", L"watch.txt", WM_CLOSE, 0, 0);
  // Wine without a display shows a process no other process's windows.
  if (!seen.listening && UnderWine())
    GTEST_SKIP() << "Wine shows no window of kestrelw.exe here";
  ASSERT_TRUE(seen.listening) << "kestrelw.exe has no window";
  EXPECT_TRUE(seen.ended) << "WM_CLOSE did not end the watch";
  EXPECT_EQ(0u, seen.exitCode);
  EXPECT_EQ(L"watch.txt\n", seen.names);
  EXPECT_NE(std::string::npos, seen.written.find("Sample 1 at +0 s"))
      << seen.written;
  EXPECT_NE(std::string::npos, seen.written.find("Growth over "))
      << seen.written;
}

// A logoff ends the watch and empties its metrics file: the session's
// processes are gone, and a collector must not serve their series.
TEST(WindowlessProgramWin32Test, EndOfSessionEmptiesTheMetricsFile) {
  Ended seen = WatchUntil(L"-w 1 -o prometheus", L"metrics.prom", WM_ENDSESSION,
                          TRUE, ENDSESSION_LOGOFF);
  if (!seen.listening && UnderWine())
    GTEST_SKIP() << "Wine shows no window of kestrelw.exe here";
  ASSERT_TRUE(seen.listening) << "kestrelw.exe has no window";
  EXPECT_TRUE(seen.ended) << "WM_ENDSESSION did not end the watch";
  EXPECT_EQ(0u, seen.exitCode);
  EXPECT_EQ(L"metrics.prom\n", seen.names);
  EXPECT_EQ("", seen.written);
}

}  // namespace
