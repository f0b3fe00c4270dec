#include "gditable/object_types.h"

#include <array>

#include "census/process_record.h"

namespace {

struct TypeInfo {
  const char16_t* name;
  ObjectCategory category;
};

constexpr TypeInfo kUnknown = {u"Unknown", ObjectCategory::OtherGDi};

// Indexed by the full 8-bit code, so any byte is a valid index.
constexpr std::array<TypeInfo, 256> BuildTypeTable() {
  std::array<TypeInfo, 256> table = {};
  for (TypeInfo& info : table)
    info = kUnknown;
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

constexpr std::array<TypeInfo, 256> kTypes = BuildTypeTable();

}  // namespace

const char16_t* ObjectTypeName(uint8_t code) { return kTypes[code].name; }

ObjectCategory CategoryOf(uint8_t code) { return kTypes[code].category; }

int32_t& CategoryCounter(ProcessRecord& record, ObjectCategory category) {
  switch (category) {
    case ObjectCategory::Pen: return record.Pen;
    case ObjectCategory::ExtPen: return record.ExtPen;
    case ObjectCategory::Brush: return record.Brush;
    case ObjectCategory::Bitmap: return record.Bitmap;
    case ObjectCategory::Font: return record.Font;
    case ObjectCategory::Palette: return record.Palette;
    case ObjectCategory::Region: return record.Region;
    case ObjectCategory::DC: return record.DC;
    case ObjectCategory::MetaDC: return record.MetaDC;
    case ObjectCategory::EnhMetaDC: return record.EnhMetaDC;
    case ObjectCategory::OtherGDi: break;
  }
  return record.OtherGDi;
}
