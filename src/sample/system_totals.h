// What a sample says of the system as a whole.
#pragma once

#include <cstdint>

#include "census/census.h"

struct SystemTotals {
  SessionCounts session;          // null where the system does not answer
  uint32_t tableSlots = 0;        // the entries the shared table has room for
  uint32_t tableEntriesUsed = 0;  // used entries scanned, whoever owns them
  // The most GDI objects a process may hold, where the report asked for it.
  uint32_t processQuota = 0;
};
