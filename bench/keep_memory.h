// Makes the allocator keep the memory a benchmark frees.
//
// Iterations free what the previous one built (handle storage, node blocks)
// and build it again. Left alone, glibc hands large freed areas back to the
// system, and every iteration then pays the kernel to fault the same pages
// in again: a cost a single run pays once, and which the baselines (writing
// into memory they already hold) never pay. Keeping the memory measures the
// code under test instead of the page-fault path of this virtual machine.
#pragma once

#include <malloc.h>

inline void KeepFreedMemory() {
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
}
