// One process that owns GDI objects, with what the census and the scan
// learnt about it.
#pragma once

#include <cstdint>
#include <type_traits>

#include "census/handle_list.h"
#include "census/object_categories.h"

// The plain fields of a process record: copied as one block.
struct ProcessFields {
  uint32_t pid = 0;
  char16_t exeName[260] = {};  // NUL-terminated
  int32_t guiObjectCount = 0;  // what GetGuiResources reported
  // GetGuiResources' other counts, asked for only where a machine-readable
  // document is: USER objects and the peaks of both.
  uint32_t gdiPeakCount = 0;
  uint32_t userObjectCount = 0;
  uint32_t userPeakCount = 0;
  int32_t entryCount = 0;  // shared-table entries attributed to it
  // Entries counted whose handles could not be kept: the list could not
  // grow.
  int32_t unlistedHandles = 0;
  // One counter per object category (Pen ... OtherGDi), in the order of the
  // count view's columns.
  int32_t categoryCounts[kCategoryCount] = {};
};
static_assert(std::is_trivially_copyable<ProcessFields>::value,
              "the plain fields copy as one block");

struct ProcessRecord : ProcessFields {
  HandleList handles;  // in table order
};
