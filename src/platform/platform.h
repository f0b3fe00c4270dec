// The platform operations kestrel uses, under their platform names.
//
// Two backends implement them, chosen at build time: platform_win32.cc
// forwards to Windows, and platform_sim.cc stands in for Windows on every
// other host, over a session description (session.h). The rest of the program
// includes only this header, never a system header of either backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

static_assert(sizeof(void*) == 8, "kestrel reads 64-bit Windows layouts");

namespace platform {

using HANDLE = void*;
using HMODULE = void*;
using FARPROC = void (*)();  // any exported function, cast to its real type
using NTSTATUS = int32_t;

constexpr uint32_t TH32CS_SNAPPROCESS = 0x00000002;
constexpr uint32_t PROCESS_QUERY_INFORMATION = 0x0400;
constexpr uint32_t PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;
// GetGuiResources' flags: what it counts.
constexpr uint32_t GR_GDIOBJECTS = 0;
constexpr uint32_t GR_USEROBJECTS = 1;
constexpr uint32_t GR_GDIOBJECTS_PEAK = 2;
constexpr uint32_t GR_USEROBJECTS_PEAK = 4;
// GetLastError after Process32FirstW or Process32NextW: the snapshot holds
// no (more) processes.
constexpr uint32_t ERROR_NO_MORE_FILES = 18;
constexpr uint32_t ProcessBasicInformation = 0;

// MEMORY_BASIC_INFORMATION::State and ::Protect values.
constexpr uint32_t MEM_COMMIT = 0x1000;
constexpr uint32_t MEM_RESERVE = 0x2000;
constexpr uint32_t MEM_FREE = 0x10000;
constexpr uint32_t PAGE_NOACCESS = 0x01;
constexpr uint32_t PAGE_READONLY = 0x02;
constexpr uint32_t PAGE_READWRITE = 0x04;
constexpr uint32_t PAGE_WRITECOPY = 0x08;
constexpr uint32_t PAGE_EXECUTE_READ = 0x20;
constexpr uint32_t PAGE_EXECUTE_READWRITE = 0x40;
constexpr uint32_t PAGE_EXECUTE_WRITECOPY = 0x80;
constexpr uint32_t PAGE_GUARD = 0x100;

// windows.h defines many of these names as macros, so the Windows backend
// includes this header first and uses the system's own definitions after.

// The snapshot's record of one process (568 bytes on 64-bit Windows).
struct PROCESSENTRY32W {
  uint32_t dwSize;
  uint32_t cntUsage;
  uint32_t th32ProcessID;
  uint64_t th32DefaultHeapID;
  uint32_t th32ModuleID;
  uint32_t cntThreads;
  uint32_t th32ParentProcessID;
  int32_t pcPriClassBase;
  uint32_t dwFlags;
  char16_t szExeFile[260];
};
static_assert(sizeof(PROCESSENTRY32W) == 568, "PROCESSENTRY32W layout");
static_assert(offsetof(PROCESSENTRY32W, szExeFile) == 44, "szExeFile offset");

// What NtQueryInformationProcess(ProcessBasicInformation) fills in.
struct PROCESS_BASIC_INFORMATION {
  NTSTATUS ExitStatus;
  void* PebBaseAddress;
  uint64_t AffinityMask;
  int32_t BasePriority;
  uint64_t UniqueProcessId;
  uint64_t InheritedFromUniqueProcessId;
};
static_assert(sizeof(PROCESS_BASIC_INFORMATION) == 48, "PBI layout");
static_assert(offsetof(PROCESS_BASIC_INFORMATION, PebBaseAddress) == 8,
              "PebBaseAddress offset");

// What VirtualQuery reports about the region holding an address.
struct MEMORY_BASIC_INFORMATION {
  void* BaseAddress;
  void* AllocationBase;
  uint32_t AllocationProtect;
  uint16_t PartitionId;
  uint64_t RegionSize;
  uint32_t State;
  uint32_t Protect;
  uint32_t Type;
};
static_assert(sizeof(MEMORY_BASIC_INFORMATION) == 48, "MBI layout");
static_assert(offsetof(MEMORY_BASIC_INFORMATION, RegionSize) == 24,
              "RegionSize offset");

using NtQueryInformationProcessFn = NTSTATUS (*)(HANDLE process,
                                                 uint32_t informationClass,
                                                 void* information,
                                                 uint32_t length,
                                                 uint32_t* returnLength);

// A failed snapshot is INVALID_HANDLE_VALUE, a failed OpenProcess is null.
inline HANDLE const INVALID_HANDLE_VALUE =
    reinterpret_cast<HANDLE>(~static_cast<uintptr_t>(0));

// Given to GetGuiResources as the process, asks for the counts of the whole
// session.
inline HANDLE const GR_GLOBAL =
    reinterpret_cast<HANDLE>(~static_cast<uintptr_t>(1));

// The registry, read for one value (the per-process GDI quota). A key is a
// handle of its own kind: RegCloseKey closes it, and an error is a status,
// ERROR_SUCCESS when there is none.
using HKEY = void*;
// The 32-bit value 0x80000002, sign-extended as Windows defines it.
inline HKEY const HKEY_LOCAL_MACHINE =
    reinterpret_cast<HKEY>(static_cast<intptr_t>(INT32_MIN + 2));
constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr uint32_t REG_DWORD = 4;
constexpr int32_t ERROR_SUCCESS = 0;

// CompareStringOrdinal's results.
constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;

enum class EmptyHandle { Null, InvalidHandleValue };

// Owns a handle and closes it when it goes out of scope. OpenProcess reports
// failure as null, CreateToolhelp32Snapshot as INVALID_HANDLE_VALUE: `empty`
// says which value holds no handle.
template <EmptyHandle empty>
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle();
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  static HANDLE EmptyValue() {
    return empty == EmptyHandle::Null ? nullptr : INVALID_HANDLE_VALUE;
  }
  explicit operator bool() const { return handle_ != EmptyValue(); }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};
using UniqueProcessHandle = UniqueHandle<EmptyHandle::Null>;
using UniqueSnapshotHandle = UniqueHandle<EmptyHandle::InvalidHandleValue>;

HANDLE CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId);
bool Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry);
bool Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry);
// The calling thread's last error code, as the last failed call set it.
uint32_t GetLastError();
HANDLE OpenProcess(uint32_t desiredAccess, bool inheritHandle,
                   uint32_t processId);
bool CloseHandle(HANDLE handle);
uint32_t GetCurrentProcessId();
// The session that the process runs in; false when it cannot be told.
bool ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId);
uint32_t GetGuiResources(HANDLE process, uint32_t flags);
HMODULE GetModuleHandleW(const char16_t* moduleName);
FARPROC GetProcAddress(HMODULE module, const char* procName);
size_t VirtualQuery(const void* address, MEMORY_BASIC_INFORMATION* buffer,
                    size_t length);
int32_t RegOpenKeyExW(HKEY key, const char16_t* subKey, uint32_t options,
                      uint32_t desiredAccess, HKEY* result);
int32_t RegQueryValueExW(HKEY key, const char16_t* valueName,
                         uint32_t* reserved, uint32_t* type, uint8_t* data,
                         uint32_t* dataSize);
int32_t RegCloseKey(HKEY key);
// Case-insensitive substring search; null when `search` is not in `text`.
const char16_t* StrStrIW(const char16_t* text, const char16_t* search);
// Compares two strings unit by unit, with `ignoreCase` after mapping each to
// upper case; a length of -1 reads to the terminator. CSTR_LESS_THAN,
// CSTR_EQUAL or CSTR_GREATER_THAN.
int CompareStringOrdinal(const char16_t* first, int firstLength,
                         const char16_t* second, int secondLength,
                         bool ignoreCase);

// Sets the runtime locale for all categories; "chs" names Simplified
// Chinese (code page 936). Returns false when the locale is not available.
bool SetLocale(const char* name);

// Converts UTF-16 text unit by unit to the current locale's multibyte code
// page and appends the bytes; a unit the code page cannot represent becomes
// "?".
void AppendInCodePage(const char16_t* text, size_t length, std::string& bytes);
// The backend's part of AppendInCodePage: converts one unit outside ASCII
// (code_page.cc copies ASCII itself, since every code page here keeps it).
void AppendUnitInCodePage(char16_t unit, std::string& bytes);

// Writes bytes to standard output as they are (text mode on Windows, so "\n"
// becomes CR LF there). Returns false when the write fails.
bool WriteStdout(const char* bytes, size_t length);
// Writes text that AppendInCodePage made. A file or a pipe gets the bytes as
// WriteStdout writes them. A console (Windows: GetConsoleMode succeeds on
// standard output) or a terminal (other hosts: isatty) gets the characters
// the bytes stand for in the current locale, in the form it takes whatever
// its own code page: UTF-16 through WriteConsoleW, with "\n" as CR LF, or
// UTF-8. Which of the two standard output is, is settled at the first call.
// Returns false when the write fails.
bool WriteStdoutText(const char* bytes, size_t length);
// Writes UTF-8 bytes (a document): a file or a pipe gets them as they are,
// as WriteStdoutExact writes them (`exact`) or WriteStdout; a console
// (Windows) gets the characters they stand for through WriteConsoleW,
// whatever its code page; a terminal elsewhere gets the bytes. The bytes
// start and end on character boundaries. Returns false when the write
// fails.
bool WriteStdoutUtf8(const char* bytes, size_t length, bool exact);
bool FlushStdout();

// Writes bytes to standard output exactly as they are, "\n" too: Windows
// writes them in binary mode, where text mode would make "\n" CR LF.
// Returns false when the write fails.
bool WriteStdoutExact(const char* bytes, size_t length);

// A file replaced whole. The bytes go to a new file in the destination's
// folder, which then takes the destination's place in one step (Windows:
// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
// other hosts: rename), so a reader finds the old content or the new, never
// a part of either. A failure says why in `reason`, in the current locale's
// code page, removes the new file and leaves the destination as it was.
class ReplacementFile {
 public:
  explicit ReplacementFile(std::u16string destination)
      : destination_(std::move(destination)) {}
  // Removes the new file unless it took the destination's place.
  ~ReplacementFile() { Discard(); }
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  const std::u16string& destination() const { return destination_; }
  // Whether a new file is being written.
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Creates the new, empty file beside the destination.
  bool Create(std::string* reason);
  // Appends to the new file. With `text`, each "\n" is written as a text
  // file has it here, as standard output writes it to a file: CR LF on
  // Windows.
  bool Write(const char* bytes, size_t length, bool text, std::string* reason);
  // Writes the new file through and closes it, then moves it over the
  // destination.
  bool Commit(std::string* reason);
  // Closes and removes the new file, if there is one.
  void Discard();

 private:
  // The new file's name beside the destination, "DESTINATION.PID-N.tmp":
  // one of its own, since another run may write beside the same file, and
  // one that no collector reads. N counts the names already taken.
  static constexpr int kNames = 100;
  std::u16string NewPath(uint32_t processId, int taken) const;

  std::u16string destination_;
  std::u16string path_;  // the new file's
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A clock in milliseconds that never goes back, from an arbitrary start (the
// host build's simulated clock starts at 0 and moves only at a wait).
uint64_t MonotonicMilliseconds();
// The time of day, in milliseconds since 1970-01-01 00:00 UTC (the host
// build's starts at 2026-01-01 00:00 UTC and moves with its simulated
// clock).
uint64_t UnixTimeMilliseconds();
// From now on an interrupt (Ctrl+C or Ctrl+Break on Windows, SIGINT or
// SIGTERM elsewhere) only sets a flag that InterruptRequested reads, and
// ends a wait, instead of ending the program. Only a watch calls it.
void CatchInterrupts();
bool InterruptRequested();
// Waits until MonotonicMilliseconds reaches `deadlineMilliseconds`; false
// when an interrupt arrived (at once when one is pending). The host build
// waits for nothing: it sets its clock to the deadline and applies the
// session's next sample block.
bool WaitUntil(uint64_t deadlineMilliseconds);

// Writes one line of text in the locale's code page and a newline to
// standard error; kestrelw.exe also reports it to the event log.
void WriteStderrLine(const std::string& line);

// Whether this is kestrelw.exe, linked without a console for scheduled
// tasks: it writes only to -O's file. The program's own piece, linked with
// its main, says which (console_program.cc, windowless_program_win32.cc).
bool IsWindowless();
// kestrelw.exe: reports a message line to the Application event log; does
// nothing in a console program.
void ReportToEventLog(const std::string& line);

// Whether standard output, or standard error, is a terminal (Windows: a
// console); settled at the first call.
bool StdoutIsTerminal();
bool StderrIsTerminal();
// Writes `text` as it stands to standard error when it is a terminal
// (a carriage return goes back to the start of the line): a watch's status
// line.
void WriteStderrTerminal(const std::u16string& text);

// Prepares the backend before the run starts. False, after having said on
// standard error why, when the run cannot start (the host build's session
// description cannot be used).
bool Startup();

// The banner's two lines that say what build this is, without a final
// newline.
const char16_t* BuildDescription();

template <EmptyHandle empty>
UniqueHandle<empty>::~UniqueHandle() {
  if (*this)
    CloseHandle(handle_);
}

}  // namespace platform
