// kestrelw.exe: the same program linked for the GUI subsystem, so that a
// scheduled task starts it without a console window. Nobody reads its
// standard error, so each message also goes to the Application event log,
// where the task's owner finds it (source "kestrel"; no message file is
// registered, so the viewer shows the line as the event's text).
#include "platform/program_io.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace platform {

bool IsWindowless() { return true; }

void ReportToEventLog(const std::string& line) {
  // The line is in the runtime locale's code page, as standard error gets
  // it.
  std::wstring text(line.size(), L'\0');
  size_t units = std::mbstowcs(&text[0], line.c_str(), text.size());
  if (units == static_cast<size_t>(-1))
    text.assign(line.begin(), line.end());
  else
    text.resize(units);
  ::HANDLE source = ::RegisterEventSourceW(nullptr, L"kestrel");
  if (!source)
    return;
  const wchar_t* strings[] = {text.c_str()};
  ::ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings,
                 nullptr);
  ::DeregisterEventSource(source);
}

}  // namespace platform
