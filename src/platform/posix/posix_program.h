// What the simulated backend takes from the POSIX host it runs on: the
// program's own streams, terminal and signals, and files it replaces.
#pragma once

namespace platform {
namespace posix {

// Points standard streams that were closed at /dev/null, ignores SIGPIPE,
// and has the signals that end the program remove a replacement file's new
// file first.
void StartProgram();

// Whether SIGINT, SIGTERM or SIGHUP arrived since CatchInterrupts.
bool InterruptSignalled();
// Forgets a signal that arrived, for a session installed afresh (the host
// build's tests).
void ClearInterruptSignal();

// Signals that end the program remove the new file of the replacement file
// being written first, unless the program was started with them ignored.
void RemoveNewFileOnEndingSignals();

}  // namespace posix
}  // namespace platform
