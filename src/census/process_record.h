// One process that owns GDI objects, with what the census and the scan
// learnt about it.
#pragma once

#include <cstdint>
#include <type_traits>

#include "census/handle_list.h"

// The plain fields of a process record: copied as one block.
struct ProcessFields {
  uint32_t pid = 0;
  char16_t exeName[260] = {};  // NUL-terminated
  int32_t guiObjectCount = 0;  // what GetGuiResources reported
  int32_t entryCount = 0;      // shared-table entries attributed to it
  // One counter per ObjectCategory, in the order of the count view.
  int32_t Pen = 0;
  int32_t ExtPen = 0;
  int32_t Brush = 0;
  int32_t Bitmap = 0;
  int32_t Font = 0;
  int32_t Palette = 0;
  int32_t Region = 0;
  int32_t DC = 0;
  int32_t MetaDC = 0;
  int32_t EnhMetaDC = 0;
  int32_t OtherGDi = 0;
};
static_assert(std::is_trivially_copyable<ProcessFields>::value,
              "the plain fields copy as one block");

struct ProcessRecord : ProcessFields {
  HandleList handles;  // in table order
};
