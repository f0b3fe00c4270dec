// The live view's console on Windows. What it relies on, from Microsoft's
// documentation of the console ("Console Virtual Terminal Sequences",
// "SetConsoleMode", "ReadConsoleInput", "GetConsoleScreenBufferInfo"):
// an output mode with ENABLE_VIRTUAL_TERMINAL_PROCESSING makes the console
// obey the sequences written here (the alternate screen buffer,
// ESC [ ? 1049 h and l; the cursor's visibility, ESC [ ? 25 l and h; the
// cursor's position and erasing); SetConsoleMode refuses the flag where the
// console cannot (before Windows 10), and the view is then refused. An
// input mode without ENABLE_LINE_INPUT and ENABLE_ECHO_INPUT hands each key
// over as it is pressed, unechoed, while ENABLE_PROCESSED_INPUT keeps
// Ctrl+C a signal for the handler. The window's size is srWindow of the
// screen buffer's information. Both modes are set back as they were.
#include "platform/program_io.h"
#include "platform/terminal_text.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

namespace platform {

namespace {

constexpr wchar_t kTake[] = L"\x1b[?1049h\x1b[?25l";
constexpr wchar_t kGiveBack[] = L"\x1b[?25h\x1b[?1049l";

void WriteAll(::HANDLE console, const std::wstring& text) {
  const wchar_t* next = text.data();
  size_t left = text.size();
  while (left > 0) {
    // Consoles of older Windows refuse very large writes.
    DWORD piece = static_cast<DWORD>(left < 8192 ? left : 8192);
    DWORD written = 0;
    if (!::WriteConsoleW(console, next, piece, &written, nullptr) ||
        written == 0)
      return;
    next += written;
    left -= written;
  }
}

// `text` as the console gets it: "\n" as CR LF, a control character as "?".
std::wstring ConsoleText(const std::u16string& text) {
  std::wstring wide;
  wide.reserve(text.size() + text.size() / 16);
  for (char16_t unit : text) {
    if (unit == u'\n') {
      wide += L"\r\n";
      continue;
    }
    wide.push_back(IsControlCharacter(unit) ? L'?'
                                            : static_cast<wchar_t>(unit));
  }
  return wide;
}

struct CloseHandleOf {
  void operator()(void* handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, CloseHandleOf>;

// What the key reader's thread reads: the console's input, until `stop` is
// signalled.
struct KeyReader {
  ::HANDLE in = nullptr;
  ::HANDLE stop = nullptr;
};

// Reads the console's keys as they come until it is stopped: q or Q ends
// the watch's wait at once.
DWORD WINAPI ReadKeysAsTheyCome(void* parameter) {
  auto* state = static_cast<KeyReader*>(parameter);
  ::HANDLE waits[] = {state->stop, state->in};
  for (;;) {
    DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke != WAIT_OBJECT_0 + 1)
      return 0;
    INPUT_RECORD records[16];
    DWORD count = 0;
    if (!::ReadConsoleInputW(state->in, records, 16, &count))
      return 0;
    for (DWORD i = 0; i < count; ++i) {
      const INPUT_RECORD& record = records[i];
      if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
          (record.Event.KeyEvent.uChar.UnicodeChar == L'q' ||
           record.Event.KeyEvent.uChar.UnicodeChar == L'Q'))
        RequestInterrupt();
    }
  }
}

}  // namespace

struct LiveTerminal::State {
  ::HANDLE out = nullptr;
  DWORD outMode = 0;
  DWORD inMode = 0;
  KeyReader keys;  // keys.in when standard input is the console's
  OwnedHandle stop;
  OwnedHandle reader;  // the key reader's thread
};

LiveTerminal::LiveTerminal() = default;

LiveTerminal::~LiveTerminal() {
  if (state_)
    Close(u"");
}

bool LiveTerminal::IsOpen() const { return state_ != nullptr; }

bool LiveTerminal::Open(std::string* reason) {
  auto state = std::make_unique<State>();
  state->out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (!state->out || state->out == INVALID_HANDLE_VALUE ||
      !::GetConsoleMode(state->out, &state->outMode)) {
    *reason = "standard output is not a console";
    return false;
  }
  if (!::SetConsoleMode(state->out, state->outMode | ENABLE_PROCESSED_OUTPUT |
                                        ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    *reason =
        "this console does not process virtual terminal sequences "
        "(Windows 10 or later does)";
    return false;
  }
  ::HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  // Without the console's input to read keys from, Ctrl+C alone ends the
  // view.
  if (in && in != INVALID_HANDLE_VALUE &&
      ::GetConsoleMode(in, &state->inMode) &&
      ::SetConsoleMode(
          in, (state->inMode &
               ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) |
                  ENABLE_PROCESSED_INPUT)) {
    state->keys.in = in;
    state->stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    state->keys.stop = state->stop.get();
    if (state->stop)
      state->reader.reset(::CreateThread(nullptr, 0, ReadKeysAsTheyCome,
                                         &state->keys, 0, nullptr));
  }
  std::fflush(stdout);
  WriteAll(state->out, kTake);
  state_ = std::move(state);
  return true;
}

LiveTerminal::WindowSize LiveTerminal::Size() const {
  WindowSize size;
  CONSOLE_SCREEN_BUFFER_INFO information = {};
  if (state_ && ::GetConsoleScreenBufferInfo(state_->out, &information)) {
    int columns = information.srWindow.Right - information.srWindow.Left + 1;
    int rows = information.srWindow.Bottom - information.srWindow.Top + 1;
    if (columns > 0 && rows > 0) {
      size.columns = static_cast<size_t>(columns);
      size.rows = static_cast<size_t>(rows);
    }
  }
  return size;
}

void LiveTerminal::Draw(const std::u16string& frame) {
  if (!state_)
    return;
  // Home, then each line over the old one, the rest of it and of the screen
  // erased: no flicker of a whole clear.
  std::wstring text = L"\x1b[H";
  size_t start = 0;
  while (start < frame.size()) {
    size_t end = frame.find(u'\n', start);
    if (end == std::u16string::npos)
      end = frame.size();
    if (start > 0)
      text += L"\r\n";
    text += ConsoleText(frame.substr(start, end - start));
    text += L"\x1b[K";
    start = end + 1;
  }
  text += L"\x1b[J";
  WriteAll(state_->out, text);
}

// The reader thread ends the wait itself; nothing waits here.
void LiveTerminal::ReadKeys() {}

void LiveTerminal::Close(const std::u16string& lastFrame) {
  if (!state_)
    return;
  if (state_->reader) {
    ::SetEvent(state_->stop.get());
    ::WaitForSingleObject(state_->reader.get(), INFINITE);
  }
  WriteAll(state_->out, kGiveBack);
  if (state_->keys.in)
    ::SetConsoleMode(state_->keys.in, state_->inMode);
  ::SetConsoleMode(state_->out, state_->outMode);
  WriteAll(state_->out, ConsoleText(lastFrame));
  state_.reset();
}

}  // namespace platform
