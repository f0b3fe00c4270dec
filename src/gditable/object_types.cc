#include "gditable/object_types.h"

#include <array>

namespace {

constexpr ObjectType kUnknown = {u"Unknown", ObjectCategory::OtherGDi};

struct NamedType {
  uint8_t code;
  ObjectType type;
};

constexpr NamedType kNamedTypes[] = {
    {1, {u"DC", ObjectCategory::DC}},
    {4, {u"Region", ObjectCategory::Region}},
    {5, {u"Bitmap", ObjectCategory::Bitmap}},
    {6, {u"Client Object", ObjectCategory::OtherGDi}},
    {8, {u"Palette", ObjectCategory::Palette}},
    {10, {u"Font", ObjectCategory::Font}},
    {16, {u"Brush", ObjectCategory::Brush}},
    {33, {u"Alt. DC", ObjectCategory::OtherGDi}},
    {37, {u"DIB Section", ObjectCategory::Bitmap}},
    {38, {u"Metafile", ObjectCategory::OtherGDi}},
    {48, {u"Pen", ObjectCategory::Pen}},
    {70, {u"Enhanced Metafile", ObjectCategory::EnhMetaDC}},
    {80, {u"ExtPen", ObjectCategory::ExtPen}},
    {102, {u"Metafile DC", ObjectCategory::MetaDC}},
};

constexpr std::array<ObjectType, 256> BuildTypeTable() {
  std::array<ObjectType, 256> table = {};
  for (ObjectType& type : table)
    type = kUnknown;
  for (const NamedType& named : kNamedTypes)
    table[named.code] = named.type;
  return table;
}

constexpr std::array<uint8_t, 128> BuildBaseTable() {
  std::array<uint8_t, 128> bases = {};
  for (const NamedType& named : kNamedTypes) {
    // A base of 0 would read as a free entry; no named code has one.
    if (named.code < 128)
      bases[named.code] = static_cast<uint8_t>(named.code & 0x1F);
  }
  return bases;
}

}  // namespace

const std::array<ObjectType, 256> kObjectTypes = BuildTypeTable();
const std::array<uint8_t, 128> kBaseOfNamedType = BuildBaseTable();
