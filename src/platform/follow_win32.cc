// The Windows backend of follow.h: starts or opens the program, shares a
// section with it, loads kestrel_agent.dll (from beside kestrel's own
// program) into it by a remote thread that calls LoadLibraryW, and reads the
// section at each sample. Return addresses become module+offset from the
// program's module list, and function and file:line through dbghelp, here in
// kestrel, never in the program.
#include "platform/follow.h"

#include <windows.h>
#include <dbghelp.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "agent/follow_shared.h"

namespace platform {
namespace {

using follow_shared::Section;

class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Reset(nullptr); }
  void Reset(HANDLE handle) {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle_);
    handle_ = handle;
  }
  HANDLE get() const { return handle_; }
  explicit operator bool() const {
    return handle_ && handle_ != INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = nullptr;
};

std::wstring Wide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

std::u16string Utf16(const wchar_t* text, size_t length) {
  return std::u16string(text, text + length);
}

std::u16string FileNameOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  std::wstring name =
      slash == std::wstring::npos ? path : path.substr(slash + 1);
  return Utf16(name.data(), name.size());
}

bool EqualsIgnoringCase(const std::u16string& a, const char16_t* b) {
  size_t length = std::char_traits<char16_t>::length(b);
  if (a.size() != length)
    return false;
  return ::CompareStringOrdinal(reinterpret_cast<const wchar_t*>(a.data()),
                                static_cast<int>(a.size()),
                                reinterpret_cast<const wchar_t*>(b),
                                static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

// kestrel's own folder, where the agent ships.
std::wstring OwnDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = ::GetModuleFileNameW(nullptr, &path[0],
                                        static_cast<DWORD>(path.size()));
    if (length == 0)
      return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring()
                                     : path.substr(0, slash + 1);
}

// One argument as CommandLineToArgvW and the C runtime read it back.
void AppendQuoted(const std::wstring& argument, std::wstring* line) {
  if (!line->empty())
    line->push_back(L' ');
  if (!argument.empty() &&
      argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line->append(argument);
    return;
  }
  line->push_back(L'"');
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line->push_back(c);
  }
  line->append(backslashes * 2, L'\\');
  line->push_back(L'"');
}

// A 32-bit program runs under WOW64.
bool Is32Bit(HANDLE process) {
  using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  auto isWow64Process2 = reinterpret_cast<IsWow64Process2Fn>(
      reinterpret_cast<void*>(::GetProcAddress(
          ::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
  USHORT processMachine = IMAGE_FILE_MACHINE_UNKNOWN;
  USHORT nativeMachine = IMAGE_FILE_MACHINE_UNKNOWN;
  if (isWow64Process2 &&
      isWow64Process2(process, &processMachine, &nativeMachine))
    return processMachine != IMAGE_FILE_MACHINE_UNKNOWN;
  BOOL wow64 = FALSE;
  return ::IsWow64Process(process, &wow64) && wow64;
}

// The machine the image CreateProcessW would start was built for, as its
// PE header says; 0 when it cannot be read.
WORD ImageMachine(const std::wstring& program) {
  std::wstring found(MAX_PATH * 4, L'\0');
  DWORD length =
      ::SearchPathW(nullptr, program.c_str(), L".exe",
                    static_cast<DWORD>(found.size()), &found[0], nullptr);
  if (length == 0 || length >= found.size())
    return 0;
  found.resize(length);
  OwnedHandle file(::CreateFileW(found.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  IMAGE_DOS_HEADER dos = {};
  DWORD read = 0;
  if (!file || !::ReadFile(file.get(), &dos, sizeof(dos), &read, nullptr) ||
      read != sizeof(dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      dos.e_lfanew <= 0)
    return 0;
  struct {
    DWORD signature;
    IMAGE_FILE_HEADER file;
  } nt = {};
  LARGE_INTEGER offset = {};
  offset.QuadPart = dos.e_lfanew;
  if (!::SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN) ||
      !::ReadFile(file.get(), &nt, sizeof(nt), &read, nullptr) ||
      read != sizeof(nt) || nt.signature != IMAGE_NT_SIGNATURE)
    return 0;
  return nt.file.Machine;
}

// A protected process, as Windows 8.1 and later report it.
bool IsProtected(HANDLE process) {
  using GetProcessInformationFn =
      BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
  auto getProcessInformation = reinterpret_cast<GetProcessInformationFn>(
      reinterpret_cast<void*>(::GetProcAddress(
          ::GetModuleHandleW(L"kernel32.dll"), "GetProcessInformation")));
  // PROCESS_PROTECTION_LEVEL_INFORMATION: one DWORD, PROTECTION_LEVEL_NONE
  // (0xFFFFFFFE) for an ordinary process.
  constexpr PROCESS_INFORMATION_CLASS kProtectionLevelInfo =
      static_cast<PROCESS_INFORMATION_CLASS>(7);
  DWORD level = 0xFFFFFFFE;
  return getProcessInformation &&
         getProcessInformation(process, kProtectionLevelInfo, &level,
                               sizeof(level)) &&
         level != 0xFFFFFFFE;
}

// A frame's module, as the program's module list had it.
struct ModuleRange {
  uint64_t base = 0;
  uint64_t size = 0;
  std::wstring path;
  std::u16string name;
  bool symbolsLoaded = false;
};

// dbghelp, loaded from the system folder when first needed.
struct Dbghelp {
  HMODULE module = nullptr;
  decltype(&::SymSetOptions) setOptions = nullptr;
  decltype(&::SymInitializeW) initialize = nullptr;
  decltype(&::SymCleanup) cleanup = nullptr;
  decltype(&::SymLoadModuleExW) loadModule = nullptr;
  decltype(&::SymFromAddrW) fromAddress = nullptr;
  decltype(&::SymGetLineFromAddrW64) lineFromAddress = nullptr;
  decltype(&::SymSetSearchPathW) setSearchPath = nullptr;

  template <typename Function>
  bool Find(const char* name, Function* function) {
    *function = reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return *function != nullptr;
  }

  bool Load() {
    module =
        ::LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module)
      module = ::LoadLibraryW(L"dbghelp.dll");
    return module && Find("SymSetOptions", &setOptions) &&
           Find("SymInitializeW", &initialize) &&
           Find("SymCleanup", &cleanup) &&
           Find("SymLoadModuleExW", &loadModule) &&
           Find("SymFromAddrW", &fromAddress) &&
           Find("SymGetLineFromAddrW64", &lineFromAddress) &&
           Find("SymSetSearchPathW", &setSearchPath);
  }
};

// The frames the report leaves out above the program's own call: the
// agent's and the system's GDI modules'.
bool IsAboveTheProgram(const std::u16string& module) {
  static const char16_t* const kModules[] = {
      u"kestrel_agent.dll", u"gdi32.dll",  u"gdi32full.dll",
      u"win32u.dll",        u"user32.dll",
  };
  for (const char16_t* name : kModules) {
    if (EqualsIgnoringCase(module, name))
      return true;
  }
  return false;
}

}  // namespace

class FollowedProgram {
 public:
  ~FollowedProgram();

  OwnedHandle process;
  OwnedHandle mapping;
  Section* view = nullptr;
  uint32_t pid = 0;
  std::u16string name;
  FILETIME startTime = {};
  std::vector<ModuleRange> modules;
  // Each stack's frames, resolved once when it is first read: frames never
  // change, and the program's modules may be gone later.
  std::vector<std::vector<StackFrame>> resolved;
  std::vector<bool> isResolved;
  // Frames by return address: stacks share most of theirs.
  std::unordered_map<uint64_t, StackFrame> frameOf;
  std::vector<std::pair<uint32_t, std::u16string>> children;
  Dbghelp dbghelp;
  bool symbolsTried = false;
  bool symbolsReady = false;
  std::wstring searchPath;

  void RefreshModules();
  const ModuleRange* ModuleOf(uint64_t address);
  StackFrame Resolve(uint64_t address);
  void ResolveStack(uint32_t index);
  void FindChildren();
  void InitializeSymbols();
};

FollowedProgram::~FollowedProgram() {
  if (view) {
    ::InterlockedExchange(
        reinterpret_cast<volatile LONG*>(&view->header.following), 0);
    ::UnmapViewOfFile(view);
  }
  if (symbolsReady)
    dbghelp.cleanup(process.get());
  if (dbghelp.module)
    ::FreeLibrary(dbghelp.module);
}

void FollowedProgram::RefreshModules() {
  std::vector<HMODULE> handles(256);
  DWORD needed = 0;
  for (;;) {
    if (!::K32EnumProcessModulesEx(
            process.get(), handles.data(),
            static_cast<DWORD>(handles.size() * sizeof(HMODULE)), &needed,
            LIST_MODULES_ALL))
      return;
    if (needed <= handles.size() * sizeof(HMODULE))
      break;
    handles.resize(needed / sizeof(HMODULE) + 16);
  }
  handles.resize(needed / sizeof(HMODULE));
  for (HMODULE handle : handles) {
    uint64_t base = reinterpret_cast<uintptr_t>(handle);
    bool known = std::any_of(
        modules.begin(), modules.end(),
        [base](const ModuleRange& module) { return module.base == base; });
    if (known)
      continue;
    MODULEINFO info = {};
    wchar_t path[MAX_PATH * 4];
    DWORD length =
        ::K32GetModuleFileNameExW(process.get(), handle, path, MAX_PATH * 4);
    if (!::K32GetModuleInformation(process.get(), handle, &info,
                                   sizeof(info)) ||
        length == 0)
      continue;
    ModuleRange module;
    module.base = base;
    module.size = info.SizeOfImage;
    module.path.assign(path, length);
    module.name = FileNameOf(module.path);
    modules.push_back(std::move(module));
  }
}

const ModuleRange* FollowedProgram::ModuleOf(uint64_t address) {
  for (int pass = 0; pass < 2; ++pass) {
    for (const ModuleRange& module : modules) {
      if (address >= module.base && address - module.base < module.size)
        return &module;
    }
    if (pass == 0)
      RefreshModules();
  }
  return nullptr;
}

void FollowedProgram::InitializeSymbols() {
  symbolsTried = true;
  if (!dbghelp.Load())
    return;
  dbghelp.setOptions(SYMOPT_UNDNAME | SYMOPT_DEFERRED_LOADS |
                     SYMOPT_LOAD_LINES | SYMOPT_FAIL_CRITICAL_ERRORS |
                     SYMOPT_NO_PROMPTS);
  // PDBs beside each module first, then where _NT_SYMBOL_PATH says.
  for (const wchar_t* variable :
       {L"_NT_SYMBOL_PATH", L"_NT_ALTERNATE_SYMBOL_PATH"}) {
    wchar_t value[4096];
    DWORD length = ::GetEnvironmentVariableW(variable, value, 4096);
    if (length > 0 && length < 4096) {
      searchPath += L';';
      searchPath.append(value, length);
    }
  }
  symbolsReady = dbghelp.initialize(process.get(), searchPath.c_str(), FALSE);
}

StackFrame FollowedProgram::Resolve(uint64_t address) {
  StackFrame frame;
  const ModuleRange* found = ModuleOf(address);
  if (!found) {
    frame.moduleOffset = address;
    return frame;
  }
  ModuleRange& module = const_cast<ModuleRange&>(*found);
  frame.module = module.name;
  frame.moduleOffset = address - module.base;
  if (!symbolsTried)
    InitializeSymbols();
  if (!symbolsReady)
    return frame;
  if (!module.symbolsLoaded) {
    module.symbolsLoaded = true;
    size_t slash = module.path.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos
                              ? std::wstring()
                              : module.path.substr(0, slash);
    if (!folder.empty() &&
        searchPath.find(folder + L';') == std::wstring::npos) {
      searchPath.insert(0, folder + L';');
      dbghelp.setSearchPath(process.get(), searchPath.c_str());
    }
    dbghelp.loadModule(process.get(), nullptr, module.path.c_str(), nullptr,
                       module.base, static_cast<DWORD>(module.size), nullptr,
                       0);
  }
  // A return address is just past its call: look up the call itself.
  uint64_t call = address - 1;
  alignas(SYMBOL_INFOW) unsigned char
      buffer[sizeof(SYMBOL_INFOW) + 512 * sizeof(wchar_t)];
  auto* symbol = reinterpret_cast<SYMBOL_INFOW*>(buffer);
  std::memset(buffer, 0, sizeof(buffer));
  symbol->SizeOfStruct = sizeof(SYMBOL_INFOW);
  symbol->MaxNameLen = 512;
  DWORD64 displacement = 0;
  if (dbghelp.fromAddress(process.get(), call, &displacement, symbol) &&
      symbol->NameLen > 0) {
    frame.function = Utf16(symbol->Name, std::min<ULONG>(symbol->NameLen, 511));
    frame.functionOffset = address - symbol->Address;
  }
  IMAGEHLP_LINEW64 line = {};
  line.SizeOfStruct = sizeof(line);
  DWORD lineDisplacement = 0;
  if (dbghelp.lineFromAddress(process.get(), call, &lineDisplacement, &line) &&
      line.FileName) {
    frame.file = Utf16(line.FileName, std::wcslen(line.FileName));
    frame.line = line.LineNumber;
  }
  return frame;
}

void FollowedProgram::ResolveStack(uint32_t index) {
  const follow_shared::Stack& stack = view->stacks[index];
  uint32_t depth = std::min(stack.depth, follow_shared::kMaxFrames);
  std::vector<StackFrame> frames;
  frames.reserve(depth);
  for (uint32_t i = 0; i < depth; ++i) {
    uint64_t address = stack.frames[i];
    auto known = frameOf.find(address);
    if (known == frameOf.end())
      known = frameOf.emplace(address, Resolve(address)).first;
    frames.push_back(known->second);
  }
  auto program = std::find_if(
      frames.begin(), frames.end(),
      [](const StackFrame& frame) { return !IsAboveTheProgram(frame.module); });
  if (program != frames.end())
    frames.erase(frames.begin(), program);
  resolved[index] = std::move(frames);
  isResolved[index] = true;
}

// A process the system starts on a program's behalf, not the program:
// Windows' console host, and the desktop process Wine starts for the first
// program that draws.
bool IsSystemHost(const wchar_t* name) {
  static const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"),
                                            "wine_get_version") != nullptr;
  return ::CompareStringOrdinal(name, -1, L"conhost.exe", -1, TRUE) ==
             CSTR_EQUAL ||
         (wine && ::CompareStringOrdinal(name, -1, L"explorer.exe", -1, TRUE) ==
                      CSTR_EQUAL);
}

// Processes whose parent is the program and that started after it (a PID
// is reused: an older process may name the program's PID as its parent).
void FollowedProgram::FindChildren() {
  OwnedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot)
    return;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    // A process still starting has no name yet: the next read names it.
    if (entry.th32ParentProcessID != pid || entry.th32ProcessID == pid ||
        entry.szExeFile[0] == L'\0' || IsSystemHost(entry.szExeFile))
      continue;
    bool known = std::any_of(children.begin(), children.end(),
                             [&](const std::pair<uint32_t, std::u16string>& c) {
                               return c.first == entry.th32ProcessID;
                             });
    if (known)
      continue;
    OwnedHandle child(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                    entry.th32ProcessID));
    FILETIME created, exited, kernel, user;
    if (child &&
        ::GetProcessTimes(child.get(), &created, &exited, &kernel, &user) &&
        ::CompareFileTime(&created, &startTime) < 0)
      continue;
    children.emplace_back(entry.th32ProcessID,
                          Utf16(entry.szExeFile, std::wcslen(entry.szExeFile)));
  }
}

void FollowedProgramDeleter::operator()(FollowedProgram* program) const {
  delete program;
}

namespace {

FollowedProgramPtr Fail(FollowFailure reason, FollowFailure* failure) {
  *failure = reason;
  return nullptr;
}

// Creates the section the agent will open, named after the program's PID.
bool ShareSection(FollowedProgram& program) {
  std::wstring name = std::wstring(follow_shared::kSectionPrefix) +
                      std::to_wstring(program.pid);
  program.mapping.Reset(
      ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                           static_cast<DWORD>(uint64_t{sizeof(Section)} >> 32),
                           static_cast<DWORD>(sizeof(Section)), name.c_str()));
  // An existing one is another kestrel's, or the leftover of one that was
  // killed while its agent still writes there.
  if (!program.mapping || ::GetLastError() == ERROR_ALREADY_EXISTS)
    return false;
  program.view = static_cast<Section*>(
      ::MapViewOfFile(program.mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0,
                      0, sizeof(Section)));
  if (!program.view)
    return false;
  follow_shared::Header& header = program.view->header;
  header.magic = follow_shared::kMagic;
  header.version = follow_shared::kVersion;
  header.size = sizeof(Section);
  header.startTick = ::GetTickCount64();
  header.following = 1;
  return true;
}

// Loads the agent by a thread of the program's that runs LoadLibraryW (at
// the same address in every process of a session) on its path.
FollowFailure LoadAgent(FollowedProgram& program, const std::wstring& agent) {
  HANDLE process = program.process.get();
  size_t bytes = (agent.size() + 1) * sizeof(wchar_t);
  void* remote = ::VirtualAllocEx(process, nullptr, bytes,
                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote)
    return FollowFailure::AgentFailed;
  FollowFailure result = FollowFailure::AgentFailed;
  auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(::GetProcAddress(
          ::GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
  if (::WriteProcessMemory(process, remote, agent.c_str(), bytes, nullptr)) {
    OwnedHandle thread(::CreateRemoteThread(process, nullptr, 0, loadLibrary,
                                            remote, 0, nullptr));
    if (thread) {
      HANDLE waits[] = {thread.get(), process};
      DWORD waited = ::WaitForMultipleObjects(2, waits, FALSE, 30000);
      if (waited == WAIT_OBJECT_0 &&
          program.view->header.agentState == follow_shared::kAgentReady)
        result = FollowFailure::None;
      else if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
        result = FollowFailure::ExitedEarly;
    } else if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
      result = FollowFailure::ExitedEarly;
    }
  }
  // Left in place if the thread still runs, so that it reads no freed page.
  if (result != FollowFailure::AgentFailed)
    ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return result;
}

FollowFailure Launch(const FollowRequest& request, FollowedProgram& program,
                     OwnedHandle* mainThread) {
  // A 32-bit program is told by its image before it starts: this Wine or
  // Windows may not run it at all.
  WORD machine = ImageMachine(Wide(request.program));
  if (machine == IMAGE_FILE_MACHINE_I386 || machine == IMAGE_FILE_MACHINE_ARMNT)
    return FollowFailure::Not64Bit;
  std::wstring line;
  AppendQuoted(Wide(request.program), &line);
  for (const std::u16string& argument : request.arguments)
    AppendQuoted(Wide(argument), &line);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  // A process group of its own: the console's Ctrl+C stops kestrel's
  // following, not the program.
  if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, nullptr,
                        nullptr, &startup, &created)) {
    switch (::GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_PATHNAME:
      case ERROR_DIRECTORY:
        return FollowFailure::ProgramNotFound;
      default:
        return FollowFailure::CannotStart;
    }
  }
  program.process.Reset(created.hProcess);
  mainThread->Reset(created.hThread);
  program.pid = created.dwProcessId;
  if (Is32Bit(program.process.get())) {
    ::TerminateProcess(program.process.get(), 1);
    return FollowFailure::Not64Bit;
  }
  return FollowFailure::None;
}

FollowFailure Attach(uint32_t pid, FollowedProgram& program) {
  // What loading the agent and reading the module list need, no more.
  constexpr DWORD kRights = PROCESS_CREATE_THREAD | PROCESS_VM_OPERATION |
                            PROCESS_VM_WRITE | PROCESS_VM_READ |
                            PROCESS_QUERY_INFORMATION | SYNCHRONIZE;
  program.pid = pid;
  program.process.Reset(::OpenProcess(kRights, FALSE, pid));
  if (!program.process) {
    DWORD error = ::GetLastError();
    if (error == ERROR_INVALID_PARAMETER)
      return FollowFailure::NoSuchProcess;
    OwnedHandle limited(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!limited)
      return ::GetLastError() == ERROR_INVALID_PARAMETER
                 ? FollowFailure::NoSuchProcess
                 : FollowFailure::AccessDenied;
    return IsProtected(limited.get()) ? FollowFailure::Protected
                                      : FollowFailure::AccessDenied;
  }
  DWORD exitCode = 0;
  if (::GetExitCodeProcess(program.process.get(), &exitCode) &&
      exitCode != STILL_ACTIVE)
    return FollowFailure::NoSuchProcess;
  if (Is32Bit(program.process.get()))
    return FollowFailure::Not64Bit;
  return FollowFailure::None;
}

}  // namespace

FollowedProgramPtr StartFollowing(const FollowRequest& request,
                                  FollowFailure* failure) {
  *failure = FollowFailure::None;
  std::wstring agent = OwnDirectory() + L"kestrel_agent.dll";
  DWORD attributes = ::GetFileAttributesW(agent.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Fail(FollowFailure::AgentMissing, failure);
  FollowedProgramPtr program(new FollowedProgram);
  OwnedHandle mainThread;
  FollowFailure started = request.attach
                              ? Attach(request.pid, *program)
                              : Launch(request, *program, &mainThread);
  if (started != FollowFailure::None)
    return Fail(started, failure);
  FILETIME exited, kernel, user;
  ::GetProcessTimes(program->process.get(), &program->startTime, &exited,
                    &kernel, &user);
  std::wstring image(MAX_PATH * 4, L'\0');
  DWORD length = static_cast<DWORD>(image.size());
  if (::QueryFullProcessImageNameW(program->process.get(), 0, &image[0],
                                   &length)) {
    image.resize(length);
    program->name = FileNameOf(image);
  } else {
    program->name =
        request.attach ? std::u16string() : FileNameOf(Wide(request.program));
  }
  FollowFailure loaded = ShareSection(*program) ? LoadAgent(*program, agent)
                                                : FollowFailure::AgentFailed;
  if (loaded != FollowFailure::None) {
    // A launched program never ran a line of its own: it goes.
    if (mainThread)
      ::TerminateProcess(program->process.get(), 1);
    return Fail(loaded, failure);
  }
  if (mainThread)
    ::ResumeThread(mainThread.get());
  return program;
}

bool ReadFollowState(FollowedProgram& program, FollowState* state) {
  if (!program.view)
    return false;
  const Section& shared = *program.view;
  state->pid = program.pid;
  state->name = program.name;
  state->exited = false;
  state->exitCode = 0;
  DWORD exitCode = 0;
  if (::WaitForSingleObject(program.process.get(), 0) == WAIT_OBJECT_0 &&
      ::GetExitCodeProcess(program.process.get(), &exitCode)) {
    state->exited = true;
    state->exitCode = exitCode;
  } else {
    program.FindChildren();
  }
  uint32_t claimed = static_cast<uint32_t>(
      std::max<int32_t>(0, int32_t{shared.header.stacksClaimed}));
  claimed = std::min(claimed, follow_shared::kMaxStacks);
  if (program.resolved.size() < claimed) {
    program.resolved.resize(claimed);
    program.isResolved.resize(claimed, false);
  }
  state->stacks.clear();
  std::fill(std::begin(state->withoutStackByType),
            std::end(state->withoutStackByType), 0);
  for (uint32_t index = 0; index < claimed; ++index) {
    const follow_shared::Stack& stack = shared.stacks[index];
    if (stack.state != follow_shared::kStackPublished)
      continue;
    if (!program.isResolved[index])
      program.ResolveStack(index);
    FollowedStack followed;
    followed.id = index + 1;
    followed.frames = program.resolved[index];
    for (uint32_t type = 0; type < follow_shared::kTypeSlots; ++type) {
      int32_t live = stack.live[type];
      followed.liveByType[follow_shared::kTypeCodes[type]] =
          static_cast<uint32_t>(std::max(0, live));
    }
    followed.created = static_cast<uint64_t>(stack.created);
    followed.firstCreationMs = stack.firstMs;
    followed.lastCreationMs = static_cast<uint64_t>(stack.lastMs);
    state->stacks.push_back(std::move(followed));
  }
  for (uint32_t type = 0; type < follow_shared::kTypeSlots; ++type) {
    int32_t live = shared.header.withoutStack[type];
    state->withoutStackByType[follow_shared::kTypeCodes[type]] =
        static_cast<uint32_t>(std::max(0, live));
  }
  state->children = program.children;
  return true;
}

void StopFollowing(FollowedProgram& program) {
  if (program.view)
    ::InterlockedExchange(
        reinterpret_cast<volatile LONG*>(&program.view->header.following), 0);
}

}  // namespace platform
