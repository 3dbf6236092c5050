// Pagination: wrapping and cutting of long texts, page breaks, the header of every page,
// orientation, the empty report and groups — with metrics whose widths are plain to count, and
// with the real fonts for the rule that no text is drawn over another.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/exceptions.h"
#include "report/cairo_pages.h"
#include "report/layout.h"
#include "report/table.h"
#include "report_support.h"

namespace ger::report {
namespace {

using testing::Contains;
using testing::FixedMetrics;
using testing::Packet;
using testing::Texts;

const FontSpec kFont{7.5, false};

TEST(ReportLayout, LongTextsWrapAtBlanksBreakLongWordsAndEndWithAnEllipsis) {
  FixedMetrics m;  // 4 points a character: 40 points hold 10 characters
  EXPECT_EQ(WrapText("curto", 40, 3, kFont, m), std::vector<std::string>{"curto"});
  EXPECT_EQ(WrapText("Comércio de Alimentos", 40, 3, kFont, m),
            (std::vector<std::string>{"Comércio", "de", "Alimentos"}));
  EXPECT_EQ(WrapText("Indústria e Comércio de Alimentos", 40, 3, kFont, m),
            (std::vector<std::string>{"Indústria", "e Comércio", "de Alimen…"}));
  EXPECT_EQ(WrapText("contato@empresaexemplo.com.br", 40, 2, kFont, m),
            (std::vector<std::string>{"contato@em", "presaexem…"}));
  EXPECT_EQ(WrapText("Primeira\n\nSegunda linha", 40, 3, kFont, m),
            (std::vector<std::string>{"Primeira", "Segunda", "linha"}));
  EXPECT_EQ(WrapText("abc def ghi", 40, 1, kFont, m), std::vector<std::string>{"abc def g…"});
  EXPECT_EQ(Ellipsize("+55 (11) 3333-4444 ramal 12", 40, kFont, m), "+55 (11)…");
  EXPECT_EQ(Ellipsize("cabe", 40, kFont, m), "cabe");
  // Each line fits, whatever the text.
  for (const std::string& text : {std::string("a b c d e f g h i j k l m n o p"),
                                  std::string(60, 'x'), std::string("ção ção ção ção ção ção ção")})
    for (const std::string& line : WrapText(text, 40, 4, kFont, m))
      EXPECT_LE(m.Width(line, kFont), 40) << line;
}

Definition ListDef(const std::string& orientation = "auto", double width = 20) {
  return ParseDefinition(R"({"code":"Ger9","title":"Lista","source":{"object":"O","method":"M"},
      "orientation":")" + orientation +
                         R"(","margin":10,"order":["CD"],
      "columns":[{"title":"Código","field":"CD","width":)" +
                         std::to_string(width) + R"(},
                 {"title":"Nome","field":"NM","width":60}]})");
}

DataPacket Rows(int n) {
  std::vector<Row> rows;
  for (int i = 0; i < n; ++i) {
    char code[8];
    std::snprintf(code, sizeof code, "%03d", i);
    rows.push_back({std::string(code), "Empresa " + std::string(code)});
  }
  return Packet({"CD", "NM"}, std::move(rows));
}

TEST(ReportLayout, EveryPageCarriesTheHeaderAndItsNumberOutOfAll) {
  FixedMetrics m;
  const Definition d = ListDef();
  const DateTime emitted = DateTime::FromParts(2025, 3, 7, 9, 5, 30);
  Document doc = Layout(d, BuildTable(d, Rows(200)), emitted, m);
  ASSERT_GT(doc.pages.size(), 2u);
  const int pages = static_cast<int>(doc.pages.size());
  std::vector<std::string> codes;
  for (int p = 0; p < pages; ++p) {
    std::vector<std::string> texts = Texts(doc.pages[static_cast<std::size_t>(p)]);
    EXPECT_TRUE(Contains(texts, "Lista")) << p;
    EXPECT_TRUE(Contains(texts, "Emissão: 07/03/2025 às 09:05")) << p;
    EXPECT_TRUE(Contains(texts, "Ger9")) << p;
    EXPECT_TRUE(Contains(texts, "Código")) << p;
    EXPECT_TRUE(Contains(texts, "Página " + std::to_string(p + 1) + " de " + std::to_string(pages)))
        << p;
    for (const std::string& t : texts)
      if (t.size() == 3 && std::all_of(t.begin(), t.end(), ::isdigit)) codes.push_back(t);
  }
  // Every row once, in order, none lost at a page break.
  ASSERT_EQ(codes.size(), 200u);
  for (int i = 0; i < 200; ++i) {
    char code[8];
    std::snprintf(code, sizeof code, "%03d", i);
    EXPECT_EQ(codes[static_cast<std::size_t>(i)], code);
  }
  EXPECT_TRUE(Contains(Texts(doc.pages.back()), "Total de registros: 200"));
}

TEST(ReportLayout, NothingLiesBelowTheMarginAndNoRowSplits) {
  FixedMetrics m;
  Definition d = ListDef();
  d.columns[1].lines = 3;
  std::vector<Row> rows;
  for (int i = 0; i < 150; ++i)  // names of one, two and three lines
    rows.push_back(
        {std::to_string(1000 + i), std::string(static_cast<std::size_t>(i % 3) * 140 + 5, 'n')});
  Document doc = Layout(d, BuildTable(d, Packet({"CD", "NM"}, rows)), DateTime::Now(), m);
  ASSERT_GT(doc.pages.size(), 2u);
  const double bottom = doc.height - 10 * kPointsPerMm;
  for (const Page& page : doc.pages) {
    std::vector<double> codeY;
    for (const Op& op : page.ops)
      if (const auto* t = std::get_if<TextOp>(&op)) {
        EXPECT_LE(t->y + t->height, bottom + 1e-6) << t->text;
        if (t->text.size() == 4 && t->text[0] == '1') codeY.push_back(t->y);
      }
    // Every line of a name has its row's code above it on the same page, at most two lines up.
    for (const Op& op : page.ops) {
      const auto* t = std::get_if<TextOp>(&op);
      if (!t || t->text.empty() || t->text[0] != 'n') continue;
      double above = -1e9;
      for (double y : codeY)
        if (y <= t->y + 1e-6) above = std::max(above, y);
      EXPECT_LT(t->y - above, 3 * 10) << "a name line without its code on the page";
    }
  }
}

TEST(ReportLayout, ColumnsThatDoNotFitPortraitTurnThePageAndFillTheWidth) {
  FixedMetrics m;
  Document narrow = Layout(ListDef("auto", 20), BuildTable(ListDef(), Rows(1)), {}, m);
  EXPECT_FALSE(narrow.Landscape());
  EXPECT_DOUBLE_EQ(narrow.width, kA4Short);
  Document wide = Layout(ListDef("auto", 150), BuildTable(ListDef(), Rows(1)), {}, m);
  EXPECT_TRUE(wide.Landscape());
  EXPECT_DOUBLE_EQ(wide.width, kA4Long);
  Document forced = Layout(ListDef("portrait", 150), BuildTable(ListDef(), Rows(1)), {}, m);
  EXPECT_FALSE(forced.Landscape());
  // The last column's box ends at the right margin.
  double right = 0;
  ASSERT_FALSE(wide.pages.empty());
  for (const Op& op : wide.pages[0].ops)
    if (const auto* t = std::get_if<TextOp>(&op); t && t->text == "Nome") right = t->x + t->width;
  EXPECT_NEAR(right, kA4Long - 10 * kPointsPerMm - 2, 1e-6);
}

TEST(ReportLayout, NoDataGivesOnePageSayingSo) {
  FixedMetrics m;
  Definition d = ListDef();
  Document doc = Layout(d, BuildTable(d, Rows(0)), {}, m);
  ASSERT_EQ(doc.pages.size(), 1u);
  std::vector<std::string> texts = Texts(doc.pages[0]);
  EXPECT_TRUE(Contains(texts, "Não há registros para listar."));
  EXPECT_TRUE(Contains(texts, "Página 1 de 1"));
  d.empty = "Não há empresas cadastradas para listar.";
  const Document told = Layout(d, BuildTable(d, Rows(0)), {}, m);
  ASSERT_EQ(told.pages.size(), 1u);
  EXPECT_TRUE(Contains(Texts(told.pages[0]), d.empty));
}

TEST(ReportLayout, AGroupBandIsNeverLeftAloneAtTheFootOfAPage) {
  FixedMetrics m;
  const Definition d = ParseDefinition(
      R"({"code":"G","title":"Por estado","source":{"object":"O","method":"M"},
          "order":["CD"],"group":{"label":"Estado","field":"UF"},
          "columns":[{"title":"Código","field":"CD"}]})");
  for (int mg = 100; mg < 125; ++mg) {
    // As many rows before it move the second band down the page, to its foot and past it.
    std::vector<Row> rows;
    for (int i = 0; i < mg + 5; ++i)
      rows.push_back({std::to_string(1000 + i), i < mg ? "MG" : "SP"});
    Document doc = Layout(d, BuildTable(d, Packet({"CD", "UF"}, rows)), {}, m);
    bool sawSp = false;
    for (const Page& page : doc.pages) {
      std::vector<std::string> texts = Texts(page);
      auto band = std::find(texts.begin(), texts.end(), "Estado: SP");
      if (band == texts.end()) continue;
      sawSp = true;
      EXPECT_NE(std::next(band), texts.end()) << "the band ends its page";
      EXPECT_EQ(*std::next(band), std::to_string(1000 + mg));
    }
    EXPECT_TRUE(sawSp);
  }
}

TEST(ReportLayout, ProgressIsToldAndACancelEndsTheLayout) {
  FixedMetrics m;
  const Definition d = ListDef();
  const Table t = BuildTable(d, Rows(300));
  int last = -1, total = 0;
  Layout(d, t, {}, m, [&](int done, int all) {
    EXPECT_GE(done, last);
    last = done;
    total = all;
  });
  EXPECT_EQ(last, 300);
  EXPECT_EQ(total, 300);
  EXPECT_THROW(Layout(d, t, {}, m,
                      [](int done, int) {
                        if (done > 100) throw EAbort();
                      }),
               EAbort);
}

// With the fonts that draw the PDF: every text fits its box and no two boxes overlap, so nothing
// is printed over anything else.
TEST(ReportLayout, WithTheRealFontsNoTextIsDrawnOverAnother) {
  CairoFonts fonts;
  const Definition d = LoadDefinition(GER_SOURCE_DIR "/Ger00201/Ger002.json");
  std::vector<std::string> names = {"CDEMPRESA",    "NMEMPRESA",     "NMRAZSOCEMPR", "NRINSJUREMPR",
                                    "IDTPIJUREMPR", "NRINSCESTA",    "NMMUNICIPIO",  "SGESTADO",
                                    "NRTELEFOEMPR", "DSEMAILEMPRESA"};
  std::vector<Row> rows;
  for (int i = 0; i < 60; ++i)
    rows.push_back({std::to_string(10 + i), "Comércio Atacadista de Produtos Alimentícios WWWW",
                    std::string("Razão Social Muito Longa de Uma Empresa Qualquer ") +
                        std::string(static_cast<std::size_t>(i), 'M'),
                    "11222333000181", "J", "110.042.490.114-WW", "Santa Bárbara d'Oeste", "SP",
                    "+55 (19) 3333-4444 ramal 1234 / 5678",
                    "departamento.financeiro.e.contabil@empresa-exemplo.com.br"});
  Document doc = Layout(d, BuildTable(d, Packet(names, rows)), DateTime::Now(), fonts);
  EXPECT_TRUE(doc.Landscape());
  for (const Page& page : doc.pages) {
    std::vector<const TextOp*> texts;
    for (const Op& op : page.ops)
      if (const auto* t = std::get_if<TextOp>(&op); t && !t->text.empty()) texts.push_back(t);
    for (const TextOp* t : texts)
      EXPECT_LE(fonts.Width(t->text, doc.fonts[static_cast<std::size_t>(t->font)]), t->width + 1e-6)
          << t->text;
    for (std::size_t i = 0; i < texts.size(); ++i)
      for (std::size_t j = i + 1; j < texts.size(); ++j) {
        const TextOp& a = *texts[i];
        const TextOp& b = *texts[j];
        const bool apart = a.x + a.width <= b.x + 1e-6 || b.x + b.width <= a.x + 1e-6 ||
                           a.y + a.height <= b.y + 1e-6 || b.y + b.height <= a.y + 1e-6;
        EXPECT_TRUE(apart) << "\"" << a.text << "\" over \"" << b.text << "\"";
      }
  }
}

}  // namespace
}  // namespace ger::report
