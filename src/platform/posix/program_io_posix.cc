// The POSIX program I/O of the host build: standard streams, the terminal
// (which reads UTF-8 here), the locale's code page and the interrupting
// signals.
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/posix/posix_program.h"
#include "platform/program_io.h"
#include "platform/terminal_text.h"
#include "platform/utf8.h"

namespace platform {
namespace {

// Set by SIGINT, SIGTERM or SIGHUP once CatchInterrupts ran.
volatile sig_atomic_t signalled = 0;

void OnSignal(int) { signalled = 1; }

// Set once, as the program starts.
bool stdoutMissing = false;

}  // namespace

bool StdoutIsMissing() { return stdoutMissing; }

namespace posix {

void StartProgram() {
  // Standard input, output and error that were closed lead nowhere, so that
  // no file the run opens takes their place (an error line in -O's file);
  // what is written to a closed standard output is lost, and so fails.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      if (fd == 1)
        stdoutMissing = true;
      int null = open("/dev/null", O_RDWR);
      if (null >= 0 && null != fd) {
        dup2(null, fd);
        close(null);
      }
    }
  }
  // A reader that closes the pipe makes a write fail, as on Windows, so the
  // run says so and exits with its code instead of dying of the signal.
  signal(SIGPIPE, SIG_IGN);
  RemoveNewFileOnEndingSignals();
}

bool InterruptSignalled() { return signalled != 0; }

void ClearInterruptSignal() { signalled = 0; }

}  // namespace posix

bool SetLocale(const char* name) {
  // Code page 936's counterpart here is GBK.
  const char* hostName = std::strcmp(name, "chs") == 0 ? "zh_CN.GBK" : name;
  return std::setlocale(LC_ALL, hostName) != nullptr;
}

void AppendUnitInCodePage(char16_t unit, std::string& bytes) {
  char encoded[MB_LEN_MAX];
  std::mbstate_t state = {};
  size_t count =
      IsSurrogate(unit)
          ? static_cast<size_t>(-1)
          : std::wcrtomb(encoded, static_cast<wchar_t>(unit), &state);
  if (count == static_cast<size_t>(-1))
    bytes.push_back('?');
  else
    bytes.append(encoded, count);
}

bool StdoutIsTerminal() {
  static const bool terminal = isatty(fileno(stdout)) == 1;
  return terminal;
}

bool StderrIsTerminal() {
  static const bool terminal = isatty(fileno(stderr)) == 1;
  return terminal;
}

bool StdoutIsPipe() {
  static const bool pipe = [] {
    struct stat status = {};
    return fstat(fileno(stdout), &status) == 0 &&
           (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
  }();
  return pipe;
}

size_t StderrTerminalColumns() {
  if (!StderrIsTerminal())
    return 0;
  int fd = fileno(stderr);
  struct termios settings = {};
  if (tcgetpgrp(fd) != getpgrp() || tcgetattr(fd, &settings) != 0 ||
      (settings.c_lflag & TOSTOP) != 0)
    return 0;
  struct winsize size = {};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
    return 80;
  return size.ws_col;
}

void WriteStderrTerminal(const std::u16string& text) {
  // A terminal here reads UTF-8.
  std::string utf8;
  AppendUtf8(text, utf8);
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

void ClearStderrTerminalBelow() {
  // Erase in display (ED) from the cursor on.
  std::fputs("\r\x1b[J", stderr);
  std::fflush(stderr);
}

bool WriteStdoutText(const char* bytes, size_t length) {
  if (!StdoutIsTerminal())
    return WriteStdout(bytes, length);
  // A terminal here reads UTF-8, not the locale's code page.
  std::string utf8;
  utf8.reserve(length + length / 2);
  std::mbstate_t state = {};
  size_t at = 0;
  while (at < length) {
    wchar_t unit = 0;
    size_t count = std::mbrtowc(&unit, bytes + at, length - at, &state);
    if (count == 0) {  // NUL
      count = 1;
    } else if (count > length - at) {  // not a character of the locale
      state = {};
      unit = L'?';
      count = 1;
    }
    AppendUtf8(ShownOnTerminal(static_cast<char32_t>(unit)), utf8);
    at += count;
  }
  return WriteStdout(utf8.data(), utf8.size());
}

bool WriteStdoutExact(const char* bytes, size_t length) {
  return WriteStdout(bytes, length);
}

bool WriteStdoutUtf8(const char* bytes, size_t length, bool) {
  // A terminal here reads UTF-8, and "\n" is "\n" everywhere.
  if (!StdoutIsTerminal())
    return WriteStdout(bytes, length);
  std::u16string text = DecodeUtf8(std::string_view(bytes, length));
  std::string shown;
  shown.reserve(length);
  size_t position = 0;
  while (position < text.size()) {
    AppendUtf8(
        ShownOnTerminal(NextCodePoint(text.data(), text.size(), &position)),
        shown);
  }
  return WriteStdout(shown.data(), shown.size());
}

void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // A write that the signal interrupts goes on.
  action.sa_flags = SA_RESTART;
  // A closed terminal ends a watch as Ctrl+C does. A signal ignored when
  // the watch started stays ignored: the watch was started to outlive it,
  // as nohup does for SIGHUP and a shell for a background job's SIGINT.
  for (int number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old = {};
    if (sigaction(number, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
      sigaction(number, &action, nullptr);
  }
}

// A hang-up is the terminal's end, not the session's: other hosts have no
// end of session to tell.
bool SessionEnding() { return false; }

void RequestInterrupt() { signalled = 1; }

}  // namespace platform
