// Controls of the simulated backend, for the host build's tests.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/sim/session.h"

namespace platform {

// Makes `session` the simulated system state, replacing the current one.
void UseSession(Session session);

// Parses `text` and makes it the system state. False, with the reason in
// `error`, when the text is not a valid description.
bool UseSessionText(std::string_view text, std::string* error);

// Process and snapshot handles opened and not yet closed.
size_t OpenHandleCount();

// For the simulated follow: the installed session, how many of its sample
// blocks the waits applied, and the snapshot read again after its processes
// changed.
Session& InstalledSession();
size_t AppliedBlocks();
void ProcessesChanged();

}  // namespace platform
