#include "census/process_quota.h"

#include "platform/platform.h"

namespace {

// Closes a registry key when it goes out of scope.
class UniqueKey {
 public:
  UniqueKey() = default;
  ~UniqueKey() {
    if (key_)
      platform::RegCloseKey(key_);
  }
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;

  platform::HKEY* out() { return &key_; }
  platform::HKEY get() const { return key_; }

 private:
  platform::HKEY key_ = nullptr;
};

}  // namespace

uint32_t ReadProcessQuota() {
  UniqueKey key;
  if (platform::RegOpenKeyExW(
          platform::HKEY_LOCAL_MACHINE,
          u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", 0,
          platform::KEY_QUERY_VALUE, key.out()) != platform::ERROR_SUCCESS)
    return kDefaultProcessQuota;
  uint32_t type = 0;
  uint32_t value = 0;
  uint32_t size = sizeof(value);
  if (platform::RegQueryValueExW(key.get(), u"GDIProcessHandleQuota", nullptr,
                                 &type, reinterpret_cast<uint8_t*>(&value),
                                 &size) != platform::ERROR_SUCCESS ||
      type != platform::REG_DWORD || size != sizeof(value) ||
      value < kMinProcessQuota || value > kMaxProcessQuota)
    return kDefaultProcessQuota;
  return value;
}
