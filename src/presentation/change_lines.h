// A watch's changes as the text view prints them, for the text report and
// the HTML page's changes.
#pragma once

#include <cstddef>
#include <string>

#include "presentation/handle_line.h"
#include "watch/changes.h"

// Appends a change's lines as the text view prints them, but for its
// handles':
//   Changed: "% 6d  %-28s  GDI Total OLD -> NEW (+D)  GDI All OLD -> NEW
//     (+D)", and under -c "        Bitmap +6  DC +6", the categories that
//     changed;
//   Started: "...  started  GDI Total N  GDI All N", under -c its non-zero
//     categories;
//   Exited: "...  exited".
void AppendProcessChange(std::u16string& text, const ProcessChange& change,
                         bool showCounts);

// The most bytes of a handle change's line, newline included.
constexpr size_t kHandleChangeLineBytes = 10 + kHandleLineBytes + 1;

// Writes "        + HANDLE LINE\n" (or "-") at `at`, all ASCII; returns the
// end of it.
char* FormatHandleChange(char* at, const HandleChange& change);
