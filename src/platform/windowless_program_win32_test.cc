// kestrelw.exe, the program without a console, as a scheduled task runs it:
// WM_CLOSE (Task Scheduler's "End", taskkill without /F) ends its watch as
// Ctrl+C ends kestrel.exe's, with the report written to -O's file. The
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

TEST(WindowlessProgramWin32Test, CloseMessageEndsTheWatchWithItsReport) {
  wchar_t temp[MAX_PATH + 1];
  ASSERT_NE(0u, ::GetTempPathW(MAX_PATH + 1, temp));
  const std::wstring dir = std::wstring(temp) + L"kestrelw_close_" +
                           std::to_wstring(::GetCurrentProcessId());
  ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr));
  const std::wstring file = dir + L"\\watch.txt";

  const std::wstring exe = KestrelwExe();
  std::wstring commandLine = L"\"" + exe + L"\" -w 1 -O \"" + file + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr,
                               FALSE, 0, nullptr, nullptr, &startup, &started))
      << "cannot start " << std::string(exe.begin(), exe.end()) << ", error "
      << ::GetLastError();
  ::CloseHandle(started.hThread);

  // The window exists before the first sample, which a watch takes
  // whatever comes.
  WindowSearch search = {started.dwProcessId, nullptr};
  // Under Wine, a few seconds to find that it shows none.
  bool listening = WaitFor(UnderWine() ? 50 : 600, [&] {
    for (HWND window = nullptr;
         (window = ::FindWindowExW(nullptr, window, L"kestrel end of session",
                                   nullptr)) != nullptr;)
      FindWindowOf(window, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  DWORD exitCode = 1;
  bool ended = false;
  if (listening) {
    ::PostMessageW(search.found, WM_CLOSE, 0, 0);
    ended = ::WaitForSingleObject(started.hProcess, 60000) == WAIT_OBJECT_0;
  }
  if (!ended)
    ::TerminateProcess(started.hProcess, 1);
  ::GetExitCodeProcess(started.hProcess, &exitCode);
  ::CloseHandle(started.hProcess);

  std::string written;
  HANDLE read = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (read != INVALID_HANDLE_VALUE) {
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(read, buffer, sizeof(buffer), &got, nullptr) && got > 0)
      written.append(buffer, got);
    ::CloseHandle(read);
  }
  std::wstring names = Names(dir);
  for (size_t at = 0, end; (end = names.find(L'\n', at)) != std::wstring::npos;
       at = end + 1)
    ::DeleteFileW((dir + L"\\" + names.substr(at, end - at)).c_str());
  ::RemoveDirectoryW(dir.c_str());

  // Wine without a display shows a process no other process's windows.
  if (!listening && UnderWine())
    GTEST_SKIP() << "Wine shows no window of kestrelw.exe here";
  ASSERT_TRUE(listening) << "kestrelw.exe has no window";
  EXPECT_TRUE(ended) << "WM_CLOSE did not end the watch";
  EXPECT_EQ(0u, exitCode);
  EXPECT_EQ(L"watch.txt\n", names);
  EXPECT_NE(std::string::npos, written.find("Sample 1 at +0 s")) << written;
  EXPECT_NE(std::string::npos, written.find("Growth over ")) << written;
}

}  // namespace
