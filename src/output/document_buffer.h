// The bytes of a machine-readable document on their way to the output.
//
// They gather in one buffer, reserved before anything is sent and never
// grown, and leave in pieces of about 64 KiB. So running out of memory stops
// a document before its first byte or not at all: no failed run leaves part
// of a document that looks complete (a CSV cut after a row would).
#pragma once

#include <cstddef>
#include <string>

#include "output/output.h"

class DocumentBuffer {
 public:
  // The most bytes a writer appends between two calls of PieceDone (a
  // process's fields, a handle); a row or element stays below it.
  static constexpr size_t kLargestPiece = size_t{8} * 1024;

  // `leading`: the length of the fields a caller puts in front, which a
  // piece may hold once more.
  DocumentBuffer(Output& out, size_t leading) : out_(out) {
    bytes_.reserve(kSendAt + kLargestPiece + leading);
  }
  DocumentBuffer(const DocumentBuffer&) = delete;
  DocumentBuffer& operator=(const DocumentBuffer&) = delete;

  std::string& bytes() { return bytes_; }

  // Ends a piece: sends the buffer once it holds 64 KiB.
  void PieceDone() {
    if (bytes_.size() >= kSendAt)
      Send();
  }
  // Sends the rest; the document is complete.
  void Finish() { Send(); }

 private:
  static constexpr size_t kSendAt = size_t{64} * 1024;

  void Send() {
    out_.WriteBytes(bytes_.data(), bytes_.size());
    bytes_.clear();
  }

  Output& out_;
  std::string bytes_;
};
