// Text for the HTML report: UTF-16 names made into UTF-8 that is safe inside
// an element or a quoted attribute.
#pragma once

#include <string>
#include <string_view>

// Appends `text` as UTF-8 with &, <, >, " and ' written as references. A lone
// surrogate and a control character other than tab, line feed and carriage
// return become U+FFFD: neither has a place in an HTML document.
void AppendEscaped(std::string& out, std::u16string_view text);
// The same for text that is already UTF-8 (the report's own words).
void AppendEscaped(std::string& out, std::string_view text);
