// The shared table scan against the live system: the table that Windows (or
// Wine) maps into this process, with GDI objects the test creates itself.
#include "gditable/shared_table.h"
#include "gditable/table_location.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "census/process_table.h"
#include "gditable/object_types.h"
#include "platform/platform.h"

// After the project's headers: windows.h defines some of their names as
// macros, so from here on the system's constants are used.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

namespace {

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text)
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// One GDI object of the test's own, with the type code that this tool's type
// table gives its kind, and the one Wine 8 gives it instead: Wine numbers
// bitmaps and DIB sections 9 (its own number for a bitmap, no Windows type),
// every other kind as Windows does.
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
    Add("pen", ::CreatePen(PS_SOLID, 1, RGB(7, 8, 9)), 0x30, 0x30);
    Add("extended pen",
        ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID, 3, &logBrush, 0, nullptr), 0x50,
        0x50);
    Add("font",
        ::CreateFontW(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial"),
        0x0A, 0x0A);
    Add("region", ::CreateRectRgn(0, 0, 10, 10), 0x04, 0x04);
    Add("bitmap", ::CreateBitmap(8, 8, 1, 1, nullptr), 0x05, 0x09);
    Add("DIB section",
        ::CreateDIBSection(nullptr, &dibInfo, DIB_RGB_COLORS, &dibBits, nullptr,
                           0),
        0x25, 0x09);
    Add("palette", ::CreatePalette(&palette.header), 0x08, 0x08);
    Add("memory DC", ::CreateCompatibleDC(nullptr), 0x01, 0x01);
    Add("metafile DC", ::CreateMetaFileW(nullptr), 0x66, 0x66);
    Add("metafile", ::CloseMetaFile(::CreateMetaFileW(nullptr)), 0x26, 0x26);
    Add("enhanced metafile DC",
        ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr), 0x21, 0x21);
    Add("enhanced metafile",
        ::CloseEnhMetaFile(
            ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr)),
        0x46, 0x46);
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

// Windows uses only the low 32 bits of a GDI handle, and a 64-bit program may
// hold it sign-extended: a handle whose reuse count reaches 0x80 is
// 0x00000000EC10040F in the table and may be 0xFFFFFFFFEC10040F here
// ("Interprocess Communication Between 32-bit and 64-bit Applications",
// Microsoft's 64-bit programming guide). Handles are compared as Windows
// compares them.
bool SameHandle(uint64_t listed, uint64_t held) {
  return static_cast<uint32_t>(listed) == static_cast<uint32_t>(held);
}

const char* CategoryName(ObjectCategory category) {
  static const char* const kNames[kCategoryCount] = {
      "Pen",    "ExtPen", "Brush",  "Bitmap",    "Font",    "Palette",
      "Region", "DC",     "MetaDC", "EnhMetaDC", "OtherGDi"};
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
              location.slots);
  // Wine maps exactly the 65,536 entries a handle can name; Windows maps a
  // region of its own size, whose entries after one page are read, up to
  // those 65,536. Either way the scan stays inside the region.
  EXPECT_GT(location.slots, 0u);
  EXPECT_LE(location.slots, 65536u);
  EXPECT_LE(uint64_t{location.slots} * 24, information.RegionSize);
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
    ASSERT_LT(index, location.slots);
    const GdiTableEntry& entry = location.table[index];
    uint8_t code = TypeCodeOf(entry);
    std::printf(
        "%-21s handle 0x%08llX: index %5u unique 0x%04X type 0x%02X flags "
        "0x%02X owner 0x%08X -> code 0x%02X \"%s\" %s (Windows: 0x%02X)\n",
        object.kind, static_cast<unsigned long long>(handle), index,
        entry.unique, entry.typeCode, entry.flags, entry.ownerWord, code,
        Narrow(ObjectTypeName(code)).c_str(), CategoryName(CategoryOf(code)),
        object.windowsCode);
    EXPECT_NE(0, entry.typeCode);
    EXPECT_PRED2(SameHandle, HandleValueOf(entry.unique, index), handle);
    // The type byte holds the base type, or (as this tool first assumed)
    // the full one.
    EXPECT_TRUE(entry.typeCode == object.windowsCode ||
                entry.typeCode == (object.windowsCode & 0x1F) ||
                entry.typeCode == (object.wineCode & 0x1F));
    // The name and category derived are those of the kind created (under
    // Wine, of Wine's own number for a bitmap).
    uint8_t expected = code == object.wineCode ? code : object.windowsCode;
    EXPECT_EQ(Narrow(ObjectTypeName(expected)), Narrow(ObjectTypeName(code)));
    EXPECT_STREQ(CategoryName(CategoryOf(expected)),
                 CategoryName(CategoryOf(code)));
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
  ScanSharedHandleTable(location.table, location.slots, processes);
  const ProcessRecord* record = processes.Lookup(ownerPid);
  ASSERT_NE(nullptr, record);

  for (size_t i = 0; i < created.objects.size(); ++i) {
    const GdiObject& object = created.objects[i];
    SCOPED_TRACE(object.kind);
    uint64_t handle = HandleBits(object.handle);
    const HandleRecord* listed = nullptr;
    for (const HandleRecord& h : record->handles) {
      if (SameHandle(h.handle, handle))
        listed = &h;
    }
    ASSERT_NE(nullptr, listed) << "handle not listed";
    EXPECT_EQ(0, std::memcmp(listed, &location.table[handle & 0xFFFF],
                             sizeof(GdiTableEntry)));
    EXPECT_EQ(codes[i], listed->entry.typeCode);
    EXPECT_EQ(std::u16string(ObjectTypeName(codes[i])),
              ObjectTypeName(listed->entry.typeCode));
  }

  // The counters agree with a walk of the same table done here.
  int32_t expected[kCategoryCount] = {};
  int32_t used = 0;
  uint64_t previous = 0;
  bool ascending = true;
  for (uint32_t i = 0; i < location.slots; ++i) {
    const GdiTableEntry& entry = location.table[i];
    if (entry.typeCode == 0 || (entry.ownerWord & 0xFFFFFFFEu) != ownerPid)
      continue;
    ++used;
    ++expected[static_cast<int>(CategoryOf(TypeCodeOf(entry)))];
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
  for (int c = 0; c < kCategoryCount; ++c) {
    SCOPED_TRACE(CategoryName(static_cast<ObjectCategory>(c)));
    EXPECT_EQ(expected[c], counters.categoryCounts[c]);
  }
}

// The entries of `ownerPid` that a scan lists.
int32_t EntriesOf(const SharedTableLocation& location, uint32_t ownerPid,
                  uint64_t handle, bool* listed) {
  ProcessTable processes;
  ProcessRecord owner;
  owner.pid = ownerPid;
  processes.Set(ownerPid, owner);
  ScanSharedHandleTable(location.table, location.slots, processes);
  const ProcessRecord* record = processes.Lookup(ownerPid);
  *listed = false;
  for (const HandleRecord& h : record->handles)
    *listed = *listed || SameHandle(h.handle, handle);
  return record->entryCount;
}

// A bitmap takes an entry of its own while it lives and gives it back when
// deleted (gdi32 keeps some deleted solid brushes for reuse, which stay in
// the table, so they would not show this).
TEST(SharedTableWin32Test, DeletedObjectIsNoLongerListed) {
  SharedTableLocation location;
  ASSERT_TRUE(LocateSharedHandleTable(&location));
  HBITMAP bitmap = ::CreateBitmap(4, 4, 1, 1, nullptr);
  ASSERT_NE(nullptr, bitmap);
  uint64_t handle = HandleBits(bitmap);
  uint32_t ownerPid = location.table[handle & 0xFFFF].ownerWord & 0xFFFFFFFEu;
  bool listed = false;
  int32_t living = EntriesOf(location, ownerPid, handle, &listed);
  EXPECT_TRUE(listed);
  ASSERT_TRUE(::DeleteObject(bitmap));
  int32_t after = EntriesOf(location, ownerPid, handle, &listed);
  std::printf("bitmap: %d entries of owner %u while it lived, %d after\n",
              living, ownerPid, after);
  EXPECT_FALSE(listed);
  EXPECT_EQ(living - 1, after);
}

}  // namespace
