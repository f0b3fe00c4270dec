#include "output/format_policy.h"

#include <iterator>
#include <string_view>

namespace {

// The text view, the HTML page and a CSV watch's growth rows measure a
// watch's processes against their quota; the documents carry every count,
// CSV all but the session's.
// One row a format, its columns aligned.
// clang-format off
const FormatPolicy kPolicies[] = {
  // format                   word           banner keepsLF perSample whole -v    incomplete
  //                          single: all, session, quota, changes
  //                          watch:  all, session, quota, changes, charts
  {OutputFormat::Text,       u"text",       true,  false,  false,    false, true,  true,
                             {false, false, false, false},
                             {false, false, true,  true}},
  {OutputFormat::Csv,        u"csv",        false, false,  false,    false, true,  false,
                             {true,  false, false, false},
                             {true,  false, true,  false}},
  {OutputFormat::Json,       u"json",       false, false,  false,    false, true,  false,
                             {true,  true,  true,  false},
                             {true,  true,  true,  false}},
  {OutputFormat::Html,       u"html",       false, false,  false,    true,  true,  false,
                             {false, false, false, false},
                             {false, false, true,  true,  true}},
  {OutputFormat::Prometheus, u"prometheus", false, true,   true,     false, false, false,
                             {true,  true,  true,  false},
                             {true,  true,  true,  false}},
  {OutputFormat::Live,       u"live",       false, false,  false,    false, false, false,
                             {false, false, false, false},
                             {false, false, true,  false}},
  {OutputFormat::Junit,      u"junit",      false, false,  false,    true,  false, false,
                             {false, false, false, false},
                             {false, false, true,  false}},
};
// clang-format on

}  // namespace

const FormatPolicy& PolicyOf(OutputFormat format) {
  for (const FormatPolicy& policy : kPolicies) {
    if (policy.format == format)
      return policy;
  }
  return kPolicies[0];
}

const FormatPolicy* FormatPolicies::begin() const {
  return std::begin(kPolicies);
}

const FormatPolicy* FormatPolicies::end() const { return std::end(kPolicies); }

const FormatPolicy* PolicyNamed(const char16_t* word, size_t length) {
  for (const FormatPolicy& policy : kPolicies) {
    if (std::u16string_view(policy.word) == std::u16string_view(word, length))
      return &policy;
  }
  return nullptr;
}
