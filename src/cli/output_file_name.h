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

// Where a CSV watch writes its growth rows beside -O's `file`: its name
// without the extension, then "-growth.csv" ("gdi.csv", "gdi" ->
// "gdi-growth.csv"). The extension is what follows the name's last dot,
// when that dot does not lead the name (".prom" has none).
std::u16string GrowthFileName(const std::u16string& file);
