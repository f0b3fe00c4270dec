// The categories a process's GDI objects are counted under: their order,
// count and names, the one copy every view and document reads.
#pragma once

#include <cstdint>

constexpr int kCategoryCount = 11;

// In the order of the count view's columns; they index a process record's
// counters.
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

// The categories' names, as the count view's columns head them.
inline constexpr const char* kObjectCategoryNames[kCategoryCount] = {
    "Pen",    "ExtPen", "Brush",  "Bitmap",    "Font",    "Palette",
    "Region", "DC",     "MetaDC", "EnhMetaDC", "OtherGDi"};

// The index of `category` among a process record's counters.
constexpr int IndexOf(ObjectCategory category) {
  return static_cast<int>(category);
}
