// Where the report's text goes: standard output, converted to the code page
// and written in large pieces (a console or terminal shows the characters
// those bytes stand for), or a UTF-16 capture for tests.
#pragma once

#include <cstddef>
#include <string>

class Output {
 public:
  // Writes to standard output through the platform layer.
  Output() = default;
  // Collects the UTF-16 text in `capture` instead.
  explicit Output(std::u16string* capture) : capture_(capture) {}
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Write(const std::u16string& text) { Write(text.data(), text.size()); }
  void Write(const char16_t* text, size_t length);
  // Writes text that is all ASCII, which reads the same in every code page,
  // so it skips the conversion; the report's handle lines take this path.
  void WriteAscii(const char* text, size_t length);
  // Sends bytes exactly as they are, after what is buffered, whatever the
  // code page: the UTF-8 documents take this path. A capture gets one unit a
  // byte.
  void WriteBytes(const char* bytes, size_t length);
  // Sends what is buffered. After a failed write nothing more is written.
  // What is held stays held.
  void Flush();
  // Keeps everything written from now on until Release, however large: a
  // part of the output that leaves whole or not at all (a sample of a
  // watch), in text or in bytes, not both.
  void Hold();
  // Sends what was held, in one write, and flushes.
  void Release();
  bool Failed() const { return failed_; }

 private:
  std::u16string* capture_ = nullptr;
  std::string bytes_;
  bool failed_ = false;
  bool holding_ = false;
  std::string heldBytes_;  // WriteBytes while holding
};
