#include "census/handle_list.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "census/handle_list_testing.h"

namespace {

// The records to allocate for a list of `capacity` records.
int64_t AllocationFor(int64_t capacity) {
  return capacity == 0 || capacity >= HandleList::kMinAllocation
             ? capacity
             : HandleList::kMinAllocation;
}

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
      capacity(std::exchange(other.capacity, 0)),
      allocated_(std::exchange(other.allocated_, 0)) {}

HandleList& HandleList::operator=(const HandleList& other) {
  if (this == &other)
    return *this;
  HandleRecord* copy = nullptr;
  size_t allocated = 0;
  if (other.size > 0) {
    allocated = static_cast<size_t>(AllocationFor(other.size));
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
  allocated_ = static_cast<int32_t>(allocated);
  return *this;
}

HandleList& HandleList::operator=(HandleList&& other) noexcept {
  if (this != &other) {
    std::free(storage);
    storage = std::exchange(other.storage, nullptr);
    size = std::exchange(other.size, 0);
    capacity = std::exchange(other.capacity, 0);
    allocated_ = std::exchange(other.allocated_, 0);
  }
  return *this;
}

HandleList::~HandleList() { std::free(storage); }

HandleRecord* HandleList::GrowAndAppendSlot() {
  // Doubling in 64 bits shows the overflow the 32-bit size would hide.
  int64_t grown = capacity == 0 ? 1 : 2 * static_cast<int64_t>(size);
  if (grown > kMaxCapacity)
    return nullptr;
  if (grown > allocated_) {
    int64_t needed = AllocationFor(grown);
    auto* bigger = static_cast<HandleRecord*>(growStorage(
        storage, sizeof(HandleRecord) * static_cast<size_t>(needed)));
    if (!bigger)
      return nullptr;
    storage = bigger;
    allocated_ = static_cast<int32_t>(needed);
  }
  std::memset(storage + capacity, 0,
              sizeof(HandleRecord) * static_cast<size_t>(grown - capacity));
  capacity = static_cast<int32_t>(grown);
  return &storage[size++];
}

void HandleList::Reserve(int32_t records) {
  // Storage for the capacity that doubling reaches to hold them.
  int64_t wanted = capacity == 0 ? 1 : capacity;
  while (wanted < records && 2 * wanted <= kMaxCapacity)
    wanted *= 2;
  if (wanted <= allocated_)
    return;
  auto* bigger = static_cast<HandleRecord*>(
      growStorage(storage, sizeof(HandleRecord) * static_cast<size_t>(wanted)));
  if (!bigger)
    return;
  storage = bigger;
  allocated_ = static_cast<int32_t>(wanted);
}

int32_t HandleList::Room() const {
  // The largest capacity doubling reaches within the storage.
  int64_t room = capacity;
  for (int64_t next = capacity == 0 ? 1 : 2 * int64_t{capacity};
       next <= allocated_; next *= 2)
    room = next;
  return room > size ? static_cast<int32_t>(room) : size;
}

void HandleList::TakeWritten(int32_t count) {
  size += count;
  int32_t grown = capacity == 0 && size > 0 ? 1 : capacity;
  while (grown < size)
    grown *= 2;
  // The records past the end are zero up to the capacity, as appends leave
  // them; those beyond it are not the list's yet.
  if (grown != size) {
    std::memset(storage + size, 0,
                sizeof(HandleRecord) * static_cast<size_t>(grown - size));
  }
  capacity = grown;
}
