// The per-process GDI quota read from the registry, against a scratch key of
// the test's own: HKEY_LOCAL_MACHINE is redirected to it for the test
// (RegOverridePredefKey), so the machine's own value is never read nor
// written, and no elevation is needed.
#include "census/process_quota.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>

namespace {

const wchar_t kKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const wchar_t kValue[] = L"GDIProcessHandleQuota";

// A volatile key under HKEY_CURRENT_USER standing in for HKEY_LOCAL_MACHINE
// while it lives; removed, and the redirection undone, however the test
// ends.
class ScratchMachineKey {
 public:
  ScratchMachineKey()
      : path_(L"Software\\kestrel-test-" +
              std::to_wstring(::GetCurrentProcessId())) {
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr,
                          REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &root_,
                          nullptr) != ERROR_SUCCESS) {
      root_ = nullptr;
      return;
    }
    overridden_ =
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, root_) == ERROR_SUCCESS;
  }
  ~ScratchMachineKey() {
    if (overridden_)
      ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (windows_)
      ::RegCloseKey(windows_);
    if (root_) {
      ::RegCloseKey(root_);
      ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
  }
  ScratchMachineKey(const ScratchMachineKey&) = delete;
  ScratchMachineKey& operator=(const ScratchMachineKey&) = delete;

  bool ready() const { return overridden_; }
  // The key that holds the quota, made under the scratch key.
  bool CreateWindowsKey() {
    return ::RegCreateKeyExW(root_, kKey, 0, nullptr, REG_OPTION_VOLATILE,
                             KEY_SET_VALUE, nullptr, &windows_,
                             nullptr) == ERROR_SUCCESS;
  }
  LSTATUS Set(DWORD value) {
    return ::RegSetValueExW(windows_, kValue, 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value),
                            sizeof(value));
  }
  LSTATUS SetString(const wchar_t* text) {
    return ::RegSetValueExW(
        windows_, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
        static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t)));
  }

 private:
  std::wstring path_;
  HKEY root_ = nullptr;
  HKEY windows_ = nullptr;
  bool overridden_ = false;
};

TEST(ProcessQuotaWin32Test, ReadsTheRegistry) {
  ScratchMachineKey machine;
  ASSERT_TRUE(machine.ready());
  // No key: the default.
  EXPECT_EQ(kDefaultProcessQuota, ReadProcessQuota());
  ASSERT_TRUE(machine.CreateWindowsKey());
  // The key without the value.
  EXPECT_EQ(kDefaultProcessQuota, ReadProcessQuota());
  ASSERT_EQ(ERROR_SUCCESS, machine.Set(12345));
  EXPECT_EQ(12345u, ReadProcessQuota());
  // Below the least Windows takes.
  ASSERT_EQ(ERROR_SUCCESS, machine.Set(100));
  EXPECT_EQ(kDefaultProcessQuota, ReadProcessQuota());
  ASSERT_EQ(ERROR_SUCCESS, machine.SetString(L"12345"));
  EXPECT_EQ(kDefaultProcessQuota, ReadProcessQuota());
}

}  // namespace
