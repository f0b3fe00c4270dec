// When and where: the wall clock and the computer's name, as the documents
// say when a sample was taken and on which machine. The same two backends
// as platform.h implement them.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The time of day, in milliseconds since 1970-01-01 00:00 UTC (the host
// build's starts at 2026-01-01 00:00 UTC, or at a session's clock line, and
// moves with its simulated clock).
uint64_t UnixTimeMilliseconds();

// How far the local time is ahead of UTC at `unixMilliseconds`, in minutes
// (negative west of Greenwich), daylight saving time included: Windows
// converts with the time zone active now; the host build's local time is
// UTC unless a session's clock line sets an offset. 0 where the system
// cannot say.
int32_t LocalOffsetMinutes(uint64_t unixMilliseconds);

// The computer's name (Windows: its DNS host name; the host build's is
// "SIMULATED-PC" unless a session's host line names it); empty where the
// system cannot say.
std::u16string HostName();

}  // namespace platform
