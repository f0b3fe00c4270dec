#include "gditable/object_types.h"

#include <array>

namespace {

constexpr ObjectType kUnknown = {u"Unknown", ObjectCategory::OtherGDi};

constexpr std::array<ObjectType, 256> BuildTypeTable() {
  std::array<ObjectType, 256> table = {};
  for (ObjectType& type : table)
    type = kUnknown;
  table[1] = {u"DC", ObjectCategory::DC};
  table[4] = {u"Region", ObjectCategory::Region};
  table[5] = {u"Bitmap", ObjectCategory::Bitmap};
  table[6] = {u"Client Object", ObjectCategory::OtherGDi};
  table[8] = {u"Palette", ObjectCategory::Palette};
  table[10] = {u"Font", ObjectCategory::Font};
  table[16] = {u"Brush", ObjectCategory::Brush};
  table[33] = {u"Alt. DC", ObjectCategory::OtherGDi};
  table[37] = {u"DIB Section", ObjectCategory::Bitmap};
  table[38] = {u"Metafile", ObjectCategory::OtherGDi};
  table[48] = {u"Pen", ObjectCategory::Pen};
  table[70] = {u"Enhanced Metafile", ObjectCategory::EnhMetaDC};
  table[80] = {u"ExtPen", ObjectCategory::ExtPen};
  table[102] = {u"Metafile DC", ObjectCategory::MetaDC};
  return table;
}

}  // namespace

const std::array<ObjectType, 256> kObjectTypes = BuildTypeTable();
