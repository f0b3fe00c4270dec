#include "report/output.h"

#include "platform/platform.h"

namespace {
constexpr size_t kFlushThreshold = size_t{64} * 1024;
}

Output::~Output() { Flush(); }

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
  if (!failed_ && length > 0 && !platform::WriteStdout(bytes, length))
    failed_ = true;
}

void Output::Flush() {
  if (holding_)
    return;
  if (!capture_ && !failed_ && !bytes_.empty()) {
    if (!platform::WriteStdoutText(bytes_.data(), bytes_.size()))
      failed_ = true;
  }
  bytes_.clear();
  if (!capture_ && !failed_ && !platform::FlushStdout())
    failed_ = true;
}

void Output::Hold() {
  Flush();
  holding_ = true;
}

void Output::Release() {
  holding_ = false;
  if (!capture_ && !failed_ && !heldBytes_.empty() &&
      !platform::WriteStdout(heldBytes_.data(), heldBytes_.size()))
    failed_ = true;
  heldBytes_.clear();
  heldBytes_.shrink_to_fit();
  Flush();
  bytes_.shrink_to_fit();
}
