// The resources compiled into kestrel.exe, read back the way Windows reads
// them: the version resource through the version API, the manifest as the
// loader finds it. KESTREL_EXE and the version numbers come from CMake; the
// environment's KESTREL_EXE, where it is set, names another kestrel.exe (the
// shipped zip's, on a Windows runner).
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
// The resource ids below as wide strings, as the W functions take them.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/event_messages.h"

namespace {

std::wstring VersionString(const std::vector<char>& info, const wchar_t* name) {
  std::wstring path = L"\\StringFileInfo\\040904B0\\";
  path += name;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || !value)
    return L"(missing)";
  // The length counts the terminating null.
  return std::wstring(static_cast<const wchar_t*>(value),
                      length > 0 ? length - 1 : 0);
}

std::wstring Widen(const char* text) {
  std::wstring out;
  for (; *text; ++text)
    out.push_back(static_cast<wchar_t>(*text));
  return out;
}

std::wstring KestrelExe() {
  const wchar_t* chosen = _wgetenv(L"KESTREL_EXE");
  return chosen && *chosen ? std::wstring(chosen) : Widen(KESTREL_EXE);
}

// kestrelw.exe, beside kestrel.exe.
std::wstring KestrelwExe() {
  std::wstring exe = KestrelExe();
  size_t name = exe.find_last_of(L"\\/");
  return exe.substr(0, name == std::wstring::npos ? 0 : name + 1) +
         L"kestrelw.exe";
}

// Event Viewer shows an event of source "kestrel" with the text that
// kestrelw.exe's message table holds for its ID, the line inserted as %1:
// every ID that kestrelw.exe reports has one, of the severity its type
// gives.
TEST(ResourcesWin32Test, KestrelwHoldsTheTextOfEveryEvent) {
  const std::wstring exe = KestrelwExe();
  HMODULE module =
      LoadLibraryExW(exe.c_str(), nullptr,
                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, module) << "error " << GetLastError();
  const struct {
    DWORD id;
    DWORD severity;  // 1 information, 2 warning, 3 error
    const wchar_t* text;
  } kEvents[] = {
      {KESTREL_EVENT_FAILURE, 3, L"kestrelw.exe failed:"},
      {KESTREL_EVENT_USAGE_ERROR, 3, L"(exit code 1)"},
      {KESTREL_EVENT_SYSTEM_STATE, 3, L"(exit code 2)"},
      {KESTREL_EVENT_OUT_OF_MEMORY, 3, L"(exit code 3)"},
      {KESTREL_EVENT_WRITE_FAILED, 3, L"(exit code 5)"},
      {KESTREL_EVENT_WRITE_FAILING, 2, L"the next sample tries again"},
      {KESTREL_EVENT_WRITTEN_AGAIN, 1, L"replaced its file again"},
  };
  DWORD previous = 0;
  for (const auto& event : kEvents) {
    SCOPED_TRACE(event.id & 0xFFFF);
    EXPECT_EQ(event.severity, event.id >> 30);
    // One ID a message: Event Viewer shows the low 16 bits.
    EXPECT_GT(event.id & 0xFFFF, previous);
    previous = event.id & 0xFFFF;
    const wchar_t* line = L"kestrel: the line";
    const DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(line)};
    wchar_t text[512] = {};
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module,
        event.id, 0, text, 512,
        reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
    ASSERT_NE(0u, length) << "no text, error " << GetLastError();
    std::wstring shown(text, length);
    EXPECT_NE(std::wstring::npos, shown.find(event.text));
    EXPECT_NE(std::wstring::npos, shown.find(L"\r\nkestrel: the line"));
  }
  FreeLibrary(module);
}

TEST(ResourcesWin32Test, VersionResourceCarriesTheProjectVersion) {
  const std::wstring exe = KestrelExe();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  ASSERT_NE(0u, size) << "no version resource, error " << GetLastError();
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &length));
  ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(VS_FFI_SIGNATURE, static_cast<LONG>(fixed->dwSignature));
  const DWORD ms = (KESTREL_VERSION_MAJOR << 16) | KESTREL_VERSION_MINOR;
  const DWORD ls = KESTREL_VERSION_PATCH << 16;
  EXPECT_EQ(ms, fixed->dwFileVersionMS);
  EXPECT_EQ(ls, fixed->dwFileVersionLS);
  EXPECT_EQ(ms, fixed->dwProductVersionMS);
  EXPECT_EQ(ls, fixed->dwProductVersionLS);
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

  const std::wstring version = Widen(KESTREL_VERSION);
  EXPECT_EQ(version, VersionString(info, L"FileVersion"));
  EXPECT_EQ(version, VersionString(info, L"ProductVersion"));
  EXPECT_EQ(L"kestrel", VersionString(info, L"ProductName"));
  EXPECT_EQ(L"kestrel: GDI objects per process",
            VersionString(info, L"FileDescription"));
  EXPECT_EQ(L"kestrel.exe", VersionString(info, L"OriginalFilename"));
  EXPECT_EQ(L"Copyright (c) 2026 the kestrel authors",
            VersionString(info, L"LegalCopyright"));
}

BOOL CALLBACK CountLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

BOOL CALLBACK CountName(HMODULE module, LPCWSTR type, LPWSTR name,
                        LONG_PTR count) {
  // Every language of every name: a second manifest in another language
  // would be as wrong as one under another id.
  EnumResourceLanguagesW(module, type, name, CountLanguage, count);
  return TRUE;
}

TEST(ResourcesWin32Test,
     OneManifestForWindows7To11KeepingTheCodePageAwareOfLongPaths) {
  const std::wstring exe = KestrelExe();
  HMODULE module =
      LoadLibraryExW(exe.c_str(), nullptr,
                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, module) << "error " << GetLastError();

  int manifests = 0;
  EnumResourceNamesW(module, RT_MANIFEST, CountName,
                     reinterpret_cast<LONG_PTR>(&manifests));
  EXPECT_EQ(1, manifests);

  // The one the loader reads when it starts the process.
  HRSRC found =
      FindResourceW(module, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
  ASSERT_NE(nullptr, found);
  HGLOBAL loaded = LoadResource(module, found);
  ASSERT_NE(nullptr, loaded);
  const std::string manifest(static_cast<const char*>(LockResource(loaded)),
                             SizeofResource(module, found));
  FreeLibrary(module);

  for (const char* system : {
           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
       }) {
    EXPECT_NE(std::string::npos, manifest.find(system)) << system;
  }
  EXPECT_NE(std::string::npos,
            manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/"
                          "SMI/2016/WindowsSettings\">true</longPathAware>"));
  // Output follows the console's code page: the manifest must not set the
  // process's (the element, with or without a namespace prefix).
  EXPECT_EQ(std::string::npos, manifest.find("activeCodePage>"));
}

// The manifest as the loader understands it: an activation context built from
// it, which fails on a malformed one, queried for its run level and the
// number of systems it names.
TEST(ResourcesWin32Test, ManifestParsesAndRunsAsInvoker) {
  const std::wstring exe = KestrelExe();
  ACTCTXW request = {};
  request.cbSize = sizeof(request);
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = exe.c_str();
  request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
  HANDLE context = CreateActCtxW(&request);
  ASSERT_NE(INVALID_HANDLE_VALUE, context) << "error " << GetLastError();

  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
  EXPECT_TRUE(QueryActCtxW(0, context, nullptr,
                           RunlevelInformationInActivationContext, &level,
                           sizeof(level), nullptr));
  EXPECT_EQ(ACTCTX_RUN_LEVEL_AS_INVOKER, level.RunLevel);
  EXPECT_EQ(0u, level.UiAccess);

  // Only the count is read: the elements' layout differs between Windows
  // versions (later ones add a field).
  alignas(8) unsigned char buffer[1024] = {};
  EXPECT_TRUE(QueryActCtxW(0, context, nullptr,
                           CompatibilityInformationInActivationContext, buffer,
                           sizeof(buffer), nullptr));
  DWORD systems = 0;
  std::memcpy(&systems, buffer, sizeof(systems));
  EXPECT_EQ(4u, systems);
  ReleaseActCtx(context);
}

}  // namespace
