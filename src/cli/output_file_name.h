// -O's file name as the run writes it.
#pragma once

#include <cstdint>
#include <string>

// `written` with each "{session}" replaced by the id of the session kestrel
// runs in, so that one task started in every session writes a file of each
// session's own. Where the session cannot be told (`sessionKnown` false),
// the name stays as written.
std::u16string OutputFileName(const std::u16string& written, bool sessionKnown,
                              uint32_t sessionId);
