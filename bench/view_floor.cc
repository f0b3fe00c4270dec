#include "bench/view_floor.h"

#include <cstring>

#include "census/handle_list.h"
#include "gditable/object_types.h"
#include "platform/program_io.h"
#include "presentation/format.h"

namespace {

constexpr size_t kPiece = size_t{64} * 1024;
// Room past a piece for what one process or handle adds.
constexpr size_t kSlack = size_t{16} * 1024;

char* Put(char* at, const std::string& bytes) {
  std::memcpy(at, bytes.data(), bytes.size());
  return at + bytes.size();
}

struct Sink {
  bool text;
  std::string* capture;
  char* buffer;
  bool failed = false;

  // Sends buffer..end and returns the buffer's start.
  char* Send(char* end) {
    size_t length = static_cast<size_t>(end - buffer);
    if (capture)
      capture->append(buffer, length);
    else if (!(text ? platform::WriteStdoutText(buffer, length)
                    : platform::WriteStdout(buffer, length)))
      failed = true;
    return buffer;
  }
};

}  // namespace

bool WriteFloor(const FloorDocument& document, std::string* capture) {
  static char buffer[kPiece + kSlack];
  Sink sink{document.text, capture, buffer};
  char* at = Put(buffer, document.start);
  for (const FloorProcess& process : document.processes) {
    at = Put(at, process.start);
    bool first = true;
    for (const HandleRecord& handle : *process.handles) {
      if (!first)
        at = Put(at, document.separator);
      first = false;
      at = Put(at, process.handleLead);
      at = FormatPointer(at, handle.handle);
      at = Put(at, document.middles[TypeCodeOf(handle.entry)]);
      at = FormatPointer(at, handle.entry.kernelAddress);
      at = Put(at, document.handleEnd);
      if (at - buffer >= static_cast<ptrdiff_t>(kPiece))
        at = sink.Send(at);
    }
    at = Put(at, process.end);
    if (at - buffer >= static_cast<ptrdiff_t>(kPiece))
      at = sink.Send(at);
  }
  at = Put(at, document.end);
  sink.Send(at);
  if (!capture && !platform::FlushStdout())
    return false;
  return !sink.failed;
}
