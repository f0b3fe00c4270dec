// For the tests of the watch's growth and of what reports it: processes as
// the census records them, noted a sample at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "census/process_table.h"
#include "watch/growth.h"

// A record of `pid` under `name` with GDI All `all`, GDI Total `total`, and
// `bitmaps` of its entries bitmaps.
inline ProcessRecord GrowthRecord(uint32_t pid, const char16_t* name,
                                  int32_t all, int32_t total,
                                  int32_t bitmaps = 0) {
  ProcessRecord record;
  record.pid = pid;
  std::u16string(name).copy(record.exeName, 259);
  record.guiObjectCount = all;
  record.entryCount = total;
  record.categoryCounts[3] = bitmaps;
  return record;
}

// Notes a sample of `records` in `table`, all followed and listed.
inline void NoteRecords(GrowthTracker& tracker, ProcessTable& table,
                        const std::vector<ProcessRecord>& records,
                        uint64_t milliseconds) {
  table.Clear();
  std::vector<const ProcessRecord*> listed;
  for (const ProcessRecord& record : records)
    table.Set(record.pid, record);
  for (const ProcessRecord& record : records)
    listed.push_back(table.Lookup(record.pid));
  tracker.Note(table, listed, milliseconds);
}
