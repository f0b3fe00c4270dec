// What the backends' ReplacementFile shares: the new file's name.
#include <string>

#include "platform/program_io.h"

namespace platform {
namespace {

bool IsSeparator(char16_t unit, bool backslashSeparates) {
  return unit == u'/' || (backslashSeparates && unit == u'\\');
}

// The length of `unit` as the file system counts it: a UTF-16 unit, or the
// bytes it takes in UTF-8 (a surrogate pair's four, two apiece).
size_t LengthOf(char16_t unit, bool utf8) {
  if (!utf8)
    return 1;
  if (unit < 0x80)
    return 1;
  if (unit < 0x800 || (unit >= 0xD800 && unit <= 0xDFFF))
    return 2;
  return 3;
}

}  // namespace

std::u16string ReplacementFile::NewPath(const std::u16string& target,
                                        uint32_t processId, int taken,
                                        const FileNameLimit& limit) {
  std::string suffix =
      "." + std::to_string(processId) + "-" + std::to_string(taken) + ".tmp";
  size_t nameStart = target.size();
  while (nameStart > 0 &&
         !IsSeparator(target[nameStart - 1], limit.backslashSeparates))
    --nameStart;
  // The name is cut where the suffix would take it past the limit, and
  // never between the halves of a surrogate pair.
  size_t room = limit.maxNameLength > suffix.size()
                    ? limit.maxNameLength - suffix.size()
                    : 0;
  size_t end = nameStart;
  size_t used = 0;
  while (end < target.size()) {
    char16_t unit = target[end];
    bool pair = unit >= 0xD800 && unit <= 0xDBFF && end + 1 < target.size();
    size_t length = LengthOf(unit, limit.utf8) +
                    (pair ? LengthOf(target[end + 1], limit.utf8) : 0);
    if (used + length > room)
      break;
    used += length;
    end += pair ? 2 : 1;
  }
  return target.substr(0, end) + std::u16string(suffix.begin(), suffix.end());
}

}  // namespace platform
