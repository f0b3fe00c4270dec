// What kestrel makes of a shared-table entry's object type code: the name
// the handle view prints and the category the scan counts it under. The two
// do not follow the same grouping (an "Alt. DC" counts as OtherGDi).
#pragma once

#include <cstdint>

// The eleven per-process counters, in the order of the count view.
enum class ObjectCategory : uint8_t {
  Pen,
  ExtPen,
  Brush,
  Bitmap,
  Font,
  Palette,
  Region,
  DC,
  MetaDC,
  EnhMetaDC,
  OtherGDi,
};
constexpr int kObjectCategoryCount = 11;

// Static display name of a type code; "Unknown" for codes without a name.
const char16_t* ObjectTypeName(uint8_t code);
ObjectCategory CategoryOf(uint8_t code);

struct ProcessRecord;
// The counter of `record` that `category` selects.
int32_t& CategoryCounter(ProcessRecord& record, ObjectCategory category);
