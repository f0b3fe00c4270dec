// Which process a record is, from one sample of a watch to the next: a
// process is its PID under its name, so a PID that another program reuses is
// another process.
#pragma once

#include <cstdint>
#include <string_view>

#include "census/process_record.h"

inline bool SameProcess(const ProcessRecord& record, uint32_t pid,
                        std::u16string_view name) {
  return record.pid == pid && std::u16string_view(record.exeName) == name;
}
