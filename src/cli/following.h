// -x: starting to follow a program, what a refusal says, and the gate on
// its call stacks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/follow.h"

class StackTracker;

// The one line on standard error that says why following `request` could
// not start ("kestrel: -x: cannot find the program painter.exe").
std::string FollowRefusalMessage(const platform::FollowRequest& request,
                                 platform::FollowFailure failure);

// Whether `failure` means the program ended before following began (exit
// code 11) rather than that it could not be followed (10).
bool EndedBeforeFollowing(platform::FollowFailure failure);

// The line that names a child the program started, which is not followed.
std::string ChildNotFollowedMessage(const std::u16string& program, uint32_t pid,
                                    const std::u16string& name);

// -g under -x: whether a stack still growing left `gate` or more objects,
// or the program reached `quota` (0: none known) with `systemCount`
// objects; `message` gets the line that names the stack's innermost frame,
// or the quota.
bool StackGateReached(const StackTracker& stacks, uint32_t gate, uint32_t quota,
                      std::string* message);
