#pragma once
// Report pages drawn with cairo: the text metrics the layout uses and the PDF file, both without
// a display. Fonts are found through pango (fontconfig), so "DejaVu Sans" is the installed
// DejaVu Sans and a missing family falls back as everywhere on the desktop.
//
// Texts are set glyph by glyph at the font's own advances (no kerning, no ligatures, metrics not
// hinted), so a width measured here is exactly the width drawn, at any size and on any page. A
// text with a character the font lacks is measured and drawn by pango instead, which finds a
// font that has it.
#include <filesystem>
#include <memory>
#include <string_view>

#include "report/document.h"
#include "report/layout.h"

typedef struct _cairo cairo_t;

namespace ger::report {

class CairoFonts : public TextMetrics {
 public:
  explicit CairoFonts(std::string family = "DejaVu Sans");
  ~CairoFonts() override;
  CairoFonts(const CairoFonts&) = delete;
  CairoFonts& operator=(const CairoFonts&) = delete;

  double Width(std::string_view text, const FontSpec& font) override;
  double LineHeight(const FontSpec& font) override;

  // Draws the text in its box with the op's alignment; clipped to the box only when it is wider.
  void DrawText(cairo_t* cr, const TextOp& op, const FontSpec& font);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Draws one page's display list.
void DrawPage(cairo_t* cr, const Document& document, const Page& page, CairoFonts& fonts);

// Writes the document as a PDF file through OutputFile (whole or not at all); `progress` is told
// each page. ger::Exception with the user's sentence when the file cannot be written.
void WritePdf(const Document& document, const std::filesystem::path& file,
              const Progress& progress = {});

}  // namespace ger::report
