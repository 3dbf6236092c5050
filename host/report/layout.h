#pragma once
// Pagination of a report table onto A4 pages.
//
// Every page starts with the same header: the title and the emission date and time
// ("Emissão: 08/12/2025 às 14:30") on the first line, the report code and "Página N de M" on the
// second, then the column titles on a grey band. Rows follow in the table's order; a row never
// splits across pages. A text wider than its column wraps at blanks (a word longer than the
// column breaks inside) up to the column's line count, and its last line is cut with "…";
// columns with "ellipsis" keep one line. Groups start with a band "Label: value" that is never
// left alone at the foot of a page. The last row is followed by the number of rows. With no rows
// the one page says so under the header.
//
// The columns' widths are the definition's shares of the printable width. Orientation "auto"
// chooses portrait when the shares fit its printable width as given, landscape otherwise.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/value.h"
#include "report/document.h"
#include "report/table.h"

namespace ger::report {

// Text measurement of the font that will draw the pages.
class TextMetrics {
 public:
  virtual ~TextMetrics() = default;
  // Advance width of the text, in points.
  virtual double Width(std::string_view text, const FontSpec& font) = 0;
  // Distance between two baselines, in points.
  virtual double LineHeight(const FontSpec& font) = 0;
};

// Told how far a long task has come; it may raise (the user cancelled) to end the task.
using Progress = std::function<void(int done, int total)>;

Document Layout(const Definition& definition, const Table& table, DateTime emitted,
                TextMetrics& metrics, const Progress& progress = {});

// The lines of a text in a box `width` wide: wrapped at blanks and line breaks, words wider than
// the box broken, at most `maxLines` lines, the last one cut with "…" when text is left over.
std::vector<std::string> WrapText(std::string_view text, double width, int maxLines,
                                  const FontSpec& font, TextMetrics& metrics);
// The text, or its longest beginning followed by "…" that fits the width.
std::string Ellipsize(std::string_view text, double width, const FontSpec& font,
                      TextMetrics& metrics);

// "Emissão: 08/12/2025 às 14:30".
std::string EmissionText(DateTime emitted);
// "Página 3 de 12".
std::string PageText(int page, int pages);

}  // namespace ger::report
