// The program's own input and output: the locale and code page, standard
// output and error, a file replaced whole, the clock, interrupts, and what
// the banner says of the build. The same two backends as platform.h
// implement them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace platform {

// Sets the runtime locale for all categories; "chs" names Simplified
// Chinese (code page 936). Returns false when the locale is not available.
bool SetLocale(const char* name);

// Converts UTF-16 text unit by unit to the current locale's multibyte code
// page and appends the bytes; a unit the code page cannot represent becomes
// "?".
void AppendInCodePage(const char16_t* text, size_t length, std::string& bytes);
// The backend's part of AppendInCodePage: converts one unit outside ASCII
// (code_page.cc copies ASCII itself, since every code page here keeps it).
void AppendUnitInCodePage(char16_t unit, std::string& bytes);

// Whether the program was started without a standard output (closed, as
// `>&-` closes it): every write to it fails.
bool StdoutIsMissing();
// Writes bytes to standard output as they are (text mode on Windows, so "\n"
// becomes CR LF there). Returns false when the write fails.
bool WriteStdout(const char* bytes, size_t length);
// Writes text that AppendInCodePage made. A file or a pipe gets the bytes as
// WriteStdout writes them. A console (Windows: GetConsoleMode succeeds on
// standard output) or a terminal (other hosts: isatty) gets the characters
// the bytes stand for in the current locale, in the form it takes whatever
// its own code page: UTF-16 through WriteConsoleW, with "\n" as CR LF, or
// UTF-8. Which of the two standard output is, is settled at the first call.
// Returns false when the write fails.
bool WriteStdoutText(const char* bytes, size_t length);
// Writes UTF-8 bytes (a document): a file or a pipe gets them as they are,
// as WriteStdoutExact writes them (`exact`) or WriteStdout; a console
// (Windows) gets the characters they stand for through WriteConsoleW,
// whatever its code page; a terminal elsewhere gets the bytes. The bytes
// start and end on character boundaries. Returns false when the write
// fails.
bool WriteStdoutUtf8(const char* bytes, size_t length, bool exact);
bool FlushStdout();

// Writes bytes to standard output exactly as they are, "\n" too: Windows
// writes them in binary mode, where text mode would make "\n" CR LF.
// Returns false when the write fails.
bool WriteStdoutExact(const char* bytes, size_t length);

// A file replaced whole. The bytes go to a new file in the destination's
// folder, which then takes the destination's place in one step (Windows:
// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
// other hosts: rename), so a reader finds the old content or the new, never
// a part of either. A failure says why in `reason`, in the current locale's
// code page, removes the new file and leaves the destination as it was.
// Only a regular file is replaced: a symbolic link is followed to the file
// it names, replaced in its own folder; the new file takes the old one's
// permissions (and owner, where the process may set it); a folder, a
// device, a FIFO or a socket, a read-only file and a file with other hard
// links are refused. While the new file exists, a signal that ends the
// program removes it first (other hosts).
class ReplacementFile {
 public:
  explicit ReplacementFile(std::u16string destination)
      : destination_(std::move(destination)) {}
  // Removes the new file unless it took the destination's place.
  ~ReplacementFile() { Discard(); }
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  const std::u16string& destination() const { return destination_; }
  // Whether a new file is being written.
  bool IsOpen() const {
#ifdef _WIN32
    return handle_ != INVALID_HANDLE_VALUE;
#else
    return descriptor_ >= 0;
#endif
  }
  // Creates the new, empty file beside the destination.
  bool Create(std::string* reason);
  // Appends to the new file. With `text`, each "\n" is written as a text
  // file has it here, as standard output writes it to a file: CR LF on
  // Windows.
  bool Write(const char* bytes, size_t length, bool text, std::string* reason);
  // Writes the new file through and closes it, then moves it over the
  // destination.
  bool Commit(std::string* reason);
  // Closes and removes the new file, if there is one.
  void Discard();

  // How long a file's name may be: in UTF-16 units (Windows) or UTF-8
  // bytes, and whether a backslash ends a folder's name.
  struct FileNameLimit {
    size_t maxNameLength = 255;
    bool utf8 = false;
    bool backslashSeparates = false;
  };
  // The new file's name beside `target`, the file replaced,
  // "TARGET.PID-N.tmp": one of its own, since another run may write beside
  // the same file, and one that no collector reads. N counts the names
  // already taken. The target's name is cut so that the new one is within
  // `limit`.
  static std::u16string NewPath(const std::u16string& target,
                                uint32_t processId, int taken,
                                const FileNameLimit& limit);

 private:
  static constexpr int kNames = 100;

  std::u16string destination_;
  std::u16string target_;  // the file replaced: the destination, links followed
  std::u16string path_;    // the new file's
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int descriptor_ = -1;  // the new file's, while it is written
#endif
};

// A clock in milliseconds that never goes back, from an arbitrary start (the
// host build's simulated clock starts at 0 and moves only at a wait).
uint64_t MonotonicMilliseconds();
// From now on an interrupt (Ctrl+C or Ctrl+Break on Windows, SIGINT,
// SIGTERM or SIGHUP elsewhere) only sets a flag that InterruptRequested reads, and
// ends a wait, instead of ending the program. Only a watch calls it.
void CatchInterrupts();
bool InterruptRequested();
// Whether the interrupt was the end of the user's session (a logoff or a
// shutdown, on Windows); never on the host build.
bool SessionEnding();
// Ends the watch as an interrupt does: -o live's q key.
void RequestInterrupt();
// Waits until MonotonicMilliseconds reaches `deadlineMilliseconds`; false
// when an interrupt arrived (at once when one is pending). The host build
// waits for nothing: it sets its clock to the deadline and applies the
// session's next sample block.
bool WaitUntil(uint64_t deadlineMilliseconds);

// What a line on standard error tells. kestrelw.exe reports each kind to
// the event log as an event of its own ID and type (event_messages.mc).
enum class MessageKind {
  Failure,       // any other failure of the run
  UsageError,    // exit code 1
  SystemState,   // the system's state cannot be read: exit code 2
  OutOfMemory,   // exit code 3
  WriteFailed,   // the output cannot be written: exit code 5
  WriteFailing,  // -O's file keeps its last sample; the watch goes on
  WrittenAgain,  // -O's file is replaced again after WriteFailing
};

// Writes one line of text in the locale's code page and a newline to
// standard error; kestrelw.exe also reports it to the event log.
void WriteStderrLine(const std::string& line,
                     MessageKind kind = MessageKind::Failure);

// Whether this is kestrelw.exe, linked without a console for scheduled
// tasks: it writes only to -O's file. The program's own piece, linked with
// its main, says which (console_program.cc, windowless_program_win32.cc).
bool IsWindowless();
// kestrelw.exe: reports a message line to the Application event log; does
// nothing in a console program.
void ReportToEventLog(const std::string& line, MessageKind kind);

// Whether standard output, or standard error, is a terminal (Windows: a
// console); settled at the first call.
bool StdoutIsTerminal();
bool StderrIsTerminal();
// Whether standard output is a pipe (other hosts: or a socket), whose
// reader may show it on the same terminal as standard error; settled at
// the first call.
bool StdoutIsPipe();
// The width in columns of the terminal (Windows: the console's window) that
// standard error is, asked now, when a status line may be written there
// now: 0 when standard error is no terminal, or (other hosts) when the
// program is not in its terminal's foreground or the terminal stops the
// writes of the background (tostop).
size_t StderrTerminalColumns();
// Writes `text` as it stands to standard error when it is a terminal
// (a carriage return goes back to the start of the line): a watch's status
// line.
void WriteStderrTerminal(const std::u16string& text);
// Moves the cursor of the terminal that standard error is to the start of
// its row, and clears that row and every one below it: a status line, left
// with the cursor at its start, that a narrowed terminal wrapped over
// several rows from there.
void ClearStderrTerminalBelow();

// Standard output's console or terminal, taken by a view that redraws
// itself in place (-o live) and given back as it was found. While it is
// taken, the view is drawn on the alternate screen with the cursor hidden,
// and the keys are read one at a time without echo; Ctrl+C still
// interrupts, and q asks the watch to end (RequestInterrupt). Windows: the
// console processes virtual terminal sequences
// (ENABLE_VIRTUAL_TERMINAL_PROCESSING), its input mode loses
// ENABLE_LINE_INPUT and ENABLE_ECHO_INPUT, and a thread of its own reads
// the keys as they come, so that q ends the wait at once; other hosts: the
// terminal's ICANON and ECHO are cleared, and the keys are read at each
// sample.
class LiveTerminal {
 public:
  struct WindowSize {
    size_t columns = 80;
    size_t rows = 24;
  };

  LiveTerminal();
  // Gives the terminal back, if it was taken.
  ~LiveTerminal();
  LiveTerminal(const LiveTerminal&) = delete;
  LiveTerminal& operator=(const LiveTerminal&) = delete;

  // Takes it. False, saying why in `reason`, when standard output is no
  // console or terminal, or the console cannot process virtual terminal
  // sequences.
  bool Open(std::string* reason);
  bool IsOpen() const;
  // The window's size now; 80 columns and 24 rows where it cannot be asked.
  WindowSize Size() const;
  // Replaces what the screen shows with `frame`: its lines, each ended by
  // "\n", fit the window. A control character shows as "?".
  void Draw(const std::u16string& frame);
  // Reads the keys that wait, without waiting for one: q or Q asks the
  // watch to end.
  void ReadKeys();
  // Gives the terminal back as it was found, then writes `lastFrame` there,
  // where it stays.
  void Close(const std::u16string& lastFrame);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Prepares the backend before the run starts. False, after having said on
// standard error why, when the run cannot start (the host build's session
// description cannot be used).
bool Startup();

// The banner's two lines that say what build this is, without a final
// newline.
const char16_t* BuildDescription();

}  // namespace platform
