// kestrel.exe and every other program but kestrelw.exe: a console program,
// whose messages go to standard error alone. windowless_program_win32.cc,
// linked into kestrelw.exe, takes this file's place there.
#include "platform/program_io.h"

namespace platform {

bool IsWindowless() { return false; }

void ReportToEventLog(const std::string&, MessageKind) {}

}  // namespace platform
