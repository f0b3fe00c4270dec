#include "census/census.h"

#include <algorithm>
#include <iterator>

#include "census/process_table.h"
#include "platform/platform.h"

namespace {

// What GetGuiResources reports for `pid`, or 0 when it cannot be opened. The
// limited right is all GetGuiResources needs, and protected processes grant
// no more.
int32_t GdiObjectCount(uint32_t pid) {
  platform::UniqueProcessHandle process(platform::OpenProcess(
      platform::PROCESS_QUERY_LIMITED_INFORMATION, false, pid));
  if (!process)
    return 0;
  return static_cast<int32_t>(
      platform::GetGuiResources(process.get(), platform::GR_GDIOBJECTS));
}

}  // namespace

bool CollectProcesses(ProcessTable& table) {
  platform::UniqueSnapshotHandle snapshot(
      platform::CreateToolhelp32Snapshot(platform::TH32CS_SNAPPROCESS, 0));
  if (!snapshot)
    return false;

  platform::PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  // The record is built once and reused: only its pid, name and count change.
  ProcessRecord record;
  bool more = platform::Process32FirstW(snapshot.get(), &entry);
  // An empty snapshot ends at once with "no more files"; any other failure
  // of the first entry is a snapshot that cannot be read.
  if (!more && platform::GetLastError() != platform::ERROR_NO_MORE_FILES)
    return false;
  for (; more; more = platform::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == 0)
      continue;
    int32_t count = GdiObjectCount(entry.th32ProcessID);
    if (count == 0)
      continue;
    record.pid = entry.th32ProcessID;
    // A bounded copy: at most 259 units and the terminator, even when the
    // snapshot's field holds no terminator.
    size_t length = 0;
    while (length < 259 && entry.szExeFile[length] != 0)
      ++length;
    std::fill(std::begin(record.exeName), std::end(record.exeName), u'\0');
    std::copy(entry.szExeFile, entry.szExeFile + length, record.exeName);
    record.guiObjectCount = count;
    table.Set(record.pid, record);
  }
  return true;
}
