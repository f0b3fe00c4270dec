#include "output/output.h"

#include "platform/program_io.h"
#include "platform/terminal_text.h"

namespace {

constexpr size_t kFlushThreshold = size_t{64} * 1024;

// A file's name as an error line quotes it: in the code page, with control
// characters escaped, so that a name cannot break the line or command the
// terminal.
std::string QuotedFileName(const std::u16string& path) {
  std::u16string shown;
  for (char16_t unit : path) {
    if (IsControlCharacter(unit))
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
    capture_->append(text, length);
    return;
  }
  if (failed_)
    return;
  platform::AppendInCodePage(text, length, bytes_);
  if (!holding_ && bytes_.size() >= kFlushThreshold)
    Flush();
}

void Output::WriteAscii(const char* text, size_t length) {
  if (capture_) {
    capture_->append(text, text + length);
    return;
  }
  if (failed_)
    return;
  bytes_.append(text, length);
  if (!holding_ && bytes_.size() >= kFlushThreshold)
    Flush();
}

void Output::WriteBytes(const char* bytes, size_t length) {
  if (capture_) {
    const auto* units = reinterpret_cast<const unsigned char*>(bytes);
    capture_->append(units, units + length);
    return;
  }
  if (holding_) {
    if (!failed_)
      heldBytes_.append(bytes, length);
    return;
  }
  Flush();
  if (!failed_ && length > 0 && !SendBytes(bytes, length))
    failed_ = true;
}

void Output::Flush() {
  if (holding_)
    return;
  if (!capture_ && !failed_ && !bytes_.empty()) {
    if (!SendText(bytes_.data(), bytes_.size()))
      failed_ = true;
  }
  bytes_.clear();
  if (!capture_ && !file_ && !failed_ && !platform::FlushStdout())
    failed_ = true;
}

void Output::Hold() {
  Flush();
  holding_ = true;
}

void Output::Release() {
  holding_ = false;
  if (!capture_ && !failed_ && !heldBytes_.empty() &&
      !SendBytes(heldBytes_.data(), heldBytes_.size()))
    failed_ = true;
  // Both buffers keep their room for the next sample: giving it back would
  // cost a watch the page faults of filling it again, every sample.
  heldBytes_.clear();
  Flush();
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

void Output::DropHeld() {
  bytes_.clear();
  heldBytes_.clear();
  holding_ = false;
}

void Output::Abandon() {
  if (!file_)
    return;
  DropHeld();
  file_->Discard();
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
