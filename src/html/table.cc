#include "html/table.h"

#include "html/escape.h"

namespace {

void AppendCell(std::string& out, const TextTable& table, size_t column,
                const char* tag, std::u16string_view text) {
  out += '<';
  out += tag;
  if (column < table.numeric.size() && table.numeric[column])
    out += " class=\"number\"";
  out += '>';
  AppendEscaped(out, text);
  out += "</";
  out += tag;
  out += '>';
}

}  // namespace

void AppendTableStart(std::string& out, const TextTable& table) {
  out += "<div class=\"table-box\"><table>\n<thead><tr>";
  for (size_t column = 0; column < table.headers.size(); ++column)
    AppendCell(out, table, column, "th", table.headers[column]);
  out += "</tr></thead>\n<tbody>\n";
}

void AppendTableRow(std::string& out, const TextTable& table,
                    const std::vector<std::u16string>& row,
                    std::string_view rowClass) {
  out += "<tr class=\"";
  out += rowClass;
  out += "\">";
  for (size_t column = 0; column < row.size(); ++column)
    AppendCell(out, table, column, "td", row[column]);
  out += "</tr>\n";
}

void AppendTableEnd(std::string& out) { out += "</tbody>\n</table></div>\n"; }

void AppendTable(std::string& out, const TextTable& table,
                 std::string_view rowClass) {
  AppendTableStart(out, table);
  for (const std::vector<std::u16string>& row : table.rows)
    AppendTableRow(out, table, row, rowClass);
  AppendTableEnd(out);
}
