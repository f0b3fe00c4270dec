#include "census/handle_list.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "census/handle_list_testing.h"

namespace {

void* Reallocate(void* storage, size_t bytes) {
  return std::realloc(storage, bytes);
}

// What the lists grow with; tests put an allocator that fails here.
void* (*growStorage)(void*, size_t) = Reallocate;

}  // namespace

void SetHandleListGrowthForTesting(void* (*reallocate)(void*, size_t)) {
  growStorage = reallocate ? reallocate : Reallocate;
}

HandleList::HandleList(const HandleList& other) { *this = other; }

HandleList::HandleList(HandleList&& other) noexcept
    : storage(std::exchange(other.storage, nullptr)),
      size(std::exchange(other.size, 0)),
      capacity(std::exchange(other.capacity, 0)) {}

HandleList& HandleList::operator=(const HandleList& other) {
  if (this == &other)
    return *this;
  HandleRecord* copy = nullptr;
  if (other.size > 0) {
    size_t allocated = static_cast<size_t>(AllocatedFor(other.size));
    copy = static_cast<HandleRecord*>(
        std::calloc(allocated, sizeof(HandleRecord)));
    // A copy that cannot be stored ends the run as out of memory rather
    // than losing handles unseen.
    if (!copy)
      throw std::bad_alloc();
    std::memcpy(copy, other.storage,
                sizeof(HandleRecord) * static_cast<size_t>(other.size));
  }
  std::free(storage);
  storage = copy;
  size = other.size;
  capacity = other.size;
  return *this;
}

HandleList& HandleList::operator=(HandleList&& other) noexcept {
  if (this != &other) {
    std::free(storage);
    storage = std::exchange(other.storage, nullptr);
    size = std::exchange(other.size, 0);
    capacity = std::exchange(other.capacity, 0);
  }
  return *this;
}

HandleList::~HandleList() { std::free(storage); }

HandleRecord* HandleList::GrowAndAppendSlot() {
  // Doubling in 64 bits shows the overflow the 32-bit size would hide.
  int64_t grown = capacity == 0 ? 1 : 2 * static_cast<int64_t>(size);
  if (grown > kMaxCapacity)
    return nullptr;
  int64_t allocated = AllocatedFor(capacity);
  int64_t needed = AllocatedFor(grown);
  if (needed > allocated) {
    auto* bigger = static_cast<HandleRecord*>(growStorage(
        storage, sizeof(HandleRecord) * static_cast<size_t>(needed)));
    if (!bigger)
      return nullptr;
    std::memset(bigger + allocated, 0,
                sizeof(HandleRecord) * static_cast<size_t>(needed - allocated));
    storage = bigger;
  }
  capacity = static_cast<int32_t>(grown);
  return &storage[size++];
}
