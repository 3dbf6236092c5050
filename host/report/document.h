#pragma once
// The pages of a report as a display list: texts, lines and grey boxes at fixed places, in points
// (1/72 inch) from the page's top left corner. The layout (layout.h) makes it once; the PDF writer
// (cairo_pages.h) and the desktop shell's preview and printer draw the same list, so the three
// never disagree about what lies where.
//
// A text fits its box by construction: the layout has already wrapped or cut it with the metrics
// of the document's font. A drawing back-end aligns it inside the box with its own metrics and
// must clip it to the box, so a back-end whose font measures a hair wider never overprints the
// neighbouring column.
#include <string>
#include <variant>
#include <vector>

#include "report/definition.h"

namespace ger::report {

struct FontSpec {
  double size = 7.5;  // points
  bool bold = false;
  bool operator==(const FontSpec&) const = default;
};

struct TextOp {
  double x = 0, y = 0, width = 0, height = 0;  // the box; y is its top
  std::string text;
  int font = 0;  // index into Document::fonts
  Align align = Align::Left;
};

struct LineOp {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  double width = 0.5;
};

struct FillOp {
  double x = 0, y = 0, width = 0, height = 0;
  double gray = 0.9;  // 0 black, 1 white
};

using Op = std::variant<TextOp, LineOp, FillOp>;

struct Page {
  std::vector<Op> ops;
};

struct Document {
  std::string code, title;
  double width = 0, height = 0;  // points; landscape when width > height
  std::string family = "DejaVu Sans";
  std::vector<FontSpec> fonts;
  std::vector<Page> pages;
  bool Landscape() const { return width > height; }
};

// A4 in points.
inline constexpr double kA4Short = 595.2756;
inline constexpr double kA4Long = 841.8898;
inline constexpr double kPointsPerMm = 72.0 / 25.4;

}  // namespace ger::report
