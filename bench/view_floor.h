// The fair floor of a view or document that lists handles: the same bytes as
// kestrel writes, made by a minimal formatter and written as kestrel writes
// them, in pieces of 64 KiB.
//
// What is the same for every handle of a process (its header lines, a CSV
// row's leading fields) or of a type code (the padded name, the type's
// fields) is prepared beforehand, so a handle costs its two hexadecimal
// numbers, written by hand (FormatPointer, two digits a byte from a table),
// and a few copies into one buffer.
#pragma once

#include <array>
#include <string>
#include <vector>

struct HandleList;

struct FloorProcess {
  const HandleList* handles = nullptr;
  std::string start;       // the bytes before its first handle
  std::string handleLead;  // before each handle's value: "0x", "4524,a.exe,0x"
  std::string end;         // the bytes after its last handle
};

struct FloorDocument {
  std::string start;
  std::vector<FloorProcess> processes;
  std::string end;
  // After a handle's value up to its kernel address's digits, per type code.
  std::array<std::string, 256> middles;
  std::string handleEnd;  // after the kernel address: "\n", "\"}"
  std::string separator;  // between two handles of a process: "", ","
  bool text = false;      // written as text (WriteStdoutText), not bytes
};

// Writes `document` to standard output, or appends it to `capture` when that
// is not null. False when a write fails.
bool WriteFloor(const FloorDocument& document, std::string* capture = nullptr);
