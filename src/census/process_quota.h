// The most GDI objects one process may hold: past the system's per-process
// quota it can create no more and stops drawing. The whole session's table
// has room for kMaxTableEntries.
#pragma once

#include <cstdint>

// Windows' quota unless the registry sets another.
constexpr uint32_t kDefaultProcessQuota = 10000;
// The range Windows takes the registry's value from.
constexpr uint32_t kMinProcessQuota = 256;
constexpr uint32_t kMaxProcessQuota = 65536;

// The registry's GDIProcessHandleQuota (under HKEY_LOCAL_MACHINE, in
// SOFTWARE\Microsoft\Windows NT\CurrentVersion\Windows), read with the
// query right alone;
// kDefaultProcessQuota where the value is absent, unreadable, no REG_DWORD,
// or outside kMinProcessQuota to kMaxProcessQuota.
uint32_t ReadProcessQuota();
