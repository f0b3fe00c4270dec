// The system calls kestrel makes, under their Windows names, and the
// system records they take; the program's own input and output is in
// program_io.h.
//
// Two backends implement them, chosen at build time: platform_win32.cc
// forwards to Windows, and platform_sim.cc stands in for Windows on every
// other host, over a session description (session.h). The rest of the program
// includes only these headers, never a system header of either backend.
#pragma once

#include <cstddef>
#include <cstdint>

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

template <EmptyHandle empty>
UniqueHandle<empty>::~UniqueHandle() {
  if (*this)
    CloseHandle(handle_);
}

}  // namespace platform
