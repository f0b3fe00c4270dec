// What a sample says of the system as a whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "census/census.h"

struct SystemTotals {
  SessionCounts session;          // null where the system does not answer
  uint32_t tableSlots = 0;        // the entries the shared table has room for
  uint32_t tableEntriesUsed = 0;  // used entries scanned, whoever owns them
  // The most GDI objects a process may hold, where the report asked for it.
  uint32_t processQuota = 0;
  // The session the program runs in, whose table this is; none where the
  // system does not say.
  std::optional<uint32_t> sessionId;
  // When the sample was taken, in Unix time, and how far the local time
  // was then ahead of UTC, in minutes.
  uint64_t unixMilliseconds = 0;
  int32_t localOffsetMinutes = 0;
  // The computer's name, asked once per run (it outlives the run's samples).
  std::u16string_view hostName;
};
