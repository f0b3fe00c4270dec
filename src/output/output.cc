#include "output/output.h"

#include <algorithm>

#include "platform/program_io.h"
#include "platform/terminal_text.h"

namespace {

constexpr size_t kFlushThreshold = size_t{64} * 1024;

// A file's name as an error line quotes it: in the code page, with the
// line end and the characters that steer a terminal escaped, so that a name
// cannot break the line or command the terminal.
std::string QuotedFileName(const std::u16string& path) {
  std::u16string shown;
  for (char16_t unit : path) {
    if (unit == u'\n' || SteersTerminal(unit))
      for (char c : EscapedControlCharacter(unit))
        shown.push_back(static_cast<char16_t>(c));
    else
      shown.push_back(unit);
  }
  std::string line;
  platform::AppendInCodePage(shown.data(), shown.size(), line);
  return line;
}

}  // namespace

Output::Output() = default;

Output::Output(std::u16string* capture) : capture_(capture) {}

Output::~Output() { Flush(); }

void Output::SendToFile(const std::u16string& path) {
  if (!capture_)
    file_ = std::make_unique<platform::ReplacementFile>(path);
}

void Output::KeepLineEnds() { keepLineEnds_ = true; }

void Output::Write(const char16_t* text, size_t length) {
  if (capture_) {
    DrainToCapture();
    capture_->append(text, length);
    return;
  }
  if (failed_)
    return;
  Pending(true);
  platform::AppendInCodePage(text, length, pending_);
  if (!holding_ && pending_.size() >= kFlushThreshold)
    Flush();
}

void Output::WriteAscii(const char* text, size_t length) {
  if (capture_) {
    DrainToCapture();
    capture_->append(text, text + length);
    return;
  }
  if (failed_)
    return;
  Pending(true);
  pending_.append(text, length);
  if (!holding_ && pending_.size() >= kFlushThreshold)
    Flush();
}

void Output::WriteBytes(const char* bytes, size_t length) {
  if (failed_ && !capture_)
    return;
  Bytes().append(bytes, length);
  PieceDone();
}

std::string& Output::Bytes() {
  Pending(false);
  return pending_;
}

void Output::PieceDone() {
  // A capture takes each piece at once: a hold keeps its place in it.
  if (capture_ || (!holding_ && pending_.size() >= kFlushThreshold))
    Flush();
}

void Output::ReservePieces(size_t leading) {
  // Sent once it holds kFlushThreshold, the buffer never holds more than
  // that and one piece.
  pending_.reserve(kFlushThreshold + kLargestPiece + leading);
}

void Output::Pending(bool text) {
  if (pendingIsText_ == text)
    return;
  // Outside a hold, which is of text or of bytes, one kind leaves before
  // the other comes.
  Flush();
  pendingIsText_ = text;
}

void Output::DrainToCapture() {
  const auto* units = reinterpret_cast<const unsigned char*>(pending_.data());
  capture_->append(units, units + pending_.size());
  pending_.clear();
}

void Output::Flush() {
  if (capture_) {
    DrainToCapture();
    return;
  }
  if (holding_)
    return;
  if (!failed_ && !pending_.empty()) {
    bool sent = pendingIsText_ ? SendText(pending_.data(), pending_.size())
                               : SendBytes(pending_.data(), pending_.size());
    if (!sent)
      failed_ = true;
  }
  // The buffer keeps its room for the next sample: giving it back would
  // cost a watch the page faults of filling it again, every sample.
  pending_.clear();
  if (!file_ && !failed_ && !platform::FlushStdout())
    failed_ = true;
}

void Output::Hold() {
  if (holding_)
    return;
  if (capture_)
    DrainToCapture();
  holding_ = true;
  heldFrom_ = pending_.size();
  heldCaptureFrom_ = capture_ ? capture_->size() : 0;
}

void Output::Release() {
  holding_ = false;
  Flush();
}

void Output::DropHeld() {
  if (!holding_)
    return;
  holding_ = false;
  pending_.resize(std::min(heldFrom_, pending_.size()));
  if (capture_) {
    pending_.clear();
    capture_->resize(heldCaptureFrom_);
  }
}

void Output::EndDocument() {
  Flush();
  if (!file_)
    return;
  // A document that nothing was written to replaces nothing.
  if (!failed_ && !file_->IsOpen())
    return;
  if (!failed_ && !file_->Commit(&fileFailure_))
    failed_ = true;
  if (retryEachDocument_) {
    documentFailed_ = failed_;
    failed_ = false;
    file_->Discard();
  }
}

void Output::Abandon() {
  DropHeld();
  if (!file_)
    return;
  pending_.clear();
  file_->Discard();
}

void Output::EmptyFile() {
  Abandon();
  if (!file_)
    return;
  if (!file_->Create(&fileFailure_) || !file_->Commit(&fileFailure_))
    failed_ = true;
}

std::string Output::FailureMessage() const {
  if (!file_)
    return "kestrel: cannot write to standard output";
  return "kestrel: cannot write " + QuotedFileName(file_->destination()) +
         ": " + fileFailure_;
}

std::string Output::RecoveryMessage() const {
  return file_ ? "kestrel: wrote " + QuotedFileName(file_->destination()) +
                     " again"
               : std::string();
}

bool Output::SendText(const char* bytes, size_t length) {
  if (file_)
    return WriteToFile(bytes, length, !keepLineEnds_);
  return platform::WriteStdoutText(bytes, length);
}

bool Output::SendBytes(const char* bytes, size_t length) {
  if (file_)
    return WriteToFile(bytes, length, !keepLineEnds_);
  return platform::WriteStdoutUtf8(bytes, length, keepLineEnds_);
}

bool Output::WriteToFile(const char* bytes, size_t length, bool text) {
  // The file is made at the first write of a document, so a run that writes
  // nothing replaces nothing.
  if (!file_->IsOpen() && !file_->Create(&fileFailure_))
    return false;
  return file_->Write(bytes, length, text, &fileFailure_);
}
