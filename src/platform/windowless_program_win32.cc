// kestrelw.exe: the same program linked for the GUI subsystem, so that a
// scheduled task starts it without a console window. Nobody reads its
// standard error, so each message also goes to the Application event log,
// where the task's owner finds it: source "kestrel", an event ID and type
// for each kind of message, whose text the message table among kestrelw.exe's
// resources holds (event_messages.mc).
#include "platform/program_io.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/event_messages.h"

namespace platform {
namespace {

// The event ID (with its severity, as the message table numbers it) and
// type of each kind of message.
struct EventOf {
  DWORD id;
  WORD type;
};

EventOf EventFor(MessageKind kind) {
  switch (kind) {
    case MessageKind::UsageError:
      return {KESTREL_EVENT_USAGE_ERROR, EVENTLOG_ERROR_TYPE};
    case MessageKind::SystemState:
      return {KESTREL_EVENT_SYSTEM_STATE, EVENTLOG_ERROR_TYPE};
    case MessageKind::OutOfMemory:
      return {KESTREL_EVENT_OUT_OF_MEMORY, EVENTLOG_ERROR_TYPE};
    case MessageKind::WriteFailed:
      return {KESTREL_EVENT_WRITE_FAILED, EVENTLOG_ERROR_TYPE};
    case MessageKind::WriteFailing:
      return {KESTREL_EVENT_WRITE_FAILING, EVENTLOG_WARNING_TYPE};
    case MessageKind::WrittenAgain:
      return {KESTREL_EVENT_WRITTEN_AGAIN, EVENTLOG_INFORMATION_TYPE};
    case MessageKind::Failure:
      break;
  }
  return {KESTREL_EVENT_FAILURE, EVENTLOG_ERROR_TYPE};
}

}  // namespace

bool IsWindowless() { return true; }

void ReportToEventLog(const std::string& line, MessageKind kind) {
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
  EventOf event = EventFor(kind);
  const wchar_t* strings[] = {text.c_str()};
  ::ReportEventW(source, event.type, 0, event.id, nullptr, 1, 0, strings,
                 nullptr);
  ::DeregisterEventSource(source);
}

}  // namespace platform
