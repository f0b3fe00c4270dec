// The census: fills the process table from a snapshot of the running
// processes.
#pragma once

#include <cstdint>
#include <optional>

class ProcessTable;

// Records every process that can be opened for limited query and owns at
// least one GDI object. With `allCounts`, each record also gets the process's
// USER objects and both peaks, read on the same handle; without it the census
// asks for the GDI count alone. False when no snapshot could be taken or its
// first entry cannot be read; a snapshot with no process in it is an empty
// system, not a failure.
bool CollectProcesses(ProcessTable& table, bool allCounts = false);

// The counts of the whole session, from GetGuiResources with GR_GLOBAL;
// empty where the system does not answer (it reports 0 then, which no
// session with a desktop holds).
struct SessionCounts {
  std::optional<uint32_t> gdiObjects;
  std::optional<uint32_t> userObjects;
};
SessionCounts CollectSessionCounts();
