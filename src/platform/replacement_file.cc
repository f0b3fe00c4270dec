// What the backends' ReplacementFile shares: the new file's name.
#include <string>

#include "platform/name_cut.h"
#include "platform/program_io.h"
#include "platform/utf8.h"

namespace platform {
namespace {

bool IsSeparator(char16_t unit, bool backslashSeparates) {
  return unit == u'/' || (backslashSeparates && unit == u'\\');
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
  // The name is cut where the suffix would take it past the limit, as the
  // file system counts it: in UTF-8 bytes (a lone surrogate is written as
  // U+FFFD) or UTF-16 units.
  size_t room = limit.maxNameLength > suffix.size()
                    ? limit.maxNameLength - suffix.size()
                    : 0;
  std::u16string_view name = std::u16string_view(target).substr(nameStart);
  size_t kept = CutLength(name, room, 0, limit.utf8 ? Utf8Length : Utf16Units);
  return target.substr(0, nameStart + kept) +
         std::u16string(suffix.begin(), suffix.end());
}

}  // namespace platform
