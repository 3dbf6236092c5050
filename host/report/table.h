#pragma once
// The rows of a report as texts: the data sorted and grouped by the definition, each cell put
// through its column's format. The pages (layout.h) and the spreadsheet file (csv.h) are both
// made from this one table, so they always hold the same rows.
//
// Formats (a column's "format"), each a handler in one registry:
//   text          the value as text (numbers with decimal comma, dates dd/mm/yyyy); the empty-text
//                 placeholder "*" shows blank
//   join          the non-empty texts of its fields joined by the column's separator
//                 ("São Paulo" and "SP" with "/" → "São Paulo/SP")
//   registration  a legal registration number (first field) shown under the mask of its person
//                 type (second field), as the company screen shows it: "11.222.333/0001-81"; a
//                 number that does not fill its mask is shown as stored
//   number        a number under the column's display format ("#,##0.00"); right-aligned
//   date          dd/mm/yyyy
//   flag          "S" → "Sim", "N" → "Não"
#include <functional>
#include <string>
#include <vector>

#include "data/packet.h"
#include "report/definition.h"

namespace ger::report {

struct Cell {
  std::string text;  // as printed
  std::string csv;   // as a spreadsheet should read it: numbers without thousands separators
};

struct TableRow {
  std::vector<Cell> cells;
  std::string group;  // the group's value text, when the definition groups
};

struct Table {
  std::vector<std::string> titles;
  std::vector<TableRow> rows;
};

// Fields a format takes: a count, -1 for one or more, 0 when the format is unknown.
int FormatFieldCount(const std::string& format);
std::string DefaultAlign(const std::string& format);

// Sorted by the group value first, then by the definition's order (texts compared without
// regard to case and accents, numbers and dates by value, empty values first); rows that compare
// equal keep the order of the data. A field the data lacks raises ger::Exception naming it.
Table BuildTable(const Definition& definition, const DataPacket& data);

}  // namespace ger::report
