// -O's ReplacementFile on Windows, in a folder of the test's own: what the new
// file keeps of the old one (its ACL's explicit entries and protection, not
// its named streams), paths past MAX_PATH, and a path too long for Windows.
#include "platform/program_io.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::u16string Utf16(const std::wstring& text) {
  return std::u16string(text.begin(), text.end());
}

// Removes `path` and everything under it; paths in the \\?\ form.
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..")
        continue;
      std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        ::DeleteFileW(child.c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(path.c_str());
}

class ReplacementFileWin32Test : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH + 1, temp));
    plainDir_ = std::wstring(temp) + L"kestrel_replacement_" +
                std::to_wstring(::GetCurrentProcessId());
    dir_ = L"\\\\?\\" + plainDir_;
    ASSERT_TRUE(::CreateDirectoryW(dir_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(dir_); }

  static bool Replace(const std::wstring& path, const std::string& text,
                      std::string* reason) {
    platform::ReplacementFile file(Utf16(path));
    return file.Create(reason) &&
           file.Write(text.data(), text.size(), false, reason) &&
           file.Commit(reason);
  }
  static bool Write(const std::wstring& path, const std::string& text) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return false;
    DWORD written = 0;
    bool whole = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()),
                             &written, nullptr) &&
                 written == text.size();
    ::CloseHandle(file);
    return whole;
  }
  static std::string Read(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return "(cannot read)";
    char buffer[256];
    DWORD got = 0;
    ::ReadFile(file, buffer, sizeof(buffer), &got, nullptr);
    ::CloseHandle(file);
    return std::string(buffer, got);
  }
  // The names in `folder`.
  static std::wstring Names(const std::wstring& folder) {
    std::wstring names;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
      return names;
    do {
      if (found.cFileName[0] != L'.')
        names += std::wstring(names.empty() ? L"" : L" ") + found.cFileName;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
  }

  std::wstring plainDir_;  // as GetTempPathW gives it
  std::wstring dir_;       // the same in the \\?\ form
};

// What a file's DACL says of Network Service (S-1-5-20), which the test
// grants read in an explicit entry.
struct AccessControl {
  bool read = false;  // the ACL could be read
  bool isProtected = false;
  bool explicitRead = false;  // an explicit entry allows Network Service read
};

AccessControl AccessControlOf(const std::wstring& path) {
  AccessControl seen;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
    return seen;
  seen.read = true;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(descriptor, &control, &revision);
  seen.isProtected = (control & SE_DACL_PROTECTED) != 0;
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(sid);
  ::CreateWellKnownSid(WinNetworkServiceSid, nullptr, sid, &sidSize);
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!::GetAce(acl, i, reinterpret_cast<void**>(&ace)) ||
        ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
      continue;
    if ((ace->Header.AceFlags & INHERITED_ACE) == 0 &&
        ::EqualSid(&ace->SidStart, sid) &&
        (ace->Mask & FILE_GENERIC_READ) == FILE_GENERIC_READ)
      seen.explicitRead = true;
  }
  ::LocalFree(descriptor);
  return seen;
}

// The current user's SID in its string form.
std::wstring UserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
    return L"";
  alignas(8) BYTE buffer[256];
  DWORD size = 0;
  std::wstring text;
  wchar_t* sid = nullptr;
  if (::GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size) &&
      ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid,
                               &sid)) {
    text = sid;
    ::LocalFree(sid);
  }
  ::CloseHandle(token);
  return text;
}

// Gives `path` the DACL that `sddl` describes.
bool SetAccessControl(const std::wstring& path, const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL acl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted);
  ::GetSecurityDescriptorControl(descriptor, &control, &revision);
  DWORD error = ::SetNamedSecurityInfoW(
      const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
      DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED)
                                       ? PROTECTED_DACL_SECURITY_INFORMATION
                                       : UNPROTECTED_DACL_SECURITY_INFORMATION),
      nullptr, nullptr, acl, nullptr);
  ::LocalFree(descriptor);
  return error == ERROR_SUCCESS;
}

// The new file takes the old one's explicit entries and its protection from
// inheritance (the rest it inherits from the folder, as the old one did);
// the old file's named streams go with it.
TEST_F(ReplacementFileWin32Test, KeepsTheExplicitEntriesNotTheNamedStreams) {
  const struct {
    const char* name;
    bool isProtected;
  } kCases[] = {{"inherits from the folder", false},
                {"protected from inheritance", true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::wstring path =
        dir_ + L"\\" + (c.isProtected ? L"p" : L"u") + L".prom";
    ASSERT_TRUE(Write(path, "old\n"));
    std::wstring sddl =
        c.isProtected ? L"D:P(A;;FA;;;" + UserSid() + L")" : L"D:";
    sddl += L"(A;;FR;;;NS)";
    if (!SetAccessControl(path, sddl) || !AccessControlOf(path).explicitRead ||
        AccessControlOf(path).isProtected != c.isProtected)
      GTEST_SKIP() << "this file system keeps no ACL (Wine without extended "
                      "attributes)";
    bool streams = Write(path + L":kestrel.tag", "tag");

    std::string reason;
    ASSERT_TRUE(Replace(path, "new\n", &reason)) << reason;
    EXPECT_EQ("new\n", Read(path));
    AccessControl kept = AccessControlOf(path);
    EXPECT_TRUE(kept.read);
    EXPECT_TRUE(kept.explicitRead);
    EXPECT_EQ(c.isProtected, kept.isProtected);
    if (streams) {
      EXPECT_EQ(
          INVALID_HANDLE_VALUE,
          ::CreateFileW((path + L":kestrel.tag").c_str(), GENERIC_READ,
                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    } else {
      std::printf("no named streams here: only the ACL was checked\n");
    }
  }
}

// A path past MAX_PATH, written as a user writes it, is created and then
// replaced, with no temporary file left beside it.
TEST_F(ReplacementFileWin32Test, ReplacesAFileOnAPathPastMaxPath) {
  std::wstring folder = plainDir_ + L"\\" + std::wstring(100, L'a') + L"\\" +
                        std::wstring(100, L'b');
  ASSERT_TRUE(::CreateDirectoryW(
      (dir_ + L"\\" + std::wstring(100, L'a')).c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
  std::wstring path = folder + L"\\" + std::wstring(40, L'c') + L".json";
  if (path.size() < 270)
    path.insert(path.size() - 5, 270 - path.size(), L'd');
  ASSERT_GE(path.size(), 270u);
  std::string reason;
  ASSERT_TRUE(Replace(path, "one\n", &reason)) << reason;
  ASSERT_TRUE(Replace(path, "two\n", &reason)) << reason;
  EXPECT_EQ("two\n", Read(L"\\\\?\\" + path));
  EXPECT_EQ(path.substr(folder.size() + 1), Names(L"\\\\?\\" + folder));
}

// A path beyond the 32,767 units Windows takes is refused whole, before any
// file is created.
TEST_F(ReplacementFileWin32Test, RefusesAPathTooLongForWindows) {
  std::wstring path = dir_;
  while (path.size() < 32800)
    path += L"\\" + std::wstring(200, L'x');
  platform::ReplacementFile file(Utf16(path));
  std::string reason;
  EXPECT_FALSE(file.Create(&reason));
  EXPECT_NE(std::string::npos, reason.find("too long")) << reason;
  EXPECT_EQ(L"", Names(dir_));
}

}  // namespace
