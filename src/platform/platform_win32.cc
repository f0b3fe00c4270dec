// The Windows backend: forwards each operation to the real API.
//
// platform.h comes first: windows.h defines several of its names as macros.
#include "platform/platform.h"
#include "platform/program_io.h"

#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/terminal_text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
static_assert(sizeof(::PROCESSENTRY32W) == sizeof(platform::PROCESSENTRY32W),
              "PROCESSENTRY32W layout");
static_assert(offsetof(::PROCESSENTRY32W, szExeFile) ==
                  offsetof(platform::PROCESSENTRY32W, szExeFile),
              "szExeFile offset");
static_assert(sizeof(::MEMORY_BASIC_INFORMATION) ==
                  sizeof(platform::MEMORY_BASIC_INFORMATION),
              "MEMORY_BASIC_INFORMATION layout");
static_assert(offsetof(::MEMORY_BASIC_INFORMATION, RegionSize) ==
                  offsetof(platform::MEMORY_BASIC_INFORMATION, RegionSize),
              "RegionSize offset");
static_assert(offsetof(::MEMORY_BASIC_INFORMATION, State) ==
                  offsetof(platform::MEMORY_BASIC_INFORMATION, State),
              "State offset");
static_assert(offsetof(::MEMORY_BASIC_INFORMATION, Protect) ==
                  offsetof(platform::MEMORY_BASIC_INFORMATION, Protect),
              "Protect offset");

namespace platform {
namespace {

// The standard handle `which` when it is a console, null when it is a file,
// a pipe or missing.
::HANDLE ConsoleOf(DWORD which) {
  ::HANDLE handle = ::GetStdHandle(which);
  DWORD mode = 0;
  return handle && handle != INVALID_HANDLE_VALUE &&
                 ::GetConsoleMode(handle, &mode)
             ? handle
             : nullptr;
}

// Examined once per run.
::HANDLE StdoutConsole() {
  static ::HANDLE const console = ConsoleOf(STD_OUTPUT_HANDLE);
  return console;
}

::HANDLE StderrConsole() {
  static ::HANDLE const console = ConsoleOf(STD_ERROR_HANDLE);
  return console;
}

// The characters that bytes from AppendInCodePage stand for in the runtime's
// locale, with each "\n" as CR LF, as text mode writes it to a file. The
// bytes start and end on character boundaries: a code page 936 trail byte
// can look like ASCII, so only a lead byte's conversion steps over it.
std::wstring DecodeForConsole(const char* bytes, size_t length) {
  std::wstring text;
  text.reserve(length + length / 16);
  size_t at = 0;
  while (at < length) {
    auto byte = static_cast<unsigned char>(bytes[at]);
    if (byte < 0x80) {
      if (byte == '\n')
        text.push_back(L'\r');
      text.push_back(static_cast<wchar_t>(ShownOnTerminal(byte)));
      ++at;
      continue;
    }
    wchar_t unit = 0;
    int count = std::mbtowc(&unit, bytes + at, length - at);
    if (count <= 0) {
      text.push_back(L'?');
      ++at;
    } else {
      text.push_back(
          static_cast<wchar_t>(ShownOnTerminal(static_cast<char16_t>(unit))));
      at += static_cast<size_t>(count);
    }
  }
  return text;
}

// Writes `text` to `console` whole.
bool WriteConsoleText(::HANDLE console, const std::wstring& text) {
  const wchar_t* next = text.data();
  size_t left = text.size();
  while (left > 0) {
    // Consoles of older Windows refuse very large writes.
    DWORD piece = static_cast<DWORD>(std::min<size_t>(left, 8192));
    DWORD written = 0;
    if (!::WriteConsoleW(console, next, piece, &written, nullptr) ||
        written == 0)
      return false;
    next += written;
    left -= written;
  }
  return true;
}

// Set by the console control handler and the end-session window, which run
// on threads of their own.
std::atomic<bool> interrupted{false};

// Set with `interrupted` when the interrupt is the end of the session.
std::atomic<bool> sessionEnding{false};

// A manual-reset event, signalled with the flag, that a wait watches.
HANDLE InterruptEvent() {
  static const UniqueHandle<EmptyHandle::Null> event(
      ::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  return event.get();
}

}  // namespace

void RequestInterrupt() {
  interrupted = true;
  if (HANDLE event = InterruptEvent())
    ::SetEvent(event);
}

namespace {

// The end of the console window, of the user's session or of the system:
// the process ends as soon as the handler (or the window procedure) returns,
// so it never returns: the main thread ends the watch as Ctrl+C does, and
// the program's exit ends this thread with it. Windows gives a handler
// about five seconds before it ends the process regardless.
[[noreturn]] void WaitForTheWatchToEnd() {
  for (;;)
    ::Sleep(INFINITE);
}

// Whether interrupts are caught (a watch): otherwise the console's control
// events end the run as Windows ends it.
std::atomic<bool> catchingInterrupts{false};

// The new file of the ReplacementFile being written, which a run ended from
// the console must not leave behind; the lock keeps the handler from
// marking it while it is being closed and moved into place.
SRWLOCK openReplacementLock = SRWLOCK_INIT;
::HANDLE openReplacement = INVALID_HANDLE_VALUE;

// Holds openReplacementLock for its scope.
struct OpenReplacementLock {
  OpenReplacementLock() { ::AcquireSRWLockExclusive(&openReplacementLock); }
  ~OpenReplacementLock() { ::ReleaseSRWLockExclusive(&openReplacementLock); }
  OpenReplacementLock(const OpenReplacementLock&) = delete;
  OpenReplacementLock& operator=(const OpenReplacementLock&) = delete;
};

// Marks the new file being written for deletion: the system removes it
// when the process ends and closes its handle (FILE_DISPOSITION_INFO).
void DeleteOpenReplacementAtExit() {
  OpenReplacementLock lock;
  if (openReplacement != INVALID_HANDLE_VALUE) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    ::SetFileInformationByHandle(openReplacement, FileDispositionInfo,
                                 &disposition, sizeof(disposition));
  }
}

BOOL WINAPI OnConsoleControl(DWORD type) {
  // A single run: Ctrl+C, Ctrl+Break and a closed console end it through
  // the next handler (the system's, which exits), without the destructors
  // that would remove the new file; so it is removed here first.
  if (!catchingInterrupts) {
    DeleteOpenReplacementAtExit();
    return FALSE;
  }
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      RequestInterrupt();
      return TRUE;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      sessionEnding = true;
      [[fallthrough]];
    case CTRL_CLOSE_EVENT:
      RequestInterrupt();
      WaitForTheWatchToEnd();
    default:
      return FALSE;
  }
}

// Installs the console control handler, once.
void HandleConsoleControl() {
  static const bool installed =
      ::SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
  (void)installed;
}

// A program that uses user32 hears of a logoff or a shutdown through its
// top-level windows (WM_QUERYENDSESSION, then WM_ENDSESSION), not through
// the console handler, and a windowless one has no console at all: a hidden
// window of its own, on a thread of its own, hears it for both, and hears
// WM_CLOSE, which those that end a windowless program send.
LRESULT CALLBACK OnEndSessionMessage(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
  if (message == WM_QUERYENDSESSION)
    return TRUE;
  // Task Scheduler's "End", or taskkill without /F, asks the process's
  // windows to close: the watch ends as on Ctrl+C, its report written, and
  // the window stays to hear the end of the session.
  if (message == WM_CLOSE) {
    RequestInterrupt();
    return 0;
  }
  if (message == WM_ENDSESSION && wParam) {
    sessionEnding = true;
    RequestInterrupt();
    WaitForTheWatchToEnd();
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// Signalled by the window's thread once the window exists, or cannot.
DWORD WINAPI RunEndSessionWindow(void* ready) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = OnEndSessionMessage;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"kestrel end of session";
  // Never shown; a message-only window would hear no broadcast.
  HWND window = ::RegisterClassW(&windowClass)
                    ? ::CreateWindowExW(0, windowClass.lpszClassName,
                                        L"kestrel", 0, 0, 0, 0, 0, nullptr,
                                        nullptr, windowClass.hInstance, nullptr)
                    : nullptr;
  ::SetEvent(static_cast<HANDLE>(ready));
  if (!window)
    return 1;
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace

uint64_t MonotonicMilliseconds() { return ::GetTickCount64(); }

bool ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId) {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(processId, &session))
    return false;
  *sessionId = session;
  return true;
}

void CatchInterrupts() {
  // The event is made before the handlers can ask for it.
  InterruptEvent();
  catchingInterrupts = true;
  HandleConsoleControl();
  // The window's own GDI and USER objects exist before the first sample,
  // so that they never show as the watch's own growth.
  UniqueHandle<EmptyHandle::Null> ready(
      ::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!ready)
    return;
  if (HANDLE thread = ::CreateThread(nullptr, 0, RunEndSessionWindow,
                                     ready.get(), 0, nullptr)) {
    ::WaitForSingleObject(ready.get(), 5000);
    ::CloseHandle(thread);
  }
}

bool InterruptRequested() { return interrupted; }

bool SessionEnding() { return sessionEnding; }

bool WaitUntil(uint64_t deadlineMilliseconds) {
  HANDLE event = InterruptEvent();
  // Since Windows 8 a wait's timeout leaves out the time the machine sleeps
  // ("Wait Functions"), so a sample due while it slept would come a whole
  // interval after it wakes. A relative waitable timer counts that time: one
  // "that would have expired during sleep" expires "immediately upon waking"
  // (QueryUnbiasedInterruptTime, Remarks). GetTickCount64 counts it too.
  static const UniqueHandle<EmptyHandle::Null> timer(
      ::CreateWaitableTimerW(nullptr, TRUE, nullptr));
  for (;;) {
    if (interrupted)
      return false;
    uint64_t now = ::GetTickCount64();
    if (now >= deadlineMilliseconds)
      return true;
    uint64_t left = deadlineMilliseconds - now;
    auto wait = static_cast<DWORD>(std::min<uint64_t>(left, 0x7FFFFFFF));
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(wait) * 10000;  // 100 ns units
    HANDLE handles[2] = {event, timer.get()};
    if (event && timer &&
        ::SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE))
      ::WaitForMultipleObjects(2, handles, FALSE, wait);
    else if (event)
      ::WaitForSingleObject(event, wait);
    else
      ::Sleep(wait);
  }
}

HANDLE CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId) {
  return ::CreateToolhelp32Snapshot(flags, processId);
}

bool Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return ::Process32FirstW(
             snapshot, reinterpret_cast<::PROCESSENTRY32W*>(entry)) != FALSE;
}

bool Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return ::Process32NextW(snapshot,
                          reinterpret_cast<::PROCESSENTRY32W*>(entry)) != FALSE;
}

uint32_t GetLastError() { return ::GetLastError(); }

HANDLE OpenProcess(uint32_t desiredAccess, bool inheritHandle,
                   uint32_t processId) {
  return ::OpenProcess(desiredAccess, inheritHandle ? TRUE : FALSE, processId);
}

bool CloseHandle(HANDLE handle) { return ::CloseHandle(handle) != FALSE; }

uint32_t GetCurrentProcessId() { return ::GetCurrentProcessId(); }

uint32_t GetGuiResources(HANDLE process, uint32_t flags) {
  return ::GetGuiResources(process, flags);
}

HMODULE GetModuleHandleW(const char16_t* moduleName) {
  return ::GetModuleHandleW(reinterpret_cast<const wchar_t*>(moduleName));
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
  return reinterpret_cast<FARPROC>(
      ::GetProcAddress(static_cast<::HMODULE>(module), procName));
}

size_t VirtualQuery(const void* address, MEMORY_BASIC_INFORMATION* buffer,
                    size_t length) {
  return ::VirtualQuery(
      address, reinterpret_cast<::MEMORY_BASIC_INFORMATION*>(buffer), length);
}

const char16_t* StrStrIW(const char16_t* text, const char16_t* search) {
  return reinterpret_cast<const char16_t*>(
      ::StrStrIW(reinterpret_cast<const wchar_t*>(text),
                 reinterpret_cast<const wchar_t*>(search)));
}

int CompareStringOrdinal(const char16_t* first, int firstLength,
                         const char16_t* second, int secondLength,
                         bool ignoreCase) {
  return ::CompareStringOrdinal(reinterpret_cast<const wchar_t*>(first),
                                firstLength,
                                reinterpret_cast<const wchar_t*>(second),
                                secondLength, ignoreCase ? TRUE : FALSE);
}

bool SetLocale(const char* name) {
  return std::setlocale(LC_ALL, name) != nullptr;
}

void AppendUnitInCodePage(char16_t unit, std::string& bytes) {
  // The runtime writes a look-alike for some characters the code page
  // lacks (Þ as "T"); only a conversion that reads back as the same unit
  // represents it.
  char encoded[MB_LEN_MAX];
  int count = std::wctomb(encoded, static_cast<wchar_t>(unit));
  wchar_t decoded = 0;
  if (count <= 0 ||
      std::mbtowc(&decoded, encoded, static_cast<size_t>(count)) != count ||
      decoded != static_cast<wchar_t>(unit))
    bytes.push_back('?');
  else
    bytes.append(encoded, static_cast<size_t>(count));
}

bool WriteStdoutText(const char* bytes, size_t length) {
  ::HANDLE console = StdoutConsole();
  if (!console)
    return WriteStdout(bytes, length);
  // Written through the runtime, these bytes show in the console's own code
  // page (wrong glyphs where that is not 936), and under Wine the rest of a
  // write is lost from its first byte outside ASCII. UTF-16 shows right
  // whatever the code page. What waits in the runtime's buffer goes first.
  if (std::fflush(stdout) != 0)
    return false;
  return WriteConsoleText(console, DecodeForConsole(bytes, length));
}

bool WriteStdoutUtf8(const char* bytes, size_t length, bool exact) {
  ::HANDLE console = StdoutConsole();
  if (!console)
    return exact ? WriteStdoutExact(bytes, length) : WriteStdout(bytes, length);
  if (std::fflush(stdout) != 0)
    return false;
  // A document's pieces end between its records, never inside a character.
  int units = length == 0
                  ? 0
                  : ::MultiByteToWideChar(CP_UTF8, 0, bytes,
                                          static_cast<int>(length), nullptr, 0);
  std::wstring decoded(static_cast<size_t>(units), L'\0');
  if (units > 0)
    ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(length),
                          &decoded[0], units);
  std::wstring text;
  text.reserve(decoded.size() + decoded.size() / 16);
  // The console obeys the control characters that WriteConsoleW is given
  // (ENABLE_PROCESSED_OUTPUT, on by default: a bell, a backspace; with
  // ENABLE_VIRTUAL_TERMINAL_PROCESSING, as Windows Terminal sets it, escape
  // sequences too), so a name's are shown as "?", as in the text views.
  for (wchar_t unit : decoded) {
    if (unit == L'\n')
      text.push_back(L'\r');
    text.push_back(
        static_cast<wchar_t>(ShownOnTerminal(static_cast<char16_t>(unit))));
  }
  return WriteConsoleText(console, text);
}

bool StdoutIsTerminal() { return StdoutConsole() != nullptr; }

bool StderrIsTerminal() { return StderrConsole() != nullptr; }

bool StdoutIsPipe() {
  static const bool pipe =
      ::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_PIPE;
  return pipe;
}

size_t StderrTerminalColumns() {
  ::HANDLE console = StderrConsole();
  CONSOLE_SCREEN_BUFFER_INFO information = {};
  if (!console || !::GetConsoleScreenBufferInfo(console, &information))
    return 0;
  int columns = information.srWindow.Right - information.srWindow.Left + 1;
  return columns > 0 ? static_cast<size_t>(columns) : 80;
}

void WriteStderrTerminal(const std::u16string& text) {
  ::HANDLE console = StderrConsole();
  if (!console || text.empty())
    return;
  DWORD written = 0;
  ::WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()),
                  &written, nullptr);
}

void ClearStderrTerminalBelow() {
  // A console that wraps its text again when narrowed (conhost's "Wrap
  // text output on resize", Windows Terminal) spreads a line over the rows
  // below its start; they are cleared through the console's own functions
  // (FillConsoleOutputCharacterW, SetConsoleCursorPosition), which work
  // whether or not the console reads escape sequences.
  ::HANDLE console = StderrConsole();
  CONSOLE_SCREEN_BUFFER_INFO information = {};
  if (!console || !::GetConsoleScreenBufferInfo(console, &information))
    return;
  COORD start = {0, information.dwCursorPosition.Y};
  DWORD cells = static_cast<DWORD>(information.dwSize.X) *
                static_cast<DWORD>(information.dwSize.Y - start.Y);
  DWORD written = 0;
  ::FillConsoleOutputCharacterW(console, L' ', cells, start, &written);
  ::FillConsoleOutputAttribute(console, information.wAttributes, cells, start,
                               &written);
  ::SetConsoleCursorPosition(console, start);
}

int32_t RegOpenKeyExW(HKEY key, const char16_t* subKey, uint32_t options,
                      uint32_t desiredAccess, HKEY* result) {
  return ::RegOpenKeyExW(static_cast<::HKEY>(key),
                         reinterpret_cast<const wchar_t*>(subKey), options,
                         desiredAccess, reinterpret_cast<::HKEY*>(result));
}

int32_t RegQueryValueExW(HKEY key, const char16_t* valueName,
                         uint32_t* reserved, uint32_t* type, uint8_t* data,
                         uint32_t* dataSize) {
  static_assert(sizeof(DWORD) == sizeof(uint32_t), "DWORD is 32 bits");
  return ::RegQueryValueExW(
      static_cast<::HKEY>(key), reinterpret_cast<const wchar_t*>(valueName),
      reinterpret_cast<DWORD*>(reserved), reinterpret_cast<DWORD*>(type), data,
      reinterpret_cast<DWORD*>(dataSize));
}

int32_t RegCloseKey(HKEY key) {
  return ::RegCloseKey(static_cast<::HKEY>(key));
}

bool StdoutIsMissing() {
  // GetStdHandle gives null to a program started without a standard output
  // (and INVALID_HANDLE_VALUE when it fails); kestrelw.exe, which has none,
  // never writes there.
  static const bool missing = [] {
    ::HANDLE handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
    return !IsWindowless() && (!handle || handle == INVALID_HANDLE_VALUE);
  }();
  return missing;
}

bool WriteStdoutExact(const char* bytes, size_t length) {
  if (StdoutIsMissing() || std::fflush(stdout) != 0)
    return false;
  int fd = _fileno(stdout);
  int mode = _setmode(fd, _O_BINARY);
  bool written = std::fwrite(bytes, 1, length, stdout) == length &&
                 std::fflush(stdout) == 0;
  if (mode != -1)
    _setmode(fd, mode);
  return written;
}

namespace {

// The system's text for `error`, in English as kestrel's own messages are
// where the system has it, in the locale's code page, without the final
// full stop and line end.
std::string ErrorText(DWORD error) {
  wchar_t* message = nullptr;
  DWORD length = 0;
  const DWORD kLanguages[] = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 0};
  for (DWORD language : kLanguages) {
    length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                  FORMAT_MESSAGE_FROM_SYSTEM |
                                  FORMAT_MESSAGE_IGNORE_INSERTS,
                              nullptr, error, language,
                              reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length != 0)
      break;
  }
  std::string text;
  if (length == 0 || !message)
    return "error " + std::to_string(error);
  while (length > 0 &&
         (message[length - 1] == L'\r' || message[length - 1] == L'\n' ||
          message[length - 1] == L' ' || message[length - 1] == L'.'))
    --length;
  AppendInCodePage(reinterpret_cast<const char16_t*>(message), length, text);
  ::LocalFree(message);
  return text;
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

bool WriteAll(::HANDLE file, const char* bytes, size_t length) {
  while (length > 0) {
    DWORD piece = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes, piece, &written, nullptr) || written == 0)
      return false;
    bytes += written;
    length -= written;
  }
  return true;
}

// Why the file at `path` may not be replaced, or empty: only a regular file
// on a disk, not read-only, with no other hard links. A link is followed to
// the file it names, whose path `target` takes.
std::string RefusalOf(const std::u16string& path, std::u16string* target) {
  *target = path;
  // Asks for no access, so that a file another program holds is no
  // obstacle.
  ::HANDLE file = ::CreateFileW(
      Wide(path), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return {};  // missing, or the replacement says why
  UniqueHandle<EmptyHandle::InvalidHandleValue> owned(file);
  BY_HANDLE_FILE_INFORMATION information = {};
  if (::GetFileType(file) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return "not a regular file";
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
    return ErrorText(ERROR_ACCESS_DENIED);
  if (information.nNumberOfLinks > 1)
    return "it has other hard links";
  DWORD attributes = ::GetFileAttributesW(Wide(path));
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    std::wstring final(32768, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(
        file, final.data(), static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
    if (length > 0 && length < final.size())
      target->assign(reinterpret_cast<const char16_t*>(final.data()), length);
  }
  return {};
}

// The longest path Windows takes in the "\\?\" form, in UTF-16 units with
// the terminating null ("Maximum Path Length Limitation", Naming Files,
// Paths, and Namespaces).
constexpr size_t kMaxExtendedPath = 32767;

// `path` made whole and in the "\\?\" form that every file function takes
// past MAX_PATH (260) whatever the system's long path setting: relative
// parts, "." and ".." and "/" are resolved first, since that form takes a
// path as it is. A path that cannot be resolved is returned as it is.
std::u16string ExtendedPath(const std::u16string& path) {
  std::wstring full(kMaxExtendedPath, L'\0');
  DWORD length = ::GetFullPathNameW(Wide(path), static_cast<DWORD>(full.size()),
                                    full.data(), nullptr);
  if (length == 0 || length >= full.size())
    return path;
  full.resize(length);
  std::u16string whole(reinterpret_cast<const char16_t*>(full.data()),
                       full.size());
  // Already in that form, or a device ("NUL" becomes \\.\NUL), it stays.
  if (whole.rfind(u"\\\\?\\", 0) == 0 || whole.rfind(u"\\\\.\\", 0) == 0)
    return whole;
  if (whole.rfind(u"\\\\", 0) == 0)  // \\server\share\...
    return u"\\\\?\\UNC\\" + whole.substr(2);
  return u"\\\\?\\" + whole;
}

// Gives the new file (`file`, opened with WRITE_DAC) the discretionary ACL of
// the file it replaces (`target`), when that exists: its explicit entries,
// and whether it inherits from the folder. Inherited entries come from the
// folder, as the old file's did (SetSecurityInfo with
// UNPROTECTED_DACL_SECURITY_INFORMATION: "the DACL inherits ACEs from the
// parent object"). The owner, the audit entries and the
// integrity label stay the new file's: setting them takes privileges a
// user lacks. False, with the reason, when the ACL cannot be kept; a file
// system without ACLs has none to keep.
bool KeepAccessControl(const std::u16string& target, ::HANDLE file,
                       std::string* reason) {
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = ::GetNamedSecurityInfoW(Wide(target), SE_FILE_OBJECT,
                                        DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, &acl, nullptr, &descriptor);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NOT_SUPPORTED)
    return true;
  if (error != ERROR_SUCCESS) {
    *reason = ErrorText(error);
    return false;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(descriptor, &control, &revision);
  bool present = (control & SE_DACL_PRESENT) != 0 && acl;
  if (present) {
    bool inherits = (control & SE_DACL_PROTECTED) == 0;
    // An ACL that inherits is given its explicit entries alone; the system
    // adds the folder's inheritable ones.
    // An ACL is aligned on a DWORD.
    std::vector<DWORD> copy(acl->AclSize / sizeof(DWORD) + 1);
    PACL given = acl;
    if (inherits) {
      given = reinterpret_cast<PACL>(copy.data());
      ::InitializeAcl(given, acl->AclSize, acl->AclRevision);
      for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (::GetAce(acl, i, reinterpret_cast<void**>(&ace)) &&
            (ace->AceFlags & INHERITED_ACE) == 0)
          ::AddAce(given, acl->AclRevision, MAXDWORD, ace, ace->AceSize);
      }
    }
    SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        (inherits ? UNPROTECTED_DACL_SECURITY_INFORMATION
                  : PROTECTED_DACL_SECURITY_INFORMATION);
    error = ::SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr,
                              given, nullptr);
  }
  ::LocalFree(descriptor);
  if (present && error != ERROR_SUCCESS) {
    *reason = ErrorText(error);
    return false;
  }
  return true;
}

}  // namespace

bool ReplacementFile::Create(std::string* reason) {
  Discard();
  *reason = RefusalOf(ExtendedPath(destination_), &target_);
  if (!reason->empty())
    return false;
  FileNameLimit limit;
  limit.backslashSeparates = true;
  for (int taken = 0;; ++taken) {
    std::u16string path =
        NewPath(target_, ::GetCurrentProcessId(), taken, limit);
    // The whole path is held within what Windows takes, the name within
    // `limit`.
    if (path.size() >= kMaxExtendedPath) {
      *reason = ErrorText(ERROR_FILENAME_EXCED_RANGE);
      return false;
    }
    // WRITE_DAC for the old file's ACL; DELETE so that an interrupt can
    // mark it for deletion while it is open.
    ::HANDLE file =
        ::CreateFileW(Wide(path), GENERIC_WRITE | WRITE_DAC | DELETE, 0,
                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      HandleConsoleControl();
      OpenReplacementLock lock;
      openReplacement = file;
      handle_ = file;
      path_ = std::move(path);
      return true;
    }
    DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS || taken + 1 == kNames) {
      *reason = ErrorText(error);
      return false;
    }
  }
}

bool ReplacementFile::Write(const char* bytes, size_t length, bool text,
                            std::string* reason) {
  bool written = true;
  if (!text) {
    written = WriteAll(handle_, bytes, length);
  } else {
    std::string lines;
    lines.reserve(length + length / 16);
    for (size_t i = 0; i < length; ++i) {
      if (bytes[i] == '\n')
        lines.push_back('\r');
      lines.push_back(bytes[i]);
    }
    written = WriteAll(handle_, lines.data(), lines.size());
  }
  if (!written) {
    *reason = ErrorText(::GetLastError());
    Discard();
  }
  return written;
}

bool ReplacementFile::Commit(std::string* reason) {
  // The old file's ACL, copied now, so that the file that takes its place
  // is never readable by more than the old one was.
  if (!KeepAccessControl(target_, handle_, reason)) {
    Discard();
    return false;
  }
  bool flushed = ::FlushFileBuffers(handle_) != FALSE;
  DWORD error = flushed ? 0 : ::GetLastError();
  // A console control event waits until the file is in place or removed.
  OpenReplacementLock lock;
  openReplacement = INVALID_HANDLE_VALUE;
  ::CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
  // The destination is judged again as it is now, as at the first write:
  // over a long watch it may have gained a hard link or become read-only.
  // What would be refused now is refused, and keeps its content.
  if (flushed) {
    std::string refusal = RefusalOf(ExtendedPath(destination_), &target_);
    if (!refusal.empty()) {
      *reason = refusal;
      // Discard's work, under the lock already held.
      ::DeleteFileW(Wide(path_));
      path_.clear();
      return false;
    }
    // A reader that holds the destination open without FILE_SHARE_DELETE
    // blocks the move while it reads; a collector reads the file in a
    // moment, so the move is tried again for about a second.
    for (int attempt = 0;; ++attempt) {
      if (::MoveFileExW(Wide(path_), Wide(target_),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        path_.clear();
        return true;
      }
      error = ::GetLastError();
      if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
          attempt == 20)
        break;
      ::Sleep(50);
    }
  }
  *reason = ErrorText(error);
  ::DeleteFileW(Wide(path_));
  path_.clear();
  return false;
}

void ReplacementFile::Discard() {
  OpenReplacementLock lock;
  if (handle_ != INVALID_HANDLE_VALUE) {
    if (openReplacement == handle_)
      openReplacement = INVALID_HANDLE_VALUE;
    ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  if (!path_.empty()) {
    ::DeleteFileW(Wide(path_));
    path_.clear();
  }
}

bool Startup() { return true; }

const char16_t* BuildDescription() {
  return u"Windows x64 build: reads the live system state.\n"
         u"GDI All from GetGuiResources, GDI Total from the shared handle table.";
}

}  // namespace platform
