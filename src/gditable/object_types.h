// What kestrel makes of a shared-table entry's object type code: the name
// the handle view prints and the category the scan counts it under. The two
// do not follow the same grouping (an "Alt. DC" counts as OtherGDi).
#pragma once

#include <array>
#include <cstdint>

// The categories a process's objects are counted under, in the order of the
// count view's columns; they index a process record's counters.
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

// The categories' names, as the count view's columns head them.
inline constexpr const char* kObjectCategoryNames[kObjectCategoryCount] = {
    "Pen",    "ExtPen", "Brush",  "Bitmap",    "Font",    "Palette",
    "Region", "DC",     "MetaDC", "EnhMetaDC", "OtherGDi"};

// The index of `category` among a process record's counters.
constexpr int IndexOf(ObjectCategory category) {
  return static_cast<int>(category);
}

struct ObjectType {
  const char16_t* name;
  ObjectCategory category;
};

// Indexed by the full 8-bit code, so that any byte is a valid index; the
// scan looks every used entry up here.
extern const std::array<ObjectType, 256> kObjectTypes;

// Static display name of a type code; "Unknown" for codes without a name.
inline const char16_t* ObjectTypeName(uint8_t code) {
  return kObjectTypes[code].name;
}

inline ObjectCategory CategoryOf(uint8_t code) {
  return kObjectTypes[code].category;
}
