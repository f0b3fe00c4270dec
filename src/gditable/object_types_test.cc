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

}  // namespace
