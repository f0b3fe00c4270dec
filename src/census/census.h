// The census: fills the process table from a snapshot of the running
// processes.
#pragma once

class ProcessTable;

// Records every process that can be opened for limited query and owns at
// least one GDI object. False when no snapshot could be taken or its first
// entry cannot be read; a snapshot with no process in it is an empty system,
// not a failure.
bool CollectProcesses(ProcessTable& table);
