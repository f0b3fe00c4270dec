// What the command line asks of a run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class TargetMode { None, ByName, ByPid };

struct RunOptions {
  bool showCounts = false;   // -c
  bool showHandles = false;  // -v
  // The text after -v -f: only handles whose type name contains it are listed.
  std::optional<std::u16string> typeFilter;
  TargetMode targetMode = TargetMode::None;
  std::u16string targetName;  // ByName: the whole argument, unchanged
  uint32_t targetPid = 0;     // ByPid
};
