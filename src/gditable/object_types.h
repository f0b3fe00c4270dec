// What kestrel makes of a shared-table entry's object type code: the name
// the handle view prints and the category the scan counts it under. The two
// do not follow the same grouping (an "Alt. DC" counts as OtherGDi).
#pragma once

#include <array>
#include <cstdint>

#include "census/object_categories.h"
#include "platform/gdi_table_layout.h"

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

// For each full type (the low seven bits of a handle's upper word) that
// kObjectTypes names, its base type (its low five bits); 0 for the others.
extern const std::array<uint8_t, 128> kBaseOfNamedType;

// The type code of a used entry, which its name, category and the -f filter
// go by. Windows writes only the base type in the type byte (1 DC, 4 region,
// 5 bitmap, 6 client object, 8 palette, 0x0A font, 0x10 brush) and the full
// type in the low seven bits of `unique`, the handle's upper word (bit 7
// marks a stock object, the high byte counts reuses): a pen is 0x10 there
// with full type 0x30. So where the type byte is a bare base type and the
// full type is a named code of that base, the full type is the code. A type
// byte with bits above 0x1F is taken as it is, and 0 still marks a free
// entry.
inline uint8_t TypeCodeOf(const platform::GdiTableEntry& entry) {
  uint8_t type = entry.typeCode;
  uint8_t full = static_cast<uint8_t>(entry.unique & 0x7F);
  return type != 0 && kBaseOfNamedType[full] == type ? full : type;
}
