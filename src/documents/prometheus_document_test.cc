#include "documents/prometheus_document.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LabelCase {
  std::u16string name;
  std::string quoted;
};

TEST(AppendLabelValueTest, EscapesWhatTheFormatAsksAndNothingElse) {
  const LabelCase cases[] = {
      {u"notepad.exe", "\"notepad.exe\""},
      {u"a\\b\"c\nd", "\"a\\\\b\\\"c\\nd\""},
      // Other control characters and braces stand as they are.
      {u"\t\r{},=#", "\"\t\r{},=#\""},
      {u"\u5FAE\u4FE1\U0001F600",
       "\"\xE5\xBE\xAE\xE4\xBF\xA1\xF0\x9F\x98\x80\""},
      // Lone surrogates, high and low, at the end and inside.
      {u"x\xD800", "\"x\xEF\xBF\xBD\""},
      {u"\xDC00y", "\"\xEF\xBF\xBDy\""},
      {u"", "\"\""},
  };
  for (const LabelCase& c : cases) {
    std::string out;
    AppendLabelValue(out, c.name.data(), c.name.size());
    EXPECT_EQ(out, c.quoted);
  }
}

}  // namespace
