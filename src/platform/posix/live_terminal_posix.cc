// The live view's terminal on hosts other than Windows: standard output a
// terminal that reads UTF-8 and ECMA-48 control sequences.
#include <cstdio>
#include <string>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/program_io.h"
#include "platform/terminal_text.h"
#include "platform/utf8.h"

namespace platform {

namespace {

// The alternate screen (its cursor saved), the cursor hidden; and back.
constexpr char kTake[] = "\x1b[?1049h\x1b[?25l";
constexpr char kGiveBack[] = "\x1b[?25h\x1b[?1049l";

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written <= 0)
      return;
    done += static_cast<size_t>(written);
  }
}

// `text` as the terminal gets it: UTF-8, "\n" as CR LF (the terminal's
// own translation is off while it is taken), a control character as "?".
std::string TerminalBytes(const std::u16string& text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 2);
  size_t position = 0;
  while (position < text.size()) {
    char32_t c = NextCodePoint(text.data(), text.size(), &position);
    if (c == U'\n') {
      bytes += "\r\n";
      continue;
    }
    if (IsControlCharacter(c))
      c = U'?';
    AppendUtf8(c >= 0xD800 && c <= 0xDFFF ? 0xFFFD : c, bytes);
  }
  return bytes;
}

}  // namespace

struct LiveTerminal::State {
  int out = STDOUT_FILENO;
  int keys = -1;  // standard input, when it is a terminal
  struct termios keySettings = {};
};

LiveTerminal::LiveTerminal() = default;

LiveTerminal::~LiveTerminal() {
  if (state_)
    Close(u"");
}

bool LiveTerminal::IsOpen() const { return state_ != nullptr; }

bool LiveTerminal::Open(std::string* reason) {
  if (!::isatty(STDOUT_FILENO)) {
    *reason = "standard output is not a terminal";
    return false;
  }
  auto state = std::make_unique<State>();
  // Without a terminal to read keys from, Ctrl+C alone ends the view.
  if (::isatty(STDIN_FILENO) &&
      ::tcgetattr(STDIN_FILENO, &state->keySettings) == 0) {
    struct termios raw = state->keySettings;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0)
      state->keys = STDIN_FILENO;
  }
  std::fflush(stdout);
  WriteAll(state->out, kTake);
  state_ = std::move(state);
  return true;
}

LiveTerminal::WindowSize LiveTerminal::Size() const {
  WindowSize size;
  struct winsize window = {};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_col > 0 &&
      window.ws_row > 0) {
    size.columns = window.ws_col;
    size.rows = window.ws_row;
  }
  return size;
}

void LiveTerminal::Draw(const std::u16string& frame) {
  if (!state_)
    return;
  // Home, then each line over the old one, the rest of it and of the screen
  // cleared: no flicker of a whole clear.
  std::string bytes = "\x1b[H";
  size_t start = 0;
  while (start < frame.size()) {
    size_t end = frame.find(u'\n', start);
    if (end == std::u16string::npos)
      end = frame.size();
    if (start > 0)
      bytes += "\r\n";
    bytes += TerminalBytes(frame.substr(start, end - start));
    bytes += "\x1b[K";
    start = end + 1;
  }
  bytes += "\x1b[J";
  WriteAll(state_->out, bytes);
}

void LiveTerminal::ReadKeys() {
  if (!state_ || state_->keys < 0)
    return;
  char keys[64];
  for (;;) {
    struct pollfd ready = {state_->keys, POLLIN, 0};
    if (::poll(&ready, 1, 0) <= 0)
      return;
    ssize_t count = ::read(state_->keys, keys, sizeof keys);
    if (count <= 0)
      return;
    for (ssize_t i = 0; i < count; ++i) {
      if (keys[i] == 'q' || keys[i] == 'Q')
        RequestInterrupt();
    }
  }
}

void LiveTerminal::Close(const std::u16string& lastFrame) {
  if (!state_)
    return;
  WriteAll(state_->out, kGiveBack);
  if (state_->keys >= 0)
    ::tcsetattr(state_->keys, TCSANOW, &state_->keySettings);
  WriteAll(state_->out, TerminalBytes(lastFrame));
  state_.reset();
}

}  // namespace platform
