// Where the report's text goes: standard output, converted to the code page
// and written in large pieces (a console or terminal shows the characters
// those bytes stand for), a file replaced whole by each document (-O), or a
// UTF-16 capture for tests.
//
// It is the one place that keeps output whole. What is written waits in
// one buffer, where a document renders its bytes in place; a hold keeps a
// part there until it is complete (a watch's sample, a page rendered
// whole), and a file takes a document as its content only once it ends.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {
class ReplacementFile;
}

class Output {
 public:
  // Writes to standard output through the platform layer.
  Output();
  // Collects the UTF-16 text in `capture` instead.
  explicit Output(std::u16string* capture);
  // Flushes standard output; a file keeps its content unless EndDocument
  // replaced it.
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // From now on the output goes to the file `path` instead of standard
  // output, as the same bytes, and the file only ever holds whole
  // documents: see EndDocument. A capture keeps capturing.
  void SendToFile(const std::u16string& path);
  // From now on a document that the file could not take leaves it as it
  // was, and the next document is tried afresh: a watch that writes a
  // document per sample outlasts a file held open or a disk full for a
  // while. LastDocumentFailed says how the last one went.
  void RetryEachDocument() { retryEachDocument_ = true; }
  // From now on line ends leave as they are written, LF on every platform,
  // rather than as a text file has them (CR LF on Windows): for documents
  // whose readers take LF alone.
  void KeepLineEnds();

  void Write(const std::u16string& text) { Write(text.data(), text.size()); }
  void Write(const char16_t* text, size_t length);
  // Writes text that is all ASCII, which reads the same in every code page,
  // so it skips the conversion; the report's handle lines take this path.
  void WriteAscii(const char* text, size_t length);
  // Sends bytes exactly as they are, after what is buffered, whatever the
  // code page: the UTF-8 documents take this path. A capture gets one unit a
  // byte.
  void WriteBytes(const char* bytes, size_t length);

  // The buffer that bytes are rendered into in place, to leave as
  // WriteBytes sends them once PieceDone ends what was appended: a document
  // held whole is never copied, it waits where it was rendered.
  std::string& Bytes();
  // Ends a piece appended to Bytes(): sends the buffer once it holds 64 KiB,
  // unless it is held.
  void PieceDone();
  // The most bytes a document appends between two calls of PieceDone (a
  // process's fields, a handle); a row or element stays below it.
  static constexpr size_t kLargestPiece = size_t{8} * 1024;
  // Reserves the room in the buffer that a document sent in pieces needs:
  // each at most kLargestPiece and `leading` more (the fields a caller puts
  // in front). Called before its first byte, so that running out of memory
  // stops the document before its first byte or not at all: no failed run
  // leaves part of a document that looks complete (a CSV cut after a row
  // would).
  void ReservePieces(size_t leading);

  // Sends what is buffered. After a failed write nothing more is written.
  // What is held stays held.
  void Flush();
  // Keeps everything written from now on until Release, however large: a
  // part of the output that leaves whole or not at all (a sample of a
  // watch, a page rendered whole), in text or in bytes, not both. It waits
  // in the buffer where it is written, from the position the hold began.
  void Hold();
  // Sends what was held, in one write, and flushes.
  void Release();
  // Drops what was written since Hold: a sample cut short by memory running
  // out leaves nothing of itself.
  void DropHeld();
  // What was written since the last document's end is a whole document:
  // the file takes it as its content in one step (nothing written, nothing
  // replaced); standard output is flushed.
  void EndDocument();
  // Drops what is held, and what the file would have taken since the last
  // document's end: it keeps its content. Standard output keeps what it was
  // sent.
  void Abandon();
  // The file is replaced by an empty one: nothing is left of what it held.
  // Does nothing when the output is not a file.
  void EmptyFile();
  bool Failed() const { return failed_; }
  // Whether the file could not take the last document, after
  // RetryEachDocument; FailureMessage says why.
  bool LastDocumentFailed() const { return documentFailed_; }
  // The line that says which write failed, and why where a file is written.
  std::string FailureMessage() const;
  // The line that says the file took a document again after failing to.
  std::string RecoveryMessage() const;

 private:
  // Makes the buffer take text (the code page's bytes) or bytes as they
  // are, sending what it holds of the other kind first.
  void Pending(bool text);
  // A capture takes the buffer's bytes, one unit a byte.
  void DrainToCapture();
  // Sends text in the code page, or bytes as they are.
  bool SendText(const char* bytes, size_t length);
  bool SendBytes(const char* bytes, size_t length);
  bool WriteToFile(const char* bytes, size_t length, bool text);

  std::u16string* capture_ = nullptr;
  std::unique_ptr<platform::ReplacementFile> file_;
  std::string fileFailure_;  // why the file could not be written
  bool keepLineEnds_ = false;
  // What is written and not yet sent: text in the code page, or bytes.
  std::string pending_;
  bool pendingIsText_ = true;
  bool failed_ = false;
  bool holding_ = false;
  // Where the hold began: in the buffer, and in a capture.
  size_t heldFrom_ = 0;
  size_t heldCaptureFrom_ = 0;
  bool retryEachDocument_ = false;
  bool documentFailed_ = false;
};
