// What the backends' ReplacementFile shares: the new file's name.
#include <string>

#include "platform/program_io.h"

namespace platform {

std::u16string ReplacementFile::NewPath(uint32_t processId, int taken) const {
  std::string suffix =
      "." + std::to_string(processId) + "-" + std::to_string(taken) + ".tmp";
  return destination_ + std::u16string(suffix.begin(), suffix.end());
}

}  // namespace platform
