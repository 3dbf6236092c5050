#pragma once
// A report definition: what a report shows and how, kept as a JSON file named after the report
// code ("Ger002.json"), so that a new report is a new file for the host, not new code.
//
//   {"code": "Ger900", "title": "Cidades",
//    "source": {"object": "GER00900.rdmCidade", "method": "GetCidade", "params": []},
//    "orientation": "auto", "margin": 10, "font": 7.5,
//    "order": ["CDCIDADE"],
//    "group": {"label": "Estado", "field": "SGESTADO"},
//    "empty": "Não há cidades para listar.",
//    "columns": [{"title": "Código", "field": "CDCIDADE", "width": 12}, ...]}
//
// Columns: "title"; "field" (one column of the data) or "fields" (several, for formats that need
// more than one); "format" (see table.h; "text" when absent); "width" in millimetres, a share of
// the printable width: the columns are widened or narrowed together to fill it exactly;
// "align" "left", "right" or "center"; "overflow" "wrap" (up to "lines" lines, 3 by default, the
// last one cut with an ellipsis) or "ellipsis" (one line); "separator" for "join"; "display"
// for "number" (a display format such as "#,##0.00").
// Orientation "auto" takes portrait when the columns' widths fit its printable width and
// landscape otherwise. "order" lists the sort fields, a leading "-" for descending order.
//
// Parsing checks everything a layout relies on and raises ger::Exception with an English sentence
// for operators naming the file and what is wrong: a broken definition is an installation fault.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ger::report {

enum class Align { Left, Right, Center };
enum class Overflow { Wrap, Ellipsis };
enum class Orientation { Auto, Portrait, Landscape };

struct ColumnDef {
  std::string title;
  std::vector<std::string> fields;
  std::string format = "text";
  double width = 20;  // millimetres, before fitting
  Align align = Align::Left;
  Overflow overflow = Overflow::Wrap;
  int lines = 3;
  std::string separator = " ";
  std::string display;
};

struct SortKey {
  std::string field;
  bool descending = false;
};

// Rows with the same value of the group column are printed together under a band
// "label: value"; the groups come in the order of their values.
struct GroupDef {
  std::string label;
  ColumnDef value;
};

struct SourceDef {
  std::string object;  // the server's remote data module
  std::string method;
  std::vector<std::string> params;
};

struct Definition {
  std::string code;
  std::string title;
  SourceDef source;
  Orientation orientation = Orientation::Auto;
  double margin = 10;     // millimetres on every side
  double fontSize = 7.5;  // points, of the rows; titles are set larger
  std::vector<SortKey> order;
  std::optional<GroupDef> group;
  std::string empty;  // the line shown when there is nothing to list
  std::vector<ColumnDef> columns;
};

// `origin` names the file in error messages.
Definition ParseDefinition(std::string_view json, const std::string& origin = "definition");
Definition LoadDefinition(const std::filesystem::path& file);

// The file of a report code in the first folder that has one ("<code>.json"); nothing when none
// has. Codes are file names: a code with a path separator or a dot finds nothing.
std::optional<std::filesystem::path> FindDefinition(const std::string& code,
                                                    const std::vector<std::filesystem::path>& dirs);

}  // namespace ger::report
