#include "gditable/object_types.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct NamedType {
  int code;
  const char16_t* name;
  ObjectCategory category;
};

// Every code that has a name of its own. The name and the category do not
// always agree: an "Alt. DC" or a "Metafile" is counted as OtherGDi, a
// "DIB Section" as a Bitmap, and the metafile DCs under the metafile columns.
const NamedType kNamedTypes[] = {
    {1, u"DC", ObjectCategory::DC},
    {4, u"Region", ObjectCategory::Region},
    {5, u"Bitmap", ObjectCategory::Bitmap},
    {6, u"Client Object", ObjectCategory::OtherGDi},
    {8, u"Palette", ObjectCategory::Palette},
    {10, u"Font", ObjectCategory::Font},
    {16, u"Brush", ObjectCategory::Brush},
    {33, u"Alt. DC", ObjectCategory::OtherGDi},
    {37, u"DIB Section", ObjectCategory::Bitmap},
    {38, u"Metafile", ObjectCategory::OtherGDi},
    {48, u"Pen", ObjectCategory::Pen},
    {70, u"Enhanced Metafile", ObjectCategory::EnhMetaDC},
    {80, u"ExtPen", ObjectCategory::ExtPen},
    {102, u"Metafile DC", ObjectCategory::MetaDC},
};

TEST(ObjectTypesTest, NamedCodes) {
  for (const NamedType& type : kNamedTypes) {
    SCOPED_TRACE(type.code);
    uint8_t code = static_cast<uint8_t>(type.code);
    EXPECT_EQ(std::u16string(type.name), ObjectTypeName(code));
    EXPECT_EQ(type.category, CategoryOf(code));
  }
}

TEST(ObjectTypesTest, EveryOtherCodeIsUnknown) {
  std::set<int> named;
  for (const NamedType& type : kNamedTypes)
    named.insert(type.code);
  // Code 0 marks a free entry and never reaches the lookups; it still has to
  // be answered safely.
  for (int code = 0; code < 256; ++code) {
    if (named.count(code))
      continue;
    SCOPED_TRACE(code);
    EXPECT_EQ(std::u16string(u"Unknown"),
              ObjectTypeName(static_cast<uint8_t>(code)));
    EXPECT_EQ(ObjectCategory::OtherGDi, CategoryOf(static_cast<uint8_t>(code)));
  }
}

// The type code of an entry from its type byte and the handle's upper word,
// as Windows and Wine write them, then as the rule leaves them.
TEST(ObjectTypesTest, TypeCodeOf) {
  const struct {
    const char* what;
    uint16_t unique;
    uint8_t typeByte;
    uint8_t code;
  } kCases[] = {
      {"pen", 0x0130, 0x10, 48},
      {"brush", 0x0110, 0x10, 16},
      {"extended pen", 0x0250, 0x10, 80},
      {"metafile DC", 0x0166, 0x06, 102},
      {"enhanced metafile DC", 0x0121, 0x01, 33},
      {"metafile", 0x0226, 0x06, 38},
      {"enhanced metafile", 0x0146, 0x06, 70},
      {"memory DC: full type 0x41 has no name", 0x0741, 0x01, 1},
      {"stock brush: bit 7 is no part of the type", 0x0190, 0x10, 16},
      {"type byte with upper bits", 0x0110, 0x30, 48},
      {"type byte with upper bits, no name", 0x0130, 0x7F, 0x7F},
      {"full type of another base", 0x0166, 0x10, 16},
      {"free entry", 0x0130, 0x00, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    platform::GdiTableEntry entry = {};
    entry.unique = c.unique;
    entry.typeCode = c.typeByte;
    EXPECT_EQ(c.code, TypeCodeOf(entry));
  }
}

}  // namespace
