// What -f keeps of a process's handles, for every view and document.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gditable/object_types.h"
#include "platform/platform.h"

// The filter depends on the type code alone, so it is worked out once a
// code, when the code first turns up.
class TypeFilter {
 public:
  explicit TypeFilter(const std::optional<std::u16string>& filter)
      : filter_(filter) {}

  // Whether a handle of type `code` is listed: its type name contains the
  // filter regardless of case, or there is no filter.
  bool Lists(uint8_t code) {
    uint8_t& decision = decisions_[code];
    if (decision == kUndecided) {
      decision =
          !filter_ || platform::StrStrIW(ObjectTypeName(code), filter_->c_str())
              ? kListed
              : kSkipped;
    }
    return decision == kListed;
  }

 private:
  enum : uint8_t { kUndecided, kListed, kSkipped };
  const std::optional<std::u16string>& filter_;
  uint8_t decisions_[256] = {};
};
