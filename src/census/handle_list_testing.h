// What the handle list's tests reach that the program never needs.
#pragma once

#include <cstddef>

// Makes the lists grow their storage with `reallocate` (realloc's contract),
// so that a test can stage memory running out; null restores realloc.
void SetHandleListGrowthForTesting(void* (*reallocate)(void*, size_t));
