// The Windows backend against the live system: the process snapshot, process
// queries, the runtime's conversions and the GDI shared handle table. Runs
// natively and under Wine; where Wine differs from Windows, the tests check
// what both do and print what this system wrote.
#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <clocale>
#include <string>
#include <vector>

#include "census/process_table.h"
#include "cli/command_line.h"
#include "gditable/object_types.h"
#include "gditable/shared_table.h"

// After the project's headers: windows.h defines some of their names as
// macros, so from here on the system's constants are used.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

namespace {

std::u16string Lower(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z')
      c = static_cast<char16_t>(c + 32);
  }
  return text;
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text)
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

const char16_t* AsU16(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}

TEST(PlatformWin32Test, SnapshotListsOwnProcess) {
  platform::HANDLE snapshot =
      platform::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);

  uint32_t self = platform::GetCurrentProcessId();
  EXPECT_EQ(::GetCurrentProcessId(), self);

  platform::PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  int processes = 0;
  int ownEntries = 0;
  std::u16string ownName;
  for (bool more = platform::Process32FirstW(snapshot, &entry); more;
       more = platform::Process32NextW(snapshot, &entry)) {
    ++processes;
    if (entry.th32ProcessID == self) {
      ++ownEntries;
      ownName = entry.szExeFile;
    }
  }
  EXPECT_TRUE(platform::CloseHandle(snapshot));

  std::printf("snapshot: %d processes, own process %u is \"%s\"\n", processes,
              self, Narrow(ownName).c_str());
  EXPECT_EQ(1, ownEntries);
  // The snapshot names the executable file alone, without its folder.
  EXPECT_EQ(u"kestrel_tests.exe", Lower(ownName));
}

TEST(PlatformWin32Test, OpenProcessAndGuiResourcesOnOwnProcess) {
  // One object of our own, so that Windows has something to count.
  HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_NE(nullptr, brush);

  uint32_t self = platform::GetCurrentProcessId();
  platform::HANDLE process =
      platform::OpenProcess(PROCESS_QUERY_INFORMATION, false, self);
  ASSERT_NE(nullptr, process);
  // The handle really designates this process.
  EXPECT_EQ(self, ::GetProcessId(static_cast<::HANDLE>(process)));
  uint32_t count = platform::GetGuiResources(process, GR_GDIOBJECTS);
  EXPECT_TRUE(platform::CloseHandle(process));
  // Wine reports 0 for every process; Windows counts at least the brush.
  std::printf("GetGuiResources(own process, GR_GDIOBJECTS) = %u\n", count);
  ::DeleteObject(brush);
}

TEST(PlatformWin32Test, OpenProcessFailsWithNullForNoSuchProcess) {
  // Process ids are multiples of 4; this one is never handed out.
  EXPECT_EQ(nullptr, platform::OpenProcess(PROCESS_QUERY_INFORMATION, false,
                                           0xFFFFFFF0u));
}

// The target's number conversion must agree with the runtime's wcstoul in
// base 10, whose unsigned long is 32 bits here.
TEST(PlatformWin32Test, ConvertTargetNumberMatchesWcstoul) {
  static_assert(sizeof(unsigned long) == 4, "32-bit unsigned long");
  struct Case {
    const wchar_t* text;
    uint32_t value;
    size_t consumed;
  };
  const Case cases[] = {
      {L"42", 42, 2},
      {L" 42", 42, 3},
      {L"+42", 42, 3},
      {L"0", 0, 1},
      {L"", 0, 0},
      {L"   ", 0, 0},
      {L"-", 0, 0},
      {L"+", 0, 0},
      {L"+-5", 0, 0},
      {L"-+5", 0, 0},
      {L"- 5", 0, 0},
      {L"-1", 4294967295u, 2},
      {L"-0", 0, 2},
      {L"4294967295", 4294967295u, 10},
      {L"4294967296", 4294967295u, 10},
      {L"99999999999999999999999", 4294967295u, 23},
      {L"-4294967295", 1, 11},
      {L"-4294967296", 1, 11},
      {L"-99999999999999999999999", 1, 24},
      {L"00000000000000000000042", 42, 23},
      {L"12ab", 12, 2},
      {L"0x10", 0, 1},
      {L"42 ", 42, 2},
      {L"4 2", 4, 1},
      {L"\t7", 7, 2},
      {L"\n7", 7, 2},
      {L"\v\f\r 7", 7, 5},
      {L" \t -8", 4294967288u, 5},
      {L" + 5", 0, 0},
      {L"notepad", 0, 0},
      {L"1e3", 1, 1},
      {L"3.5", 3, 1},
  };
  for (const Case& c : cases) {
    std::u16string text = AsU16(c.text);
    SCOPED_TRACE("input \"" + Narrow(text) + "\"");
    wchar_t* end = nullptr;
    unsigned long expected = std::wcstoul(c.text, &end, 10);
    size_t expectedConsumed = static_cast<size_t>(end - c.text);
    size_t consumed = 99;
    uint32_t value = ConvertTargetNumber(text.data(), text.size(), &consumed);
    EXPECT_EQ(expected, value);
    EXPECT_EQ(expectedConsumed, consumed);
    // And both say what the table says.
    EXPECT_EQ(c.value, value);
    EXPECT_EQ(c.consumed, consumed);
  }
}

std::string InCodePage(const std::u16string& text) {
  std::string bytes;
  platform::AppendInCodePage(text.data(), text.size(), bytes);
  return bytes;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buffer[4];
  for (unsigned char b : bytes) {
    std::snprintf(buffer, sizeof(buffer), "%02X ", b);
    out += buffer;
  }
  return out;
}

class ChsLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::SetLocale("chs")); }
  void TearDown() override { EXPECT_TRUE(platform::SetLocale("C")); }
};

TEST_F(ChsLocaleTest, NamesCodePage936) {
  std::string name = std::setlocale(LC_ALL, nullptr);
  std::printf("setlocale(LC_ALL, \"chs\") gives \"%s\"\n", name.c_str());
  ASSERT_GE(name.size(), 4u);
  EXPECT_EQ(".936", name.substr(name.size() - 4));
}

TEST_F(ChsLocaleTest, AppendInCodePage) {
  struct Case {
    const char* what;
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {"ASCII", u"notepad.exe -v\n", "notepad.exe -v\n"},
      {"Chinese", u"\u5FAE\u8F6F", "\xCE\xA2\xC8\xED"},  // 微软
      {"Chinese in ASCII", u"a\u4E2D\u6587b",  // 中文
       "a\xD6\xD0\xCE\xC4" "b"},
      {"ideographic space", u"\u3000", "\xA1\xA1"},
      {"fullwidth A", u"\uFF21", "\xA3\xC1"},
      {"middle dot", u"\u00B7", "\xA1\xA4"},
      {"em dash", u"\u2014", "\xA1\xAA"},
      {"euro sign", u"\u20AC", "\x80"},
      // Pinyin letters with tone marks are in code page 936.
      {"e acute", u"\u00E9", "\xA8\xA6"},
      {"a grave", u"\u00E0", "\xA8\xA4"},
      {"u diaeresis", u"\u00FC", "\xA8\xB9"},
      {"a macron", u"\u0101", "\xA8\xA1"},
      // Other accented Latin letters are not.
      {"a diaeresis", u"\u00E4", "?"},
      {"c cedilla", u"\u00E7", "?"},
      {"o stroke", u"\u00F8", "?"},
      {"no-break space", u"\u00A0", "?"},
      {"Thai", u"\u0E01", "?"},
      {"Hangul", u"\uD55C", "?"},
      {"lone high surrogate", u"a\xD800" "b", "a?b"},
      {"lone low surrogate", u"\xDC00", "?"},
      // Converted unit by unit, a pair is two lone surrogates.
      {"surrogate pair", u"\U0001F600", "??"},
      {"unrepresentable in Chinese", u"\u5FAE\u0E01\u5FAE",
       "\xCE\xA2?\xCE\xA2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = InCodePage(c.text);
    std::printf("chs: %-26s -> %s\n", c.what, Hex(bytes).c_str());
    EXPECT_EQ(c.bytes, bytes);
  }
}

// The runtime's own conversion falls back on a look-alike for some
// characters that code page 936 lacks (a capital letter on the small one's
// code, a letter without its accent); those must come out as "?" like any
// other character without a code of its own.
TEST_F(ChsLocaleTest, NoLookAlikeForMissingCharacters) {
  struct Case {
    const char* what;
    std::u16string text;
  };
  const Case cases[] = {
      {"capital E acute", u"\u00C9"},  // the runtime gives e acute's code
      {"capital A macron", u"\u0100"},  // the runtime gives a macron's code
      {"a circumflex", u"\u00E2"},      // the runtime gives "a"
      {"capital thorn", u"\u00DE"},     // the runtime gives "T"
      {"eth", u"\u00F0"},               // the runtime gives "e"
      {"superscript two", u"\u00B2"},   // the runtime gives "2"
      {"broken bar", u"\u00A6"},        // the runtime gives "|"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = InCodePage(c.text);
    std::printf("chs: %-26s -> %s\n", c.what, Hex(bytes).c_str());
    EXPECT_EQ("?", bytes);
  }
}

TEST(PlatformWin32Test, AppendInCodePageInCLocale) {
  ASSERT_TRUE(platform::SetLocale("C"));
  std::string bytes = InCodePage(u"ab\u5FAE\u00E9");
  std::printf("C: ab, U+5FAE, U+00E9 -> %s\n", Hex(bytes).c_str());
  // The "C" locale passes Latin-1 through as single bytes.
  EXPECT_EQ("ab?\xE9", bytes);
}

TEST(PlatformWin32Test, StrStrIW) {
  struct Case {
    const char* what;
    const char16_t* text;
    const char16_t* search;
    int offset;  // -1: not found
  };
  const Case cases[] = {
      {"same case", u"notepad.exe", u"pad", 4},
      {"upper text", u"NOTEPAD.EXE", u"pad.exe", 4},
      {"mixed search", u"explorer.exe", u"ExPlOrEr", 0},
      {"whole text", u"calc.exe", u"CALC.EXE", 0},
      {"first of two", u"abcabc", u"BC", 1},
      {"restart after partial", u"aaab", u"AAB", 1},
      {"absent", u"notepad.exe", u"calc", -1},
      {"longer search", u"calc", u"calc.exe", -1},
      {"not a letter pair", u"a[b", u"{", -1},
      {"Latin-1", u"\u00C9COLE.EXE", u"\u00E9cole", 0},
      {"Latin-1 reversed", u"\u00E9cole.exe", u"\u00C9COLE", 0},
      {"o diaeresis", u"m\u00D6bius", u"\u00F6", 1},
      {"thorn", u"\u00DE", u"\u00FE", 0},
      {"times is not divide", u"\u00D7", u"\u00F7", -1},
      {"y diaeresis", u"\u0178", u"\u00FF", 0},
      {"Latin Extended-A", u"\u0141\u00F3d\u017A", u"\u0142\u00D3D\u0179", 0},
      {"A macron", u"x\u0100", u"\u0101", 1},
      {"sharp s is not ss", u"stra\u00DFe", u"STRASSE", -1},
      // Beyond the Latin letters the system folds by its own case table.
      {"Greek", u"\u03A3\u03A9", u"\u03C9", 1},
      {"Cyrillic", u"\u0416", u"\u0436", 0},
      {"dotless i is not I", u"I", u"\u0131", -1},
      {"dotted I is not i", u"\u0130", u"i", -1},
      {"micro sign is not Mu", u"\u00B5", u"\u039C", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const char16_t* found = platform::StrStrIW(c.text, c.search);
    int offset = found ? static_cast<int>(found - c.text) : -1;
    EXPECT_EQ(c.offset, offset);
  }
}

TEST(PlatformWin32Test, StrStrIWWithEmptySearch) {
  const char16_t* text = u"notepad.exe";
  const char16_t* found = platform::StrStrIW(text, u"");
  std::printf("StrStrIW(\"notepad.exe\", \"\") = %s\n",
              !found ? "null" : found == text ? "the text" : "inside it");
  std::printf("StrStrIW(\"\", \"\") = %s\n",
              platform::StrStrIW(u"", u"") ? "non-null" : "null");
  EXPECT_EQ(nullptr, found);
  EXPECT_EQ(nullptr, platform::StrStrIW(u"", u""));
}

// One GDI object of the test's own, with the type code that this tool's type
// table gives its kind, and the code Wine 8 writes instead: only the low five
// bits of its own type numbers, in which a bitmap is 9, not 5.
struct GdiObject {
  const char* kind;
  void* handle;
  uint8_t windowsCode;
  uint8_t wineCode;
};

void DeleteGdiObject(const GdiObject& object) {
  std::string kind = object.kind;
  if (kind == "memory DC") {
    ::DeleteDC(static_cast<HDC>(object.handle));
  } else if (kind == "metafile DC") {
    ::DeleteMetaFile(::CloseMetaFile(static_cast<HDC>(object.handle)));
  } else if (kind == "metafile") {
    ::DeleteMetaFile(static_cast<HMETAFILE>(object.handle));
  } else if (kind == "enhanced metafile DC") {
    ::DeleteEnhMetaFile(::CloseEnhMetaFile(static_cast<HDC>(object.handle)));
  } else if (kind == "enhanced metafile") {
    ::DeleteEnhMetaFile(static_cast<HENHMETAFILE>(object.handle));
  } else {
    ::DeleteObject(static_cast<HGDIOBJ>(object.handle));
  }
}

struct GdiObjects {
  GdiObjects() {
    LOGBRUSH logBrush = {BS_SOLID, RGB(10, 20, 30), 0};
    BITMAPINFO dibInfo = {};
    dibInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    dibInfo.bmiHeader.biWidth = 4;
    dibInfo.bmiHeader.biHeight = 4;
    dibInfo.bmiHeader.biPlanes = 1;
    dibInfo.bmiHeader.biBitCount = 32;
    dibInfo.bmiHeader.biCompression = BI_RGB;
    void* dibBits = nullptr;
    struct {
      LOGPALETTE header;
      PALETTEENTRY more[1];
    } palette = {{0x300, 2, {{1, 2, 3, 0}}}, {{4, 5, 6, 0}}};

    Add("solid brush", ::CreateSolidBrush(RGB(1, 2, 3)), 0x10, 0x10);
    Add("hatch brush", ::CreateHatchBrush(HS_CROSS, RGB(4, 5, 6)), 0x10, 0x10);
    Add("pen", ::CreatePen(PS_SOLID, 1, RGB(7, 8, 9)), 0x30, 0x10);
    Add("extended pen",
        ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 3, &logBrush, 0, nullptr),
        0x50, 0x10);
    Add("font",
        ::CreateFontW(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial"),
        0x0A, 0x0A);
    Add("region", ::CreateRectRgn(0, 0, 10, 10), 0x04, 0x04);
    Add("bitmap", ::CreateBitmap(8, 8, 1, 1, nullptr), 0x05, 0x09);
    Add("DIB section",
        ::CreateDIBSection(nullptr, &dibInfo, DIB_RGB_COLORS, &dibBits,
                           nullptr, 0),
        0x25, 0x09);
    Add("palette", ::CreatePalette(&palette.header), 0x08, 0x08);
    Add("memory DC", ::CreateCompatibleDC(nullptr), 0x01, 0x01);
    Add("metafile DC", ::CreateMetaFileW(nullptr), 0x66, 0x06);
    Add("metafile", ::CloseMetaFile(::CreateMetaFileW(nullptr)), 0x26,
        0x06);
    Add("enhanced metafile DC",
        ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr), 0x21,
        0x01);
    Add("enhanced metafile",
        ::CloseEnhMetaFile(
            ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr)),
        0x46, 0x06);
  }
  ~GdiObjects() {
    for (const GdiObject& object : objects)
      DeleteGdiObject(object);
  }
  GdiObjects(const GdiObjects&) = delete;
  GdiObjects& operator=(const GdiObjects&) = delete;

  void Add(const char* kind, void* handle, uint8_t windowsCode,
           uint8_t wineCode) {
    if (!handle) {
      ADD_FAILURE() << "cannot create a " << kind;
      return;
    }
    objects.push_back({kind, handle, windowsCode, wineCode});
  }

  std::vector<GdiObject> objects;
};

uint64_t HandleBits(void* handle) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
}

const char* CategoryName(ObjectCategory category) {
  static const char* const kNames[kObjectCategoryCount] = {
      "Pen",     "ExtPen", "Brush", "Bitmap", "Font",     "Palette",
      "Region",  "DC",     "MetaDC", "EnhMetaDC", "OtherGDi"};
  return kNames[static_cast<int>(category)];
}

// The 64-bit TEB, at gs:0, holds the PEB's address at 0x60.
const void* PebFromTeb() {
#if defined(_MSC_VER)
  return reinterpret_cast<const void*>(__readgsqword(0x60));
#else
  // GCC takes the intrinsic's gs-relative read for an out-of-bounds access.
  const void* peb = nullptr;
  __asm__("movq %%gs:0x60, %0" : "=r"(peb));
  return peb;
#endif
}

TEST(SharedTableWin32Test, LocatesTheTableThroughTheOwnPeb) {
  // The PEB address that the query returns is the one in the thread's TEB.
  const void* tebPeb = PebFromTeb();
  EXPECT_EQ(tebPeb, QueryPebAddress(platform::GetCurrentProcessId()));

  SharedTableLocation location;
  ASSERT_TRUE(LocateSharedHandleTable(&location));
  ASSERT_NE(nullptr, location.table);
  platform::MEMORY_BASIC_INFORMATION information = {};
  ASSERT_NE(0u, platform::VirtualQuery(location.table, &information,
                                       sizeof(information)));
  std::printf("shared table at %p: region %llu bytes, %u entries\n",
              static_cast<const void*>(location.table),
              static_cast<unsigned long long>(information.RegionSize),
              location.entryCount);
  EXPECT_EQ((information.RegionSize - 4096) / 24, location.entryCount);
  EXPECT_GT(location.entryCount, 0u);
}

TEST(SharedTableWin32Test, ScanListsOwnObjects) {
  GdiObjects created;
  SharedTableLocation location;
  ASSERT_TRUE(LocateSharedHandleTable(&location));

  // Every object is at index handle AND 0xFFFF, under the handle's upper
  // half as unique. Windows writes the owner's PID there, Wine writes 0.
  uint32_t self = platform::GetCurrentProcessId();
  uint32_t ownerPid = 0;
  bool ownerSeen = false;
  std::vector<uint8_t> codes;
  for (const GdiObject& object : created.objects) {
    SCOPED_TRACE(object.kind);
    uint64_t handle = HandleBits(object.handle);
    uint32_t index = static_cast<uint32_t>(handle & 0xFFFF);
    ASSERT_LT(index, location.entryCount);
    const GdiTableEntry& entry = location.table[index];
    std::printf(
        "%-21s handle 0x%08llX: index %5u unique 0x%04X type 0x%02X flags "
        "0x%02X owner 0x%08X -> \"%s\" %s (Windows: 0x%02X)\n",
        object.kind, static_cast<unsigned long long>(handle), index,
        entry.unique, entry.typeCode, entry.flags, entry.ownerWord,
        Narrow(ObjectTypeName(entry.typeCode)).c_str(),
        CategoryName(CategoryOf(entry.typeCode)), object.windowsCode);
    EXPECT_NE(0, entry.typeCode);
    EXPECT_EQ(handle, HandleValueOf(entry.unique, index));
    EXPECT_TRUE(entry.typeCode == object.windowsCode ||
                entry.typeCode == (object.windowsCode & 0x1F) ||
                entry.typeCode == object.wineCode);
    // The handle's upper half repeats the object's type in its low bits.
    EXPECT_EQ(entry.unique & 0x1F, entry.typeCode & 0x1F);
    uint32_t pid = entry.ownerWord & 0xFFFFFFFEu;
    if (pid != 0) {
      EXPECT_EQ(self, pid);
    }
    if (ownerSeen) {
      EXPECT_EQ(ownerPid, pid) << "objects of one process, two owners";
    }
    ownerPid = pid;
    ownerSeen = true;
    codes.push_back(entry.typeCode);
  }

  ProcessTable processes;
  ProcessRecord owner;
  owner.pid = ownerPid;
  processes.Set(ownerPid, owner);
  ScanSharedHandleTable(location.table, location.entryCount, processes);
  const ProcessRecord* record = processes.Lookup(ownerPid);
  ASSERT_NE(nullptr, record);

  for (size_t i = 0; i < created.objects.size(); ++i) {
    const GdiObject& object = created.objects[i];
    SCOPED_TRACE(object.kind);
    uint64_t handle = HandleBits(object.handle);
    const HandleRecord* listed = nullptr;
    for (const HandleRecord& h : record->handles) {
      if (h.handle == handle)
        listed = &h;
    }
    ASSERT_NE(nullptr, listed) << "handle not listed";
    EXPECT_EQ(0, std::memcmp(listed, &location.table[handle & 0xFFFF],
                             sizeof(GdiTableEntry)));
    EXPECT_EQ(codes[i], listed->typeCode);
    EXPECT_EQ(std::u16string(ObjectTypeName(codes[i])),
              ObjectTypeName(listed->typeCode));
  }

  // The counters agree with a walk of the same table done here.
  int32_t expected[kObjectCategoryCount] = {};
  int32_t used = 0;
  uint64_t previous = 0;
  bool ascending = true;
  for (uint32_t i = 0; i < location.entryCount; ++i) {
    const GdiTableEntry& entry = location.table[i];
    if (entry.typeCode == 0 || (entry.ownerWord & 0xFFFFFFFEu) != ownerPid)
      continue;
    ++used;
    ++expected[static_cast<int>(CategoryOf(entry.typeCode))];
  }
  for (const HandleRecord& h : record->handles) {
    if ((h.handle & 0xFFFF) < previous)
      ascending = false;
    previous = h.handle & 0xFFFF;
  }
  std::printf("scan: %d entries for owner %u\n", record->entryCount, ownerPid);
  EXPECT_TRUE(ascending);
  EXPECT_EQ(used, record->entryCount);
  EXPECT_EQ(record->entryCount, record->handles.size);
  ProcessRecord& counters = *processes.Lookup(ownerPid);
  for (int c = 0; c < kObjectCategoryCount; ++c) {
    SCOPED_TRACE(CategoryName(static_cast<ObjectCategory>(c)));
    EXPECT_EQ(expected[c],
              CategoryCounter(counters, static_cast<ObjectCategory>(c)));
  }
}

TEST(SharedTableWin32Test, DeletedObjectIsNoLongerListed) {
  HBRUSH brush = ::CreateSolidBrush(RGB(11, 12, 13));
  ASSERT_NE(nullptr, brush);
  uint64_t handle = HandleBits(brush);
  SharedTableLocation location;
  ASSERT_TRUE(LocateSharedHandleTable(&location));
  const GdiTableEntry& entry = location.table[handle & 0xFFFF];
  uint32_t ownerPid = entry.ownerWord & 0xFFFFFFFEu;
  ASSERT_TRUE(::DeleteObject(brush));
  std::printf("deleted brush: type 0x%02X unique 0x%04X\n", entry.typeCode,
              entry.unique);

  ProcessTable processes;
  ProcessRecord owner;
  owner.pid = ownerPid;
  processes.Set(ownerPid, owner);
  ScanSharedHandleTable(location.table, location.entryCount, processes);
  for (const HandleRecord& h : processes.Lookup(ownerPid)->handles)
    EXPECT_NE(handle, h.handle);
}

}  // namespace
