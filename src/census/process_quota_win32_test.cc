// The per-process GDI quota as Windows keeps it, read from Wine's registry:
// the default where the value is absent or out of range, the value where it
// is set.
#include "census/process_quota.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>

namespace {

const wchar_t kKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const wchar_t kValue[] = L"GDIProcessHandleQuota";

TEST(ProcessQuotaWin32Test, ReadsTheRegistry) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr,
                                           0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                           nullptr, &key, nullptr));
  // What the prefix held, put back at the end.
  std::optional<DWORD> before;
  DWORD held = 0;
  DWORD size = sizeof(held);
  DWORD type = 0;
  if (RegQueryValueExW(key, kValue, nullptr, &type,
                       reinterpret_cast<BYTE*>(&held),
                       &size) == ERROR_SUCCESS &&
      type == REG_DWORD)
    before = held;
  auto set = [&](DWORD value) {
    return RegSetValueExW(key, kValue, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof(value));
  };

  RegDeleteValueW(key, kValue);
  EXPECT_EQ(kDefaultProcessQuota, ReadProcessQuota());
  ASSERT_EQ(ERROR_SUCCESS, set(12345));
  EXPECT_EQ(12345u, ReadProcessQuota());
  ASSERT_EQ(ERROR_SUCCESS, set(100));
  EXPECT_EQ(kDefaultProcessQuota, ReadProcessQuota());

  if (before)
    set(*before);
  else
    RegDeleteValueW(key, kValue);
  RegCloseKey(key);
}

}  // namespace
