// kestrel.exe against the live system, as a user runs it: this program reads
// what kestrel.exe lists for it (`-o json PID` and `-c PID`), creates a known
// set of GDI objects, reads again, and checks that each category grew by
// exactly what it created, and that kestrel's entries for it (GDI Total)
// equal its GetGuiResources count (GDI All): the measure of how much of the
// table kestrel reads, whose region it prints. Exits 1 on any difference.
//
// Under Wine, GetGuiResources returns 0 and the table names no owner, so
// kestrel.exe lists no process there: the program says it skipped and exits
// 0.
//
// usage: live_check KESTREL_EXE
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The count view's columns, in its order.
constexpr int kCategoryCount = 11;
const char* const kCategories[kCategoryCount] = {
    "Pen",    "ExtPen", "Brush",  "Bitmap",    "Font",    "Palette",
    "Region", "DC",     "MetaDC", "EnhMetaDC", "OtherGDi"};
enum Category {
  kPen,
  kExtPen,
  kBrush,
  kBitmap,
  kFont,
  kPalette,
  kRegion,
  kDC,
  kMetaDC,
  kEnhMetaDC,
  kOtherGDi
};

struct Counts {
  int values[kCategoryCount] = {};
  // GDI Total and GDI All, and the table's entries kestrel reads (JSON).
  long long gdiTotal = -1;
  long long gdiAll = -1;
  long long tableSlots = -1;
};

// The number after `"key":` from `from` on in `json`; -1 when it is not
// there.
long long JsonNumber(const std::string& json, const char* key, size_t from) {
  std::string quoted = std::string("\"") + key + "\":";
  size_t at = json.find(quoted, from);
  return at == std::string::npos
             ? -1
             : std::atoll(json.c_str() + at + quoted.size());
}

// The 64-bit TEB, at gs:0, holds the PEB's address at 0x60; the PEB holds the
// GDI shared handle table's at 0xF8.
const void* SharedTableAddress() {
  const unsigned char* peb = nullptr;
#if defined(_MSC_VER)
  peb = reinterpret_cast<const unsigned char*>(__readgsqword(0x60));
#else
  __asm__("movq %%gs:0x60, %0" : "=r"(peb));
#endif
  const void* table = nullptr;
  std::memcpy(&table, peb + 0xF8, sizeof(table));
  return table;
}

class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~UniqueHandle() {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE* out() { return &handle_; }
  void reset() {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE)
      ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

class ScopedGdiObject {
 public:
  explicit ScopedGdiObject(HGDIOBJ object) : object_(object) {}
  ~ScopedGdiObject() {
    if (object_)
      ::DeleteObject(object_);
  }
  ScopedGdiObject(const ScopedGdiObject&) = delete;
  ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;

 private:
  HGDIOBJ object_;
};

// The objects this program creates, each with the category kestrel counts
// it under, deleted when the set goes.
class GdiObjects {
 public:
  GdiObjects() {
    LOGBRUSH logBrush = {BS_SOLID, RGB(10, 20, 30), 0};
    struct {
      LOGPALETTE header;
      PALETTEENTRY more[1];
    } palette = {{0x300, 2, {{1, 2, 3, 0}}}, {{4, 5, 6, 0}}};
    Add(::CreatePen(PS_SOLID, 1, RGB(1, 2, 3)), kPen);
    Add(::CreatePen(PS_DASH, 1, RGB(4, 5, 6)), kPen);
    Add(::ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 3, &logBrush, 0, nullptr),
        kExtPen);
    Add(::CreateSolidBrush(RGB(7, 8, 9)), kBrush);
    Add(::CreateHatchBrush(HS_CROSS, RGB(10, 11, 12)), kBrush);
    Add(::CreateBitmap(8, 8, 1, 1, nullptr), kBitmap);
    Add(::CreateFontW(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial"),
        kFont);
    Add(::CreateRectRgn(0, 0, 10, 10), kRegion);
    Add(::CreatePalette(&palette.header), kPalette);
    Add(::CreateCompatibleDC(nullptr), kDC, kMemoryDc);
    Add(::CreateMetaFileW(nullptr), kMetaDC, kMetafileDc);
    // Windows makes an enhanced-metafile DC an alternate DC (type 0x21),
    // which kestrel counts under OtherGDi; the enhanced metafile it gives
    // when closed counts under EnhMetaDC.
    Add(::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr), kOtherGDi,
        kEnhancedMetafileDc);
    Add(::CloseEnhMetaFile(
            ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr)),
        kEnhMetaDC, kEnhancedMetafile);
  }
  ~GdiObjects() {
    for (const Object& object : objects_) {
      switch (object.kind) {
        case kGdiObject:
          ::DeleteObject(static_cast<HGDIOBJ>(object.handle));
          break;
        case kMemoryDc:
          ::DeleteDC(static_cast<HDC>(object.handle));
          break;
        case kMetafileDc:
          ::DeleteMetaFile(::CloseMetaFile(static_cast<HDC>(object.handle)));
          break;
        case kEnhancedMetafileDc:
          ::DeleteEnhMetaFile(
              ::CloseEnhMetaFile(static_cast<HDC>(object.handle)));
          break;
        case kEnhancedMetafile:
          ::DeleteEnhMetaFile(static_cast<HENHMETAFILE>(object.handle));
          break;
      }
    }
  }
  GdiObjects(const GdiObjects&) = delete;
  GdiObjects& operator=(const GdiObjects&) = delete;

  bool failed() const { return failed_; }
  const Counts& created() const { return created_; }

 private:
  enum Kind {
    kGdiObject,
    kMemoryDc,
    kMetafileDc,
    kEnhancedMetafileDc,
    kEnhancedMetafile
  };
  struct Object {
    void* handle;
    Kind kind;
  };

  void Add(void* handle, Category category, Kind kind = kGdiObject) {
    if (!handle) {
      std::printf("cannot create an object counted under %s\n",
                  kCategories[category]);
      failed_ = true;
      return;
    }
    objects_.push_back({handle, kind});
    ++created_.values[category];
  }

  std::vector<Object> objects_;
  Counts created_;
  bool failed_ = false;
};

// Runs kestrel.exe with `arguments` and returns its standard output; false
// when it cannot be started or does not exit with 0. Its standard error is
// this program's.
bool RunKestrel(const std::wstring& exe, const std::wstring& arguments,
                std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  UniqueHandle readEnd;
  UniqueHandle writeEnd;
  if (!::CreatePipe(readEnd.out(), writeEnd.out(), &inherit, 0) ||
      !::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
    std::printf("cannot make a pipe (error %lu)\n", ::GetLastError());
    return false;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
  PROCESS_INFORMATION information = {};
  if (!::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                        nullptr, nullptr, &startup, &information)) {
    std::printf("cannot start kestrel.exe (error %lu)\n", ::GetLastError());
    return false;
  }
  UniqueHandle process(information.hProcess);
  UniqueHandle thread(information.hThread);
  // Only the child holds the write end now: reading ends when it exits.
  writeEnd.reset();
  output->clear();
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(readEnd.get(), buffer, sizeof(buffer), &read, nullptr) &&
         read > 0)
    output->append(buffer, read);
  DWORD exitCode = 1;
  if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process.get(), &exitCode) || exitCode != 0) {
    std::printf("kestrel.exe %ls: exit code %lu, output:\n%s\n",
                arguments.c_str(), exitCode, output->c_str());
    return false;
  }
  return true;
}

// The categories of process `pid` in kestrel's JSON document; all 0 when
// the document does not list it. False when the document lists it without
// every category.
bool CountsFromJson(const std::string& json, DWORD pid, Counts* counts) {
  *counts = Counts();
  counts->tableSlots = JsonNumber(json, "tableSlots", 0);
  size_t process = json.find("{\"pid\":" + std::to_string(pid) + ",");
  if (process == std::string::npos)
    return true;
  counts->gdiTotal = JsonNumber(json, "gdiTotal", process);
  counts->gdiAll = JsonNumber(json, "gdiAll", process);
  size_t categories = json.find("\"categories\":{", process);
  size_t end = json.find('}', categories);
  if (categories == std::string::npos || end == std::string::npos)
    return false;
  for (int c = 0; c < kCategoryCount; ++c) {
    std::string key = std::string("\"") + kCategories[c] + "\":";
    size_t at = json.find(key, categories);
    if (at == std::string::npos || at > end)
      return false;
    counts->values[c] = std::atoi(json.c_str() + at + key.size());
  }
  return true;
}

// The counters of the -c view: the line after its header; all 0 when the
// view lists no process. False when the header is there without them.
bool CountsFromView(const std::string& view, Counts* counts) {
  *counts = Counts();
  size_t header = view.find(" Pen ExtPen Brush");
  if (header == std::string::npos)
    return true;
  size_t line = view.find('\n', header);
  if (line == std::string::npos)
    return false;
  std::istringstream numbers(view.substr(line + 1));
  for (int c = 0; c < kCategoryCount; ++c) {
    if (!(numbers >> counts->values[c]))
      return false;
  }
  return true;
}

// Reads both views of this process; false when either cannot be had.
bool ReadCounts(const std::wstring& exe, Counts* fromJson, Counts* fromView) {
  DWORD self = ::GetCurrentProcessId();
  std::wstring pid = std::to_wstring(self);
  std::string output;
  if (!RunKestrel(exe, L"-o json " + pid, &output))
    return false;
  if (!CountsFromJson(output, self, fromJson)) {
    std::printf("the JSON document lacks categories:\n%s\n", output.c_str());
    return false;
  }
  if (!RunKestrel(exe, L"-c " + pid, &output))
    return false;
  if (!CountsFromView(output, fromView)) {
    std::printf("the -c view lacks its counters:\n%s\n", output.c_str());
    return false;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::printf("usage: live_check KESTREL_EXE\n");
    return 2;
  }
  const std::wstring exe = argv[1];

  // gdi32 keeps some deleted objects (solid brushes, regions, pens, fonts)
  // for the next one created, which then adds no entry: these take what it
  // keeps before the first count and live to the end, so they are in every
  // count, and each object created after them takes a new entry.
  std::vector<std::unique_ptr<ScopedGdiObject>> cacheDrain;
  for (int i = 0; i < 64; ++i) {
    cacheDrain.push_back(
        std::make_unique<ScopedGdiObject>(::CreateSolidBrush(RGB(1, 1, i))));
    cacheDrain.push_back(
        std::make_unique<ScopedGdiObject>(::CreateRectRgn(0, 0, i, i)));
    cacheDrain.push_back(std::make_unique<ScopedGdiObject>(
        ::CreatePen(PS_SOLID, 1, RGB(1, i, 1))));
  }
  if (::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS) == 0) {
    std::printf("skipped: GetGuiResources returns 0 here\n");
    return 0;
  }

  Counts jsonBefore;
  Counts viewBefore;
  if (!ReadCounts(exe, &jsonBefore, &viewBefore))
    return 1;
  GdiObjects objects;
  if (objects.failed())
    return 1;
  Counts jsonAfter;
  Counts viewAfter;
  if (!ReadCounts(exe, &jsonAfter, &viewAfter))
    return 1;

  int failures = 0;
  std::printf("%-10s %7s %7s %7s %7s %7s\n", "category", "created", "json",
              "before", "-c", "before");
  for (int c = 0; c < kCategoryCount; ++c) {
    int created = objects.created().values[c];
    bool ok = jsonAfter.values[c] == jsonBefore.values[c] + created &&
              viewAfter.values[c] == viewBefore.values[c] + created;
    std::printf("%-10s %7d %7d %7d %7d %7d  %s\n", kCategories[c], created,
                jsonAfter.values[c], jsonBefore.values[c], viewAfter.values[c],
                viewBefore.values[c], ok ? "ok" : "FAIL");
    if (!ok)
      ++failures;
  }
  // Every object of this process has its entry in the part of the table
  // kestrel reads: none lies beyond it.
  MEMORY_BASIC_INFORMATION region = {};
  const void* table = SharedTableAddress();
  ::VirtualQuery(table, &region, sizeof(region));
  std::printf(
      "shared table at %p: region %llu bytes (%llu entries of 24 "
      "bytes); kestrel reads %lld entries\n",
      table, static_cast<unsigned long long>(region.RegionSize),
      static_cast<unsigned long long>(region.RegionSize / 24),
      jsonAfter.tableSlots);
  bool whole = jsonAfter.gdiTotal == jsonAfter.gdiAll;
  std::printf("GDI Total %lld, GDI All %lld: %s\n", jsonAfter.gdiTotal,
              jsonAfter.gdiAll, whole ? "ok" : "FAIL");
  if (!whole)
    ++failures;
  if (failures != 0) {
    std::printf("%d checks differ from what was created\n", failures);
    return 1;
  }
  std::printf("all checks passed\n");
  return 0;
}
