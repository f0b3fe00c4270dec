// A table of text, as the report's tables come from the text views.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TextTable {
  std::vector<std::u16string> headers;
  // Columns of numbers, aligned right; columns past its end align left.
  std::vector<bool> numeric;
  std::vector<std::vector<std::u16string>> rows;
};

// Appends `table` as a <table> in a box of its own that scrolls sideways
// when the page is narrower than the table; each body row is a <tr class=ROWCLASS>, so
// that its rows can be counted.
void AppendTable(std::string& out, const TextTable& table,
                 std::string_view rowClass);

// AppendTable's parts, for a table written a row at a time: its box and
// header row, a body row of cells, and its end.
void AppendTableStart(std::string& out, const TextTable& table);
void AppendTableRow(std::string& out, const TextTable& table,
                    const std::vector<std::u16string>& row,
                    std::string_view rowClass);
void AppendTableEnd(std::string& out);
