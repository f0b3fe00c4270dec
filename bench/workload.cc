#include "bench/workload.h"

#include <algorithm>
#include <iterator>
#include <random>
#include <unordered_map>

#include "census/process_table.h"

namespace {

// A typical mix of object types: brushes, bitmaps, fonts, regions and DCs
// dominate, and some codes have no name.
constexpr uint8_t kTypeMix[] = {
    16, 16, 16, 16, 16, 5,  5, 5, 5,  10, 10, 10,  4, 4, 4, 1,    1,
    1,  37, 37, 48, 48, 80, 8, 6, 33, 38, 70, 102, 2, 3, 7, 0x1C, 0x7F};

// Windows process ids are multiples of 4.
std::vector<uint32_t> DistinctPids(std::mt19937& random, int count) {
  std::vector<uint32_t> pids;
  while (static_cast<int>(pids.size()) < count) {
    uint32_t pid = 4 * (1 + random() % 30000);
    if (std::find(pids.begin(), pids.end(), pid) == pids.end())
      pids.push_back(pid);
  }
  return pids;
}

ScanWorkload MakeScanWorkload() {
  ScanWorkload workload;
  std::mt19937 random(20261208);
  std::vector<uint32_t> pids =
      DistinctPids(random, ScanWorkload::kRecordedProcesses +
                               ScanWorkload::kUnrecordedProcesses);
  workload.recordedPids.assign(pids.begin(),
                               pids.begin() + ScanWorkload::kRecordedProcesses);
  std::vector<uint32_t> unrecorded(
      pids.begin() + ScanWorkload::kRecordedProcesses, pids.end());

  workload.entries.assign(ScanWorkload::kEntries, GdiTableEntry{});
  for (uint32_t index = 0; index < ScanWorkload::kEntries; ++index) {
    if (random() % 10 >= 8)
      continue;  // free
    GdiTableEntry& entry = workload.entries[index];
    uint32_t owner;
    if (random() % 10 == 0) {
      owner = unrecorded[random() % unrecorded.size()];
    } else {
      owner = workload.recordedPids[random() % workload.recordedPids.size()];
      ++workload.recordedEntries;
    }
    // Bit 0 of the owner word is set on some entries; it is not part of the
    // PID.
    entry.ownerWord = owner | (random() % 4 == 0 ? 1u : 0u);
    entry.kernelAddress = 0xFFFFF90000000000ull + 16ull * random();
    entry.unique = static_cast<uint16_t>(random());
    entry.typeCode = kTypeMix[random() % sizeof(kTypeMix)];
    entry.flags = static_cast<uint8_t>(random() % 2 == 0 ? 0 : 0x40);
    entry.userAddress =
        random() % 2 == 0 ? 0 : 0x000001C000000000ull + 64ull * index;
    ++workload.usedEntries;
  }
  return workload;
}

void SetName(ProcessRecord& record, const std::u16string& name) {
  std::copy(name.begin(), name.end(), record.exeName);
  record.exeName[name.size()] = 0;
}

}  // namespace

const ScanWorkload& GetScanWorkload() {
  static const ScanWorkload workload = MakeScanWorkload();
  return workload;
}

void FillProcessTable(const ScanWorkload& workload, ProcessTable& table) {
  // Mostly ASCII names, and a few the code page has to convert.
  static const char16_t* const kNames[] = {
      u"explorer.exe", u"chrome.exe", u"RuntimeBroker.exe",
      u"svchost.exe",  u"微信.exe",   u"Microsoft.Notes.StickyNotes.exe",
      u"QQ音乐.exe",   u"notepad.exe"};
  std::unordered_map<uint32_t, int32_t> owned;
  for (const GdiTableEntry& entry : workload.entries) {
    if (entry.typeCode != 0)
      ++owned[entry.ownerWord & 0xFFFFFFFEu];
  }
  int next = 0;
  for (uint32_t pid : workload.recordedPids) {
    ProcessRecord record;
    record.pid = pid;
    SetName(record, kNames[next++ % (sizeof(kNames) / sizeof(kNames[0]))]);
    record.guiObjectCount = owned[pid] + static_cast<int32_t>(pid % 4);
    table.Set(pid, record);
  }
}

void ResetScanState(ProcessTable& table) {
  for (ProcessTable::Node* node = table.First(); node;
       node = table.Next(node)) {
    ProcessRecord& record = node->record;
    record.handles = HandleList();
    record.entryCount = 0;
    std::fill(std::begin(record.categoryCounts),
              std::end(record.categoryCounts), 0);
  }
}
