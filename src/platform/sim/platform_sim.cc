// The simulated backend: stands in for Windows on every other host, over a
// session description. The table and the PEB are real memory of this
// process, so the scan reads them in place exactly as on Windows. The
// program's own streams, terminal, signals and replaced files are the POSIX
// host's (platform/posix); the clock is the session's.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <locale.h>

#include "platform/gdi_table_layout.h"
#include "platform/platform.h"
#include "platform/program_io.h"
#include "platform/wall_clock.h"
#include "platform/posix/posix_program.h"
#include "platform/sim/session.h"
#include "platform/sim/sim_control.h"

namespace platform {
namespace {

constexpr NTSTATUS kStatusUnsuccessful = static_cast<NTSTATUS>(0xC0000001);
constexpr NTSTATUS kStatusInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kStatusInfoLengthMismatch =
    static_cast<NTSTATUS>(0xC0000004);
constexpr NTSTATUS kStatusInvalidHandle = static_cast<NTSTATUS>(0xC0000008);
constexpr NTSTATUS kStatusPending = 0x103;
constexpr uint32_t kMemMapped = 0x40000;
// Where other processes' PEBs would be; never read by the program.
constexpr uintptr_t kForeignPebAddress = 0x7FF5FFFDE000;

// What a handle refers to: a snapshot (a copy of the process list and a
// cursor), an opened process, or the registry key.
struct HandleObject {
  bool isSnapshot = false;
  bool isKey = false;  // the registry key that holds the GDI quota
  std::vector<SimulatedProcess> processes;
  size_t next = 0;
  uint32_t pid = 0;
};

struct State {
  Session session;
  // The program's own PEB; only the table pointer at 0xF8 is filled.
  alignas(8) unsigned char peb[0x400] = {};
  std::set<HANDLE> openHandles;
  // The first process of the snapshot with each PID, so that the census of
  // a large session stays linear.
  std::unordered_map<uint32_t, size_t> processByPid;
  uint32_t lastError = 0;
  // The simulated clock, which moves only at a wait, and the sample block
  // the next wait applies.
  uint64_t clock = 0;
  size_t nextBlock = 0;
  bool interruptDelivered = false;  // by an interrupt line
};

State& GetState() {
  static State state;
  return state;
}

char ntdllModule;  // its address is the simulated module handle

HandleObject* FromHandle(HANDLE handle) {
  State& state = GetState();
  if (!handle || state.openHandles.count(handle) == 0)
    return nullptr;
  return static_cast<HandleObject*>(handle);
}

HANDLE NewHandle(std::unique_ptr<HandleObject> object) {
  HANDLE handle = object.release();
  GetState().openHandles.insert(handle);
  return handle;
}

const SimulatedProcess* FindProcess(uint32_t pid) {
  const State& state = GetState();
  auto found = state.processByPid.find(pid);
  return found == state.processByPid.end()
             ? nullptr
             : &state.session.processes[found->second];
}

constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorBadLength = 24;

bool FillEntry(HandleObject* snapshot, PROCESSENTRY32W* entry) {
  uint32_t& lastError = GetState().lastError;
  if (!snapshot || !snapshot->isSnapshot || !entry) {
    lastError = kErrorInvalidHandle;
    return false;
  }
  if (entry->dwSize < sizeof(PROCESSENTRY32W)) {
    lastError = kErrorBadLength;
    return false;
  }
  if (snapshot->next >= snapshot->processes.size()) {
    lastError = ERROR_NO_MORE_FILES;
    return false;
  }
  const SimulatedProcess& process = snapshot->processes[snapshot->next++];
  uint32_t size = entry->dwSize;
  std::memset(entry, 0, sizeof(*entry));
  entry->dwSize = size;
  entry->th32ProcessID = process.pid;
  entry->cntThreads = 1;
  entry->pcPriClassBase = 8;
  // The field keeps its terminator, however the session was built.
  size_t units = std::min<size_t>(process.name.size(), 259);
  std::memcpy(entry->szExeFile, process.name.data(), units * sizeof(char16_t));
  return true;
}

NTSTATUS SimNtQueryInformationProcess(HANDLE process, uint32_t informationClass,
                                      void* information, uint32_t length,
                                      uint32_t* returnLength) {
  State& state = GetState();
  if (state.session.failQueryStatus)
    return kStatusUnsuccessful;
  if (informationClass != ProcessBasicInformation)
    return kStatusInvalidInfoClass;
  if (length != sizeof(PROCESS_BASIC_INFORMATION))
    return kStatusInfoLengthMismatch;
  HandleObject* object = FromHandle(process);
  if (!object || object->isSnapshot)
    return kStatusInvalidHandle;
  PROCESS_BASIC_INFORMATION basic = {};
  basic.ExitStatus = kStatusPending;
  basic.PebBaseAddress = object->pid == state.session.selfPid
                             ? static_cast<void*>(state.peb)
                             : reinterpret_cast<void*>(kForeignPebAddress);
  basic.AffinityMask = 1;
  basic.BasePriority = 8;
  basic.UniqueProcessId = object->pid;
  std::memcpy(information, &basic, sizeof(basic));
  if (returnLength)
    *returnLength = sizeof(basic);
  return 0;
}

// Windows compares without regard to case by mapping each unit to upper
// case over the whole BMP. The C library's wide upper-casing does that
// under a UTF-8 locale, whatever the program's own locale: only simple
// pairs count, so a letter whose upper case lowers to another (dotless i,
// the micro sign, long s) stays itself, as on Windows.
char16_t UpperCase(char16_t c) {
  if (c < 0x80)
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF)
    return c;
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (!utf8)
    return c;
  auto upper = static_cast<wint_t>(towupper_l(static_cast<wint_t>(c), utf8));
  if (upper == c || upper > 0xFFFF ||
      static_cast<wint_t>(towlower_l(upper, utf8)) != c)
    return c;
  return static_cast<char16_t>(upper);
}

void IndexProcesses(State& state) {
  state.processByPid.clear();
  for (size_t i = 0; i < state.session.processes.size(); ++i)
    state.processByPid.emplace(state.session.processes[i].pid, i);
}

// The PEB's table pointer: null under "fail peb-null".
void WritePeb(State& state) {
  const void* table =
      state.session.failPebNull ? nullptr : state.session.table.get();
  std::memcpy(state.peb + kPebGdiSharedHandleTableOffset, &table,
              sizeof(table));
}

// Applies the next sample block, if any is left, to the installed state.
void ApplyNextBlock(State& state) {
  Session& session = state.session;
  if (state.nextBlock >= session.blocks.size())
    return;
  const SessionBlock& block = session.blocks[state.nextBlock];
  for (const EntryChange& entry : block.entries) {
    std::memcpy(session.table.get() + sizeof(GdiTableEntry) * entry.index,
                entry.bytes, sizeof(entry.bytes));
  }
  for (const SessionChange& change : block.changes) {
    if (change.kind == SessionChange::Kind::Interrupt)
      state.interruptDelivered = true;
    else if (change.kind == SessionChange::Kind::Sleep)
      state.clock += change.sleepMilliseconds;
    else
      ApplyChange(change, &session);
  }
  ++state.nextBlock;
  IndexProcesses(state);
  WritePeb(state);
}

void InstallSession(Session session) {
  State& state = GetState();
  for (HANDLE handle : state.openHandles)
    delete static_cast<HandleObject*>(handle);
  state.openHandles.clear();
  state.session = std::move(session);
  state.clock = 0;
  state.nextBlock = 0;
  state.interruptDelivered = false;
  posix::ClearInterruptSignal();
  IndexProcesses(state);
  if (!state.session.table) {
    state.session.table.reset(static_cast<unsigned char*>(std::calloc(
        state.session.regionSize ? state.session.regionSize : 1, 1)));
    if (!state.session.table)
      throw std::bad_alloc();
  }
  WritePeb(state);
}

}  // namespace

void UseSession(Session session) { InstallSession(std::move(session)); }

bool UseSessionText(std::string_view text, std::string* error) {
  Session session;
  size_t line = 0;
  if (!ParseSessionText(text, &session, &line, error)) {
    *error = "line " + std::to_string(line) + ": " + *error;
    return false;
  }
  InstallSession(std::move(session));
  return true;
}

size_t OpenHandleCount() { return GetState().openHandles.size(); }

Session& InstalledSession() { return GetState().session; }

size_t AppliedBlocks() { return GetState().nextBlock; }

void ProcessesChanged() { IndexProcesses(GetState()); }

HANDLE CreateToolhelp32Snapshot(uint32_t flags, uint32_t /*processId*/) {
  const State& state = GetState();
  if (state.session.snapshotFails || (flags & TH32CS_SNAPPROCESS) == 0)
    return INVALID_HANDLE_VALUE;
  auto snapshot = std::make_unique<HandleObject>();
  snapshot->isSnapshot = true;
  snapshot->processes = state.session.processes;
  return NewHandle(std::move(snapshot));
}

bool Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  HandleObject* object = FromHandle(snapshot);
  if (object)
    object->next = 0;
  return FillEntry(object, entry);
}

bool Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return FillEntry(FromHandle(snapshot), entry);
}

uint32_t GetLastError() { return GetState().lastError; }

HANDLE OpenProcess(uint32_t desiredAccess, bool /*inheritHandle*/,
                   uint32_t processId) {
  const Session& session = GetState().session;
  if (processId == 0 || desiredAccess == 0)
    return nullptr;
  if (processId == session.selfPid) {
    if (session.failOpenSelf)
      return nullptr;
  } else {
    const SimulatedProcess* process = FindProcess(processId);
    if (!process || !process->canOpen)
      return nullptr;
    // A protected process grants the limited query right and nothing more.
    if (process->limitedOnly &&
        (desiredAccess & ~PROCESS_QUERY_LIMITED_INFORMATION) != 0)
      return nullptr;
  }
  auto object = std::make_unique<HandleObject>();
  object->pid = processId;
  return NewHandle(std::move(object));
}

bool CloseHandle(HANDLE handle) {
  HandleObject* object = FromHandle(handle);
  if (!object || object->isKey)
    return false;
  GetState().openHandles.erase(handle);
  delete object;
  return true;
}

uint32_t GetCurrentProcessId() { return GetState().session.selfPid; }

namespace {

constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorAccessDenied = 5;
constexpr int32_t kErrorMoreData = 234;
// KEY_READ: what a user who is no administrator may ask of HKLM.
constexpr uint32_t kKeyRead = 0x20019;

bool EqualIgnoringCase(const char16_t* a, const char16_t* b) {
  return a && b && CompareStringOrdinal(a, -1, b, -1, true) == CSTR_EQUAL;
}

}  // namespace

int32_t RegOpenKeyExW(HKEY key, const char16_t* subKey, uint32_t options,
                      uint32_t desiredAccess, HKEY* result) {
  // The one key there is: where Windows keeps GDI's per-process quota.
  if (key != HKEY_LOCAL_MACHINE || options != 0 || !result ||
      !EqualIgnoringCase(
          subKey, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows"))
    return kErrorFileNotFound;
  if ((desiredAccess & ~kKeyRead) != 0)
    return kErrorAccessDenied;
  auto object = std::make_unique<HandleObject>();
  object->isKey = true;
  *result = NewHandle(std::move(object));
  return ERROR_SUCCESS;
}

// `reserved` stays as Windows declares it.
int32_t RegQueryValueExW(HKEY key, const char16_t* valueName,
                         // NOLINTNEXTLINE(readability-non-const-parameter)
                         uint32_t* reserved, uint32_t* type, uint8_t* data,
                         uint32_t* dataSize) {
  HandleObject* object = FromHandle(key);
  if (!object || !object->isKey || reserved)
    return static_cast<int32_t>(kErrorInvalidHandle);
  const std::optional<uint32_t>& quota = GetState().session.processQuota;
  if (!quota || !EqualIgnoringCase(valueName, u"GDIProcessHandleQuota"))
    return kErrorFileNotFound;
  if (type)
    *type = REG_DWORD;
  if (!dataSize)
    return data ? static_cast<int32_t>(kErrorInvalidHandle) : ERROR_SUCCESS;
  uint32_t room = *dataSize;
  *dataSize = sizeof(uint32_t);
  if (!data)
    return ERROR_SUCCESS;
  if (room < sizeof(uint32_t))
    return kErrorMoreData;
  std::memcpy(data, &*quota, sizeof(uint32_t));
  return ERROR_SUCCESS;
}

int32_t RegCloseKey(HKEY key) {
  HandleObject* object = FromHandle(key);
  if (!object || !object->isKey)
    return static_cast<int32_t>(kErrorInvalidHandle);
  GetState().openHandles.erase(key);
  delete object;
  return ERROR_SUCCESS;
}

uint32_t GetGuiResources(HANDLE process, uint32_t flags) {
  if (process == GR_GLOBAL) {
    const Session& session = GetState().session;
    if (flags == GR_GDIOBJECTS)
      return session.globalGdiObjects;
    return flags == GR_USEROBJECTS ? session.globalUserObjects : 0;
  }
  HandleObject* object = FromHandle(process);
  if (!object || object->isSnapshot)
    return 0;
  const SimulatedProcess* listed = FindProcess(object->pid);
  if (!listed)
    return 0;
  switch (flags) {
    case GR_GDIOBJECTS:
      return listed->gdiObjects;
    case GR_USEROBJECTS:
      return listed->userObjects;
    case GR_GDIOBJECTS_PEAK:
      return listed->gdiPeak.value_or(listed->gdiObjects);
    case GR_USEROBJECTS_PEAK:
      return listed->userPeak;
    default:
      return 0;
  }
}

HMODULE GetModuleHandleW(const char16_t* moduleName) {
  if (!moduleName)
    return nullptr;
  const char16_t* expected = u"ntdll.dll";
  const char16_t* name = moduleName;
  for (; *name && *expected; ++name, ++expected) {
    if (UpperCase(*name) != UpperCase(*expected))
      return nullptr;
  }
  return *name == 0 && *expected == 0 ? &ntdllModule : nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
  if (module != &ntdllModule || !procName ||
      std::strcmp(procName, "NtQueryInformationProcess") != 0 ||
      GetState().session.failNtdllLookup)
    return nullptr;
  return reinterpret_cast<FARPROC>(&SimNtQueryInformationProcess);
}

size_t VirtualQuery(const void* address, MEMORY_BASIC_INFORMATION* buffer,
                    size_t length) {
  const Session& session = GetState().session;
  if (session.failVirtualQuery || !buffer ||
      length < sizeof(MEMORY_BASIC_INFORMATION))
    return 0;
  MEMORY_BASIC_INFORMATION info = {};
  auto* base = session.table.get();
  auto* at = static_cast<const unsigned char*>(address);
  if (base && at >= base && at < base + session.regionSize) {
    info.BaseAddress = const_cast<unsigned char*>(at);
    info.AllocationBase = base;
    info.AllocationProtect = PAGE_READONLY;
    info.RegionSize = session.regionSize - static_cast<uint64_t>(at - base);
    info.Type = kMemMapped;
    if (session.failRegionUnreadable) {
      info.State = MEM_RESERVE;
      info.Protect = 0;
    } else {
      info.State = MEM_COMMIT;
      info.Protect = PAGE_READONLY;
    }
  } else {
    info.BaseAddress = const_cast<void*>(address);
    info.RegionSize = 4096;
    info.State = MEM_FREE;
    info.Protect = PAGE_NOACCESS;
  }
  std::memcpy(buffer, &info, sizeof(info));
  return sizeof(info);
}

const char16_t* StrStrIW(const char16_t* text, const char16_t* search) {
  if (!text || !search || !*search)
    return nullptr;
  for (const char16_t* start = text; *start; ++start) {
    const char16_t* t = start;
    const char16_t* s = search;
    while (*t && *s && UpperCase(*t) == UpperCase(*s)) {
      ++t;
      ++s;
    }
    if (!*s)
      return start;
  }
  return nullptr;
}

int CompareStringOrdinal(const char16_t* first, int firstLength,
                         const char16_t* second, int secondLength,
                         bool ignoreCase) {
  auto length = [](const char16_t* text, int given) {
    if (given >= 0)
      return static_cast<size_t>(given);
    size_t units = 0;
    while (text[units])
      ++units;
    return units;
  };
  size_t firstUnits = length(first, firstLength);
  size_t secondUnits = length(second, secondLength);
  for (size_t i = 0; i < firstUnits && i < secondUnits; ++i) {
    char16_t a = ignoreCase ? UpperCase(first[i]) : first[i];
    char16_t b = ignoreCase ? UpperCase(second[i]) : second[i];
    if (a != b)
      return a < b ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  if (firstUnits == secondUnits)
    return CSTR_EQUAL;
  return firstUnits < secondUnits ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

bool Startup() {
  posix::StartProgram();
  Session session;
  std::string error;
  if (!LoadSession(std::getenv("KESTREL_SESSION"), &session, &error)) {
    WriteStderrLine("kestrel: " + error);
    return false;
  }
  InstallSession(std::move(session));
  return true;
}

uint64_t MonotonicMilliseconds() { return GetState().clock; }

uint64_t UnixTimeMilliseconds() {
  const State& state = GetState();
  return state.session.clockStartMilliseconds + state.clock;
}

int32_t LocalOffsetMinutes(uint64_t) {
  return GetState().session.localOffsetMinutes;
}

std::u16string HostName() { return GetState().session.hostName; }

bool ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId) {
  const State& state = GetState();
  if (processId != state.session.selfPid && !FindProcess(processId))
    return false;
  *sessionId = state.session.sessionId;
  return true;
}

bool InterruptRequested() {
  return posix::InterruptSignalled() || GetState().interruptDelivered;
}

bool WaitUntil(uint64_t deadlineMilliseconds) {
  if (InterruptRequested())
    return false;
  State& state = GetState();
  state.clock = std::max(state.clock, deadlineMilliseconds);
  ApplyNextBlock(state);
  return true;
}

const char16_t* BuildDescription() {
  return u"Host build: the system state is simulated, not read from Windows.\n"
         u"Session: the built-in sample, or the file named by KESTREL_SESSION.";
}

}  // namespace platform
