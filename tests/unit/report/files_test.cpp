// The report's files: the PDF read back by a PDF text tool, the spreadsheet read back as rows,
// and files that cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/exceptions.h"
#include "report/cairo_pages.h"
#include "report/csv.h"
#include "report/output_file.h"
#include "report/table.h"
#include "report_support.h"

namespace ger::report {
namespace {

namespace fs = std::filesystem;
using testing::Packet;

class ReportFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("ger-report-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<std::string> Listing() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  static std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The text of each page of a PDF, as the PDF text tool extracts it.
  static std::vector<std::string> PdfPages(const fs::path& file) {
    const std::string cmd = "pdftotext -layout '" + file.string() + "' -";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {};
    std::string text;
    char buf[4096];
    while (std::size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << "pdftotext failed on " << file;
    std::vector<std::string> pages;
    std::size_t at = 0;
    for (std::size_t ff; (ff = text.find('\f', at)) != std::string::npos; at = ff + 1)
      pages.push_back(text.substr(at, ff - at));
    return pages;
  }

  fs::path dir_;
};

Definition CompanyList() {
  return LoadDefinition(GER_SOURCE_DIR "/Ger00201/Ger002.json");
}

DataPacket Companies(int n) {
  std::vector<Row> rows;
  for (int i = n - 1; i >= 0; --i) {  // the server's order is not the report's
    char code[3] = {"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[i / 36],
                    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[i % 36], 0};
    const bool person = i % 3 == 1;
    rows.push_back({std::string(code), "Empresa " + std::string(code),
                    "Razão Social da Empresa " + std::string(code) + " Comércio Ltda",
                    person ? "12345678909" : "11222333000181", person ? "F" : "J",
                    i % 2 ? "*" : "110.042.490.114", "São José dos Campos", "SP", "(12) 3333-4444",
                    "contato" + std::string(code) + "@exemplo.com.br"});
  }
  return Packet({"CDEMPRESA", "NMEMPRESA", "NMRAZSOCEMPR", "NRINSJUREMPR", "IDTPIJUREMPR",
                 "NRINSCESTA", "NMMUNICIPIO", "SGESTADO", "NRTELEFOEMPR", "DSEMAILEMPRESA"},
                std::move(rows));
}

TEST_F(ReportFiles, ThePdfReadsBackWithItsHeaderCodesInOrderAndPageNumbers) {
  const Definition d = CompanyList();
  CairoFonts fonts;
  const Document doc =
      Layout(d, BuildTable(d, Companies(150)), DateTime::FromParts(2025, 12, 8, 14, 30), fonts);
  ASSERT_GT(doc.pages.size(), 2u);
  WritePdf(doc, dir_ / "empresas.pdf");
  EXPECT_EQ(Listing(), std::vector<std::string>{"empresas.pdf"});

  const std::vector<std::string> pages = PdfPages(dir_ / "empresas.pdf");
  ASSERT_EQ(pages.size(), doc.pages.size());
  std::string codes;
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const std::string& page = pages[p];
    EXPECT_NE(page.find("Empresa"), std::string::npos);
    EXPECT_NE(page.find("Emissão: 08/12/2025 às 14:30"), std::string::npos) << page;
    EXPECT_NE(page.find("Razão Social"), std::string::npos);
    EXPECT_NE(page.find("Município/UF"), std::string::npos);
    EXPECT_NE(page.find("Página " + std::to_string(p + 1) + " de " + std::to_string(pages.size())),
              std::string::npos)
        << page;
    std::istringstream lines(page);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("Empresa ", 0) == std::string::npos && line.size() > 2 && line[2] == ' ' &&
          line.find("Empresa") != std::string::npos)
        codes += line.substr(0, 2) + " ";
  }
  std::string expected;
  for (int i = 0; i < 150; ++i)
    expected += std::string{"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[i / 36],
                            "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[i % 36]} +
                " ";
  EXPECT_EQ(codes, expected);
  const std::string all = pages[0] + pages[1];  // more than two, asserted above
  EXPECT_NE(all.find("11.222.333/0001-81"), std::string::npos);
  EXPECT_NE(all.find("123.456.789-09"), std::string::npos);
  EXPECT_NE(all.find("São José dos Campos/SP"), std::string::npos);
  EXPECT_EQ(all.find("*"), std::string::npos) << "a placeholder reached the page";
  EXPECT_NE(pages.back().find("Total de registros: 150"), std::string::npos);
}

TEST_F(ReportFiles, NoCompaniesGiveOnePageSayingSo) {
  const Definition d = CompanyList();
  CairoFonts fonts;
  WritePdf(Layout(d, BuildTable(d, Companies(0)), DateTime::Now(), fonts), dir_ / "vazio.pdf");
  const std::vector<std::string> pages = PdfPages(dir_ / "vazio.pdf");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(pages[0].find("Não há empresas cadastradas para listar."), std::string::npos);
  EXPECT_NE(pages[0].find("Página 1 de 1"), std::string::npos);
}

TEST_F(ReportFiles, TheSpreadsheetOpensBackToTheSameRows) {
  const Definition d = CompanyList();
  const Table table = BuildTable(d, Companies(40));
  WriteCsv(d, table, dir_ / "empresas.csv");
  const std::string text = Read(dir_ / "empresas.csv");
  ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(text.find("Código;Nome;Razão Social;Inscrição;"), std::string::npos);
  EXPECT_NE(text.find("\r\n"), std::string::npos);
  const auto lines = ParseCsv(text);
  ASSERT_EQ(lines.size(), table.rows.size() + 1);
  EXPECT_EQ(lines[0], table.titles);
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    std::vector<std::string> expected;
    for (const Cell& c : table.rows[r].cells) expected.push_back(c.csv);
    EXPECT_EQ(lines[r + 1], expected) << r;
  }
  // A line split wrongly (another separator) must fail here, not read past its fields.
  ASSERT_EQ(lines[1].size(), table.titles.size());
  EXPECT_EQ(lines[1][0], "00");
  EXPECT_EQ(lines[1][3], "11.222.333/0001-81");
}

TEST(ReportCsv, FieldsAreQuotedAndFormulasDisarmed) {
  EXPECT_EQ(CsvField("simples"), "simples");
  EXPECT_EQ(CsvField("a;b"), "\"a;b\"");
  EXPECT_EQ(CsvField("diz \"olá\""), "\"diz \"\"olá\"\"\"");
  EXPECT_EQ(CsvField("linha 1\nlinha 2"), "\"linha 1\nlinha 2\"");
  EXPECT_EQ(CsvField(" margem"), "\" margem\"");
  EXPECT_EQ(CsvField("=HYPERLINK(\"http://x\")"), "\"'=HYPERLINK(\"\"http://x\"\")\"");
  EXPECT_EQ(CsvField("@SUM(A1)"), "'@SUM(A1)");
  EXPECT_EQ(CsvField("+cmd|' /C calc'!A0"), "'+cmd|' /C calc'!A0");
  // Plain numbers stay numbers (quoted when they hold a comma, which a spreadsheet reading
  // commas as the separator would split on); any other text starting with a sign, a tab or a
  // carriage return is a formula to a spreadsheet and is disarmed.
  EXPECT_EQ(CsvField("-12,5"), "\"-12,5\"");
  EXPECT_EQ(CsvField("-1.234"), "-1.234");
  EXPECT_EQ(CsvField("+7"), "+7");
  EXPECT_EQ(CsvField("+55 (11) 3333-4444"), "'+55 (11) 3333-4444");
  EXPECT_EQ(CsvField("-1+1"), "'-1+1");
  EXPECT_EQ(CsvField("-2-3"), "'-2-3");
  EXPECT_EQ(CsvField("+(1)"), "'+(1)");
  EXPECT_EQ(CsvField("-"), "'-");
  EXPECT_EQ(CsvField("\t=1+1"), "'\t=1+1");
  EXPECT_EQ(CsvField("\r=1+1"), "\"'\r=1+1\"");
  EXPECT_EQ(CsvField("Rua A, 10"), "\"Rua A, 10\"");
  EXPECT_EQ(CsvField("1,5"), "\"1,5\"");
  const auto back = ParseCsv(
      "\xEF\xBB\xBF"
      "a;\"b;\"\"c\"\"\";\r\n\"x\ny\";z\r\n");
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0], (std::vector<std::string>{"a", "b;\"c\"", ""}));
  EXPECT_EQ(back[1], (std::vector<std::string>{"x\ny", "z"}));
}

TEST(ReportCsv, AGroupedReportCarriesItsGroupAsTheFirstColumn) {
  const Definition d = ParseDefinition(
      R"({"code":"G","title":"T","source":{"object":"O","method":"M"},
          "group":{"label":"Estado","field":"UF"},"columns":[{"title":"Código","field":"CD"}]})");
  const std::string text = CsvText(d, BuildTable(d, Packet({"CD", "UF"}, {{"01", "SP"}})));
  EXPECT_EQ(text,
            "\xEF\xBB\xBF"
            "Estado;Código\r\nSP;01\r\n");
}

TEST_F(ReportFiles, AFileThatCannotBeWrittenIsToldAndNothingIsLeftUnderItsName) {
  const Definition d = CompanyList();
  const Table table = BuildTable(d, Companies(3));
  auto message = [&](const fs::path& file) {
    try {
      WriteCsv(d, table, file);
    } catch (const Exception& e) {
      return std::string(e.what());
    }
    return std::string("written");
  };
  EXPECT_EQ(message(dir_ / "falta" / "x.csv"), "Não foi possível gravar o arquivo '" +
                                                   (dir_ / "falta" / "x.csv").string() +
                                                   "': a pasta não existe.");
  std::ofstream(dir_ / "arquivo") << "x";
  EXPECT_NE(message(dir_ / "arquivo" / "x.csv").find("uma parte do caminho não é uma pasta"),
            std::string::npos);
  fs::create_directories(dir_ / "pasta.csv");
  EXPECT_NE(message(dir_ / "pasta.csv").find("o nome é de uma pasta"), std::string::npos);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"arquivo", "pasta.csv"}));
}

TEST_F(ReportFiles, ACancelledPdfLeavesTheOldFileAndNoTemporaryOne) {
  const Definition d = CompanyList();
  CairoFonts fonts;
  const Document doc = Layout(d, BuildTable(d, Companies(120)), DateTime::Now(), fonts);
  std::ofstream(dir_ / "antigo.pdf") << "conteúdo anterior";
  EXPECT_THROW(WritePdf(doc, dir_ / "antigo.pdf",
                        [](int done, int) {
                          if (done == 2) throw EAbort();
                        }),
               EAbort);
  EXPECT_EQ(Listing(), std::vector<std::string>{"antigo.pdf"});
  EXPECT_EQ(Read(dir_ / "antigo.pdf"), "conteúdo anterior");
  // Replaced whole when it goes through.
  WritePdf(doc, dir_ / "antigo.pdf");
  EXPECT_EQ(Read(dir_ / "antigo.pdf").substr(0, 5), "%PDF-");
  EXPECT_EQ(Listing(), std::vector<std::string>{"antigo.pdf"});
}

TEST_F(ReportFiles, ANewFileGetsTheUsualPermissionsAndAReplacedOneKeepsItsOwn) {
  const Definition d = CompanyList();
  const Table table = BuildTable(d, Companies(2));
  const mode_t mask = umask(022);
  WriteCsv(d, table, dir_ / "novo.csv");
  EXPECT_EQ(fs::status(dir_ / "novo.csv").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
  std::ofstream(dir_ / "meu.csv") << "x";
  fs::permissions(dir_ / "meu.csv", fs::perms::owner_read | fs::perms::owner_write);
  WriteCsv(d, table, dir_ / "meu.csv");
  EXPECT_EQ(fs::status(dir_ / "meu.csv").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  umask(mask);
}

}  // namespace
}  // namespace ger::report
