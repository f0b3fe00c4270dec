// The frame of a report document: HTML5 in UTF-8 with its style sheet and
// tooltip script inline, so that it needs nothing beside itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Appends the doctype, the head (title, style) and the opening of the body
// with `title` as its heading.
void AppendDocumentStart(std::string& out, std::string_view title);

// Appends the tooltip script and closes the body and the document. The
// charts show without the script; it only adds values under the pointer.
void AppendDocumentEnd(std::string& out);
// The bytes AppendDocumentEnd appends.
size_t DocumentEndBytes();
