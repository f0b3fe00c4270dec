// The simulated backend: stands in for Windows on every other host, over a
// session description. The table and the PEB are real memory of this
// process, so the scan reads them in place exactly as on Windows.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <fstream>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/gdi_table_layout.h"
#include "platform/platform.h"
#include "platform/program_io.h"
#include "platform/sim/session.h"
#include "platform/sim/sim_control.h"
#include "platform/terminal_text.h"
#include "platform/utf8.h"

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
// cursor), an opened process, or a file (its descriptor).
struct HandleObject {
  bool isSnapshot = false;
  bool isKey = false;  // the registry key that holds the GDI quota
  std::vector<SimulatedProcess> processes;
  size_t next = 0;
  uint32_t pid = 0;
  int fd = -1;
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

// Set by SIGINT, SIGTERM or SIGHUP once CatchInterrupts ran.
volatile sig_atomic_t signalled = 0;

void OnSignal(int) { signalled = 1; }

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
  signalled = 0;
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
  bool closed = object->fd < 0 || close(object->fd) == 0;
  delete object;
  return closed;
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

bool SetLocale(const char* name) {
  // Code page 936's counterpart here is GBK.
  const char* hostName = std::strcmp(name, "chs") == 0 ? "zh_CN.GBK" : name;
  return std::setlocale(LC_ALL, hostName) != nullptr;
}

void AppendUnitInCodePage(char16_t unit, std::string& bytes) {
  char encoded[MB_LEN_MAX];
  std::mbstate_t state = {};
  size_t count =
      (unit >= 0xD800 && unit <= 0xDFFF)
          ? static_cast<size_t>(-1)
          : std::wcrtomb(encoded, static_cast<wchar_t>(unit), &state);
  if (count == static_cast<size_t>(-1))
    bytes.push_back('?');
  else
    bytes.append(encoded, count);
}

bool StdoutIsTerminal() {
  static const bool terminal = isatty(fileno(stdout)) == 1;
  return terminal;
}

bool StderrIsTerminal() {
  static const bool terminal = isatty(fileno(stderr)) == 1;
  return terminal;
}

bool StdoutIsPipe() {
  static const bool pipe = [] {
    struct stat status = {};
    return fstat(fileno(stdout), &status) == 0 &&
           (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
  }();
  return pipe;
}

size_t StderrTerminalColumns() {
  if (!StderrIsTerminal())
    return 0;
  int fd = fileno(stderr);
  struct termios settings = {};
  if (tcgetpgrp(fd) != getpgrp() || tcgetattr(fd, &settings) != 0 ||
      (settings.c_lflag & TOSTOP) != 0)
    return 0;
  struct winsize size = {};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
    return 80;
  return size.ws_col;
}

void WriteStderrTerminal(const std::u16string& text) {
  // A terminal here reads UTF-8.
  std::string utf8;
  size_t position = 0;
  while (position < text.size()) {
    char32_t c = NextCodePoint(text.data(), text.size(), &position);
    AppendUtf8(c >= 0xD800 && c <= 0xDFFF ? 0xFFFD : c, utf8);
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

bool WriteStdoutText(const char* bytes, size_t length) {
  if (!StdoutIsTerminal())
    return WriteStdout(bytes, length);
  // A terminal here reads UTF-8, not the locale's code page.
  std::string utf8;
  utf8.reserve(length + length / 2);
  std::mbstate_t state = {};
  size_t at = 0;
  while (at < length) {
    wchar_t unit = 0;
    size_t count = std::mbrtowc(&unit, bytes + at, length - at, &state);
    if (count == 0) {  // NUL
      count = 1;
    } else if (count > length - at) {  // not a character of the locale
      state = {};
      unit = L'?';
      count = 1;
    }
    // A control character of a name would command the terminal.
    if (unit != L'\n' && IsControlCharacter(static_cast<char32_t>(unit)))
      unit = L'?';
    AppendUtf8(static_cast<char32_t>(unit), utf8);
    at += count;
  }
  return WriteStdout(utf8.data(), utf8.size());
}

bool WriteStdoutExact(const char* bytes, size_t length) {
  return WriteStdout(bytes, length);
}

bool WriteStdoutUtf8(const char* bytes, size_t length, bool) {
  // A terminal here reads UTF-8, and "\n" is "\n" everywhere.
  return WriteStdout(bytes, length);
}

namespace {

// A path as this host's file functions take it: UTF-8.
std::string HostPath(const std::u16string& path) {
  std::string bytes;
  size_t position = 0;
  while (position < path.size())
    AppendUtf8(NextCodePoint(path.data(), path.size(), &position), bytes);
  return bytes;
}

// The C library's text for `error`, in English as kestrel's own messages
// are, whatever the locale.
std::string ErrorText(int error) {
  static const locale_t english = newlocale(LC_ALL_MASK, "C", nullptr);
  return english ? strerror_l(error, english)
                 : "error " + std::to_string(error);
}

}  // namespace

namespace {

// The new file of a run, which a signal that ends the program removes
// first: its path is set with the signals blocked, read by the handler.
char newFilePath[PATH_MAX + 1];
volatile sig_atomic_t newFileNamed = 0;

// The signals that end a program by default, bar SIGPIPE (ignored) and
// SIGKILL (which cannot be caught).
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,  SIGTERM,
                                  SIGALRM, SIGUSR1, SIGUSR2,  SIGXCPU,
                                  SIGXFSZ, SIGPROF, SIGVTALRM};

void OnEndingSignal(int number) {
  if (newFileNamed)
    unlink(newFilePath);
  // The handler was reset: the signal, delivered again once this returns,
  // ends the program as it would have.
  raise(number);
}

// Signals that end the program remove the new file first, unless the
// program was started with them ignored (nohup, a trap).
void RemoveNewFileOnEndingSignals() {
  for (int number : kEndingSignals) {
    struct sigaction old = {};
    if (sigaction(number, nullptr, &old) != 0 || old.sa_handler != SIG_DFL)
      continue;
    struct sigaction action = {};
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(number, &action, nullptr);
  }
}

// Holds back the signals that end the program while in scope.
class EndingSignalsBlocked {
 public:
  EndingSignalsBlocked() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int number : kEndingSignals)
      sigaddset(&blocked, number);
    sigprocmask(SIG_BLOCK, &blocked, &old_);
  }
  ~EndingSignalsBlocked() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
  EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

 private:
  sigset_t old_;
};

// Follows the symbolic links from `path` to what they name, which need not
// exist. False, with errno set, when a link cannot be read or they loop.
bool FollowLinks(std::string path, std::string* target) {
  for (int links = 0; links < 40; ++links) {
    struct stat status = {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      *target = std::move(path);
      return true;
    }
    std::string link(PATH_MAX, '\0');
    ssize_t length = readlink(path.c_str(), link.data(), link.size());
    if (length < 0)
      return false;
    link.resize(static_cast<size_t>(length));
    if (link.empty() || link[0] != '/') {
      size_t slash = path.rfind('/');
      link.insert(0,
                  slash == std::string::npos ? "" : path.substr(0, slash + 1));
    }
    path = std::move(link);
  }
  errno = ELOOP;
  return false;
}

// Why the file at `path` may not be replaced, or empty: only a regular file
// with no other hard links that may be written.
std::string RefusalOf(const std::string& path, const struct stat& status) {
  if (S_ISDIR(status.st_mode))
    return ErrorText(EISDIR);
  if (!S_ISREG(status.st_mode))
    return "not a regular file";
  if (status.st_nlink > 1)
    return "it has other hard links";
  // Root may write any file, yet one without write permission is read-only
  // to it too.
  if ((status.st_mode & 0222) == 0)
    return ErrorText(EACCES);
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
    return ErrorText(errno);
  return {};
}

}  // namespace

bool ReplacementFile::Create(std::string* reason) {
  Discard();
  std::string target;
  if (!FollowLinks(HostPath(destination_), &target)) {
    *reason = ErrorText(errno);
    return false;
  }
  struct stat old = {};
  bool replacing = stat(target.c_str(), &old) == 0;
  if (replacing) {
    *reason = RefusalOf(target, old);
    if (!reason->empty())
      return false;
  }
  target_ = DecodeUtf8(target);
  FileNameLimit limit;
  limit.utf8 = true;
  for (int taken = 0;; ++taken) {
    // The real process's ID: the simulated one is the session's.
    std::u16string path =
        NewPath(target_, static_cast<uint32_t>(getpid()), taken, limit);
    std::string hostPath = HostPath(path);
    EndingSignalsBlocked blocked;
    // A new file is made as any is (the umask applies), so that whoever
    // reads the destination now may read its replacement; one that replaces
    // a file starts private and takes that file's permissions.
    int fd = open(hostPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                  replacing ? 0600 : 0666);
    if (fd >= 0) {
      if (replacing) {
        if (old.st_uid != geteuid() || old.st_gid != getegid())
          (void)!fchown(fd, old.st_uid, old.st_gid);
        fchmod(fd, old.st_mode & 07777);
      }
      auto object = std::make_unique<HandleObject>();
      object->fd = fd;
      handle_ = NewHandle(std::move(object));
      path_ = std::move(path);
      if (hostPath.size() < sizeof(newFilePath)) {
        std::memcpy(newFilePath, hostPath.c_str(), hostPath.size() + 1);
        newFileNamed = 1;
      }
      return true;
    }
    if (errno != EEXIST || taken + 1 == kNames) {
      *reason = ErrorText(errno);
      return false;
    }
  }
}

bool ReplacementFile::Write(const char* bytes, size_t length, bool /*text*/,
                            std::string* reason) {
  int fd = FromHandle(handle_)->fd;
  while (length > 0) {
    ssize_t written = write(fd, bytes, length);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0) {
      *reason = ErrorText(written < 0 ? errno : EIO);
      Discard();
      return false;
    }
    bytes += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

bool ReplacementFile::Commit(std::string* reason) {
  // close reports what a delayed write could not store.
  bool closed = CloseHandle(handle_);
  int error = errno;
  handle_ = INVALID_HANDLE_VALUE;
  if (closed &&
      rename(HostPath(path_).c_str(), HostPath(target_).c_str()) == 0) {
    newFileNamed = 0;
    path_.clear();
    return true;
  }
  *reason = ErrorText(closed ? errno : error);
  Discard();
  return false;
}

void ReplacementFile::Discard() {
  if (handle_ != INVALID_HANDLE_VALUE) {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  if (!path_.empty()) {
    unlink(HostPath(path_).c_str());
    newFileNamed = 0;
    path_.clear();
  }
}

bool Startup() {
  // Standard input, output and error that were closed lead nowhere, so that
  // no file the run opens takes their place (an error line in -O's file).
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      int null = open("/dev/null", O_RDWR);
      if (null >= 0 && null != fd) {
        dup2(null, fd);
        close(null);
      }
    }
  }
  // A reader that closes the pipe makes a write fail, as on Windows, so the
  // run says so and exits with its code instead of dying of the signal.
  signal(SIGPIPE, SIG_IGN);
  RemoveNewFileOnEndingSignals();
  const char* path = std::getenv("KESTREL_SESSION");
  Session session;
  SessionParser parser(&session);
  std::string name = path ? path : "<built-in sample session>";
  bool ok = true;
  if (path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      WriteStderrLine(
          "kestrel: " + name +
          ": cannot read the session description: " + std::strerror(errno));
      return false;
    }
    // Lines are read into a buffer one byte longer than the longest the
    // parser takes, so that a longer one is cut there and rejected, rather
    // than grown without bound.
    std::vector<char> line(SessionParser::kMaxLineBytes + 2);
    while (ok) {
      file.getline(line.data(), static_cast<std::streamsize>(line.size()));
      auto extracted = static_cast<size_t>(file.gcount());
      if (extracted == 0 && !file)
        break;
      // Unless the file ended or the line was cut, the newline was
      // extracted, and counted.
      bool newline = file.good();
      ok = parser.ParseLine(
          std::string_view(line.data(), extracted - (newline ? 1 : 0)));
      if (!newline)
        break;
    }
    if (ok && file.bad()) {
      WriteStderrLine("kestrel: " + name +
                      ": cannot read the session description");
      return false;
    }
  } else {
    size_t line = 0;
    std::string error;
    if (!ParseSessionText(kSampleSession, &session, &line, &error)) {
      WriteStderrLine("kestrel: " + name + ":" + std::to_string(line) + ": " +
                      error);
      return false;
    }
  }
  if (ok)
    ok = parser.Finish();
  if (!ok) {
    WriteStderrLine("kestrel: " + name + ":" +
                    std::to_string(parser.LineNumber()) + ": " +
                    parser.Error());
    return false;
  }
  InstallSession(std::move(session));
  return true;
}

uint64_t MonotonicMilliseconds() { return GetState().clock; }

uint64_t UnixTimeMilliseconds() {
  constexpr uint64_t kStart = uint64_t{1767225600} * 1000;
  return kStart + GetState().clock;
}

bool ProcessIdToSessionId(uint32_t processId, uint32_t* sessionId) {
  const State& state = GetState();
  if (processId != state.session.selfPid && !FindProcess(processId))
    return false;
  *sessionId = state.session.sessionId;
  return true;
}

void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // A write that the signal interrupts goes on.
  action.sa_flags = SA_RESTART;
  // A closed terminal ends a watch as Ctrl+C does. A signal ignored when
  // the watch started stays ignored: the watch was started to outlive it,
  // as nohup does for SIGHUP and a shell for a background job's SIGINT.
  for (int number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old = {};
    if (sigaction(number, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
      sigaction(number, &action, nullptr);
  }
}

bool InterruptRequested() {
  return signalled != 0 || GetState().interruptDelivered;
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
