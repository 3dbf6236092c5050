#include "report/cairo_pages.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cerrno>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "report/output_file.h"

namespace ger::report {

namespace {

// A glyph buffer that cairo may replace with a larger one of its own allocation.
struct Glyphs {
  cairo_glyph_t* glyphs = nullptr;
  int capacity = 0;
  cairo_text_cluster_t* clusters = nullptr;
  int clusterCapacity = 0;
  ~Glyphs() {
    cairo_glyph_free(glyphs);
    cairo_text_cluster_free(clusters);
  }
};

}  // namespace

struct CairoFonts::Impl {
  struct Loaded {
    FontSpec spec;
    PangoFontDescription* description = nullptr;
    PangoFont* font = nullptr;
    cairo_scaled_font_t* scaled = nullptr;  // owned by `font`
    double ascent = 0, height = 0;
  };

  explicit Impl(std::string f) : family(std::move(f)) {
    map = pango_cairo_font_map_new();
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(map), 72);  // sizes in points
    context = pango_font_map_create_context(map);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    layout = pango_layout_new(context);
    // The fallback path must measure as the glyph path draws: no kerning, no ligatures.
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_font_features_new("kern 0, liga 0, clig 0"));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }
  ~Impl() {
    for (Loaded& l : fonts) {
      if (l.font) g_object_unref(l.font);
      pango_font_description_free(l.description);
    }
    g_object_unref(layout);
    g_object_unref(context);
    g_object_unref(map);
  }

  Loaded& Get(const FontSpec& spec) {
    for (Loaded& l : fonts)
      if (l.spec == spec) return l;
    Loaded l;
    l.spec = spec;
    l.description = pango_font_description_new();
    pango_font_description_set_family(l.description, family.c_str());
    pango_font_description_set_size(l.description, static_cast<int>(spec.size * PANGO_SCALE));
    pango_font_description_set_weight(l.description,
                                      spec.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    l.font = pango_font_map_load_font(map, context, l.description);
    if (l.font) l.scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(l.font));
    if (!l.scaled || cairo_scaled_font_status(l.scaled) != CAIRO_STATUS_SUCCESS) {
      pango_font_description_free(l.description);
      if (l.font) g_object_unref(l.font);
      throw Exception("No font \"" + family + "\" can be loaded for the report pages.");
    }
    cairo_font_extents_t e;
    cairo_scaled_font_extents(l.scaled, &e);
    l.ascent = e.ascent;
    l.height = e.height;
    fonts.push_back(l);
    return fonts.back();
  }

  // The glyphs of the text at (x, y); false when the font lacks one of its characters.
  bool ToGlyphs(Loaded& l, std::string_view text, double x, double y, int& count, int& clusterCount,
                cairo_text_cluster_flags_t* flags) {
    count = buffer.capacity;
    clusterCount = buffer.clusterCapacity;
    cairo_glyph_t* glyphs = buffer.glyphs;
    cairo_text_cluster_t* clusters = buffer.clusters;
    const cairo_status_t status = cairo_scaled_font_text_to_glyphs(
        l.scaled, x, y, text.data(), static_cast<int>(text.size()), &glyphs, &count,
        flags ? &clusters : nullptr, flags ? &clusterCount : nullptr, flags);
    if (glyphs != buffer.glyphs) {
      cairo_glyph_free(buffer.glyphs);
      buffer.glyphs = glyphs;
      buffer.capacity = count;
    }
    if (flags && clusters != buffer.clusters) {
      cairo_text_cluster_free(buffer.clusters);
      buffer.clusters = clusters;
      buffer.clusterCapacity = clusterCount;
    }
    if (status != CAIRO_STATUS_SUCCESS) return false;
    for (int i = 0; i < count; ++i)
      if (buffer.glyphs[i].index == 0) return false;
    return true;
  }

  double PangoWidth(Loaded& l, std::string_view text) {
    pango_layout_set_font_description(layout, l.description);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return static_cast<double>(logical.width) / PANGO_SCALE;
  }

  std::string family;
  PangoFontMap* map = nullptr;
  PangoContext* context = nullptr;
  PangoLayout* layout = nullptr;
  std::vector<Loaded> fonts;
  Glyphs buffer;
};

CairoFonts::CairoFonts(std::string family) : impl_(std::make_unique<Impl>(std::move(family))) {}
CairoFonts::~CairoFonts() = default;

double CairoFonts::Width(std::string_view text, const FontSpec& font) {
  if (text.empty()) return 0;
  Impl::Loaded& l = impl_->Get(font);
  int count = 0, clusters = 0;
  if (!impl_->ToGlyphs(l, text, 0, 0, count, clusters, nullptr)) return impl_->PangoWidth(l, text);
  cairo_text_extents_t e;
  cairo_scaled_font_glyph_extents(l.scaled, impl_->buffer.glyphs, count, &e);
  return e.x_advance;
}

double CairoFonts::LineHeight(const FontSpec& font) {
  return impl_->Get(font).height;
}

void CairoFonts::DrawText(cairo_t* cr, const TextOp& op, const FontSpec& font) {
  if (op.text.empty()) return;
  Impl::Loaded& l = impl_->Get(font);
  const double width = Width(op.text, font);
  double x = op.x;
  if (op.align == Align::Right) x = op.x + op.width - width;
  if (op.align == Align::Center) x = op.x + (op.width - width) / 2;
  const bool clip = width > op.width + 0.01;
  if (clip) {
    cairo_save(cr);
    cairo_rectangle(cr, op.x, op.y, op.width, op.height);
    cairo_clip(cr);
    x = op.x;
  }
  const double baseline = op.y + l.ascent;
  int count = 0, clusters = 0;
  cairo_text_cluster_flags_t flags{};
  if (impl_->ToGlyphs(l, op.text, x, baseline, count, clusters, &flags)) {
    cairo_set_scaled_font(cr, l.scaled);
    cairo_show_text_glyphs(cr, op.text.data(), static_cast<int>(op.text.size()),
                           impl_->buffer.glyphs, count, impl_->buffer.clusters, clusters, flags);
  } else {
    PangoLayout* layout = impl_->layout;
    pango_layout_set_font_description(layout, l.description);
    pango_layout_set_text(layout, op.text.data(), static_cast<int>(op.text.size()));
    const double layoutBaseline =
        static_cast<double>(pango_layout_get_baseline(layout)) / PANGO_SCALE;
    cairo_move_to(cr, x, baseline - layoutBaseline);
    pango_cairo_show_layout(cr, layout);
  }
  if (clip) cairo_restore(cr);
}

void DrawPage(cairo_t* cr, const Document& document, const Page& page, CairoFonts& fonts) {
  for (const Op& op : page.ops) {
    if (const auto* t = std::get_if<TextOp>(&op)) {
      cairo_set_source_rgb(cr, 0, 0, 0);
      fonts.DrawText(cr, *t, document.fonts.at(static_cast<std::size_t>(t->font)));
    } else if (const auto* line = std::get_if<LineOp>(&op)) {
      cairo_set_source_rgb(cr, 0, 0, 0);
      cairo_set_line_width(cr, line->width);
      cairo_move_to(cr, line->x1, line->y1);
      cairo_line_to(cr, line->x2, line->y2);
      cairo_stroke(cr);
    } else if (const auto* fill = std::get_if<FillOp>(&op)) {
      cairo_set_source_rgb(cr, fill->gray, fill->gray, fill->gray);
      cairo_rectangle(cr, fill->x, fill->y, fill->width, fill->height);
      cairo_fill(cr);
    }
  }
}

namespace {

// cairo's output stream into the file; the first failure is kept for the message.
struct Sink {
  OutputFile* file;
  std::exception_ptr error;
};

cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length) {
  auto* sink = static_cast<Sink*>(closure);
  if (sink->error) return CAIRO_STATUS_WRITE_ERROR;
  try {
    sink->file->Write(std::string_view(reinterpret_cast<const char*>(data), length));
  } catch (...) {
    sink->error = std::current_exception();
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

void WritePdf(const Document& document, const std::filesystem::path& file,
              const Progress& progress) {
  OutputFile out(file);
  Sink sink{&out, nullptr};
  CairoFonts fonts(document.family);
  cairo_surface_t* surface =
      cairo_pdf_surface_create_for_stream(WriteToFile, &sink, document.width, document.height);
  cairo_t* cr = cairo_create(surface);
  struct Release {
    cairo_surface_t* s;
    cairo_t* c;
    ~Release() {
      cairo_destroy(c);
      cairo_surface_destroy(s);
    }
  } release{surface, cr};
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, document.title.c_str());
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "Gerenciador Empresarial");
  const int pages = static_cast<int>(document.pages.size());
  for (int p = 0; p < pages; ++p) {
    if (progress) progress(p, pages);
    DrawPage(cr, document, document.pages[static_cast<std::size_t>(p)], fonts);
    cairo_show_page(cr);
    if (sink.error) std::rethrow_exception(sink.error);
  }
  if (progress) progress(pages, pages);
  cairo_surface_finish(surface);
  if (sink.error) std::rethrow_exception(sink.error);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) out.Fail(EIO);
  out.Commit();
}

}  // namespace ger::report
