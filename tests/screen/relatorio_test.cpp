// The company report "Ger002" through its launcher against a real ger-server and its database:
// the PDF saved without a display and read back with a PDF text tool, and the spreadsheet read
// back to the same rows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Ger00201/ger00201.h"
#include "db/database.h"
#include "launcher.h"
#include "report/csv.h"
#include "routines/components.h"
#include "screen_fixture.h"
#include "ui/gestures.h"
#include "ui/reportview.h"

namespace ger {
namespace {

namespace G = ui::Gestures;
namespace fs = std::filesystem;

constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

class EmpresaRelatorio : public ScreenWithServer {
 protected:
  void TearDown() override {
    ScreenWithServer::TearDown();
    frmRelEmpresa = nullptr;
    boRelEmpresaCriado = false;
  }

  // Companies "00", "01", ... inserted in reverse order: the report orders them itself. Every
  // third is a person (CPF), every fifth has another kind of registration, every second has the
  // state registration left as the placeholder; half the CNPJs hold letters.
  struct Company {
    std::string code, name, legal, number, kind, state, town, uf, phone, mail;
  };
  std::vector<Company> Insert(int n) {
    std::vector<Company> all;
    for (int i = 0; i < n; ++i) {
      Company c;
      c.code = {kDigits[i / 36], kDigits[i % 36]};
      c.name = "Empresa " + c.code;
      c.legal = "Razão Social " + c.code + " Indústria e Comércio de Alimentos Ltda";
      c.kind = i % 5 == 4 ? "O" : (i % 3 == 1 ? "F" : "J");
      c.number = c.kind == "O"   ? "98765" + std::to_string(i)
                 : c.kind == "F" ? "12345678909"
                 : i % 2         ? "12ABC34501DE35"
                                 : "11222333000181";
      c.state = i % 2 ? "*" : "110.042.490." + std::to_string(100 + i);
      c.town = "São José dos Campos";
      c.uf = "SP";
      c.phone = "(12) 3333-" + std::to_string(1000 + i);
      c.mail = "contato" + c.code + "@exemplo.com.br";
      all.push_back(c);
    }
    for (auto it = all.rbegin(); it != all.rend(); ++it)
      db_->Execute(
          "INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA, NMRAZSOCEMPR, IDTPIJUREMPR, NRINSJUREMPR, "
          "NRINSCESTA, NMMUNICIPIO, SGESTADO, NRTELEFOEMPR, DSEMAILEMPRESA) "
          "VALUES (:C, :N, :R, :K, :I, :E, :M, :U, :T, :S)",
          {{"C", it->code},
           {"N", it->name},
           {"R", it->legal},
           {"K", it->kind},
           {"I", it->number},
           {"E", it->state},
           {"M", it->town},
           {"U", it->uf},
           {"T", it->phone},
           {"S", it->mail}});
    return all;
  }
  static std::string Shown(const Company& c) {
    if (c.kind == "J")
      return c.number.substr(0, 2) + "." + c.number.substr(2, 3) + "." + c.number.substr(5, 3) +
             "/" + c.number.substr(8, 4) + "-" + c.number.substr(12);
    if (c.kind == "F")
      return c.number.substr(0, 3) + "." + c.number.substr(3, 3) + "." + c.number.substr(6, 3) +
             "-" + c.number.substr(9);
    return c.number;
  }

  // Runs the launcher with "Arquivo" into `file`.
  void SaveTo(const fs::path& file) {
    TfrmRelEmpresa& f = Application().CreateForm<TfrmRelEmpresa>(nullptr);
    f.Show();
    ASSERT_TRUE(G::Select(f.rdgSaida, "Arquivo"));
    dialogs_->File(file.string());
    G::Click(f.sbtExecutar);
  }
  static std::vector<std::string> PdfPages(const fs::path& file) {
    FILE* p = popen(("pdftotext -layout '" + file.string() + "' -").c_str(), "r");
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
};

TEST_F(EmpresaRelatorio, ThePdfHoldsTheHeaderEveryCompanyInOrderAndItsPageNumbers) {
  const std::vector<Company> companies = Insert(130);
  const fs::path file = dir_ / "empresas.pdf";
  SaveTo(file);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Relatório salvo em '" + file.string() + "'."});

  const std::vector<std::string> pages = PdfPages(file);
  ASSERT_GE(pages.size(), 3u);
  const std::string of = " de " + std::to_string(pages.size());
  std::vector<std::string> lines;
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const std::string& page = pages[p];
    EXPECT_EQ(page.rfind("Empresa", 0), 0u) << "the title opens page " << p + 1;
    EXPECT_NE(page.find("Emissão: "), std::string::npos);
    EXPECT_NE(page.find("Ger002"), std::string::npos);
    EXPECT_NE(page.find("Página " + std::to_string(p + 1) + of), std::string::npos) << page;
    for (const char* title :
         {"Código", "Nome", "Razão Social", "Inscrição", "Município/UF", "Telefone", "E-mail"})
      EXPECT_NE(page.find(title), std::string::npos) << title;
    std::istringstream in(page);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  // Each company's row starts with its code and carries its name and its registration as the
  // company screen shows it, in the order of the codes.
  std::size_t at = 0;
  for (const Company& c : companies) {
    while (at < lines.size() && lines[at].rfind(c.code + " ", 0) != 0) ++at;
    ASSERT_LT(at, lines.size()) << "company " << c.code << " missing or out of order";
    EXPECT_NE(lines[at].find(c.name), std::string::npos) << lines[at];
    EXPECT_NE(lines[at].find(Shown(c)), std::string::npos) << lines[at];
  }
  const std::string all = [&] {
    std::string s;
    for (const std::string& p : pages) s += p;
    return s;
  }();
  EXPECT_EQ(all.find('*'), std::string::npos) << "a placeholder reached the page";
  EXPECT_NE(pages.back().find("Total de registros: 130"), std::string::npos);
}

TEST_F(EmpresaRelatorio, TheSpreadsheetOpensBackToTheSameRows) {
  const std::vector<Company> companies = Insert(40);
  const fs::path file = dir_ / "empresas.csv";
  SaveTo(file);
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  ASSERT_EQ(text.str().substr(0, 3), "\xEF\xBB\xBF");
  const auto rows = report::ParseCsv(text.str());
  ASSERT_EQ(rows.size(), companies.size() + 1);
  EXPECT_EQ(rows[0],
            (std::vector<std::string>{"Código", "Nome", "Razão Social", "Inscrição",
                                      "Inscrição Estadual", "Município/UF", "Telefone", "E-mail"}));
  for (std::size_t i = 0; i < companies.size(); ++i) {
    const Company& c = companies[i];
    EXPECT_EQ(rows[i + 1], (std::vector<std::string>{c.code, c.name, c.legal, Shown(c),
                                                     c.state == "*" ? "" : c.state,
                                                     c.town + "/" + c.uf, c.phone, c.mail}));
  }
}

TEST_F(EmpresaRelatorio, NoCompaniesGiveOnePageSayingThereIsNothingToList) {
  const fs::path file = dir_ / "vazio.pdf";
  SaveTo(file);
  EXPECT_EQ(Messages().size(), 1u);
  const std::vector<std::string> pages = PdfPages(file);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(pages[0].find("Não há empresas cadastradas para listar."), std::string::npos);
  EXPECT_NE(pages[0].find("Página 1 de 1"), std::string::npos);
}

TEST_F(EmpresaRelatorio, AFailedServerCallIsShownAndNothingIsWritten) {
  Insert(3);
  TNetConnection net;
  net.Port = server_->Port();
  ASSERT_TRUE(net.Call("__fail", {"GetEmpresa", "Banco de dados indisponível."}).ok());
  SaveTo(dir_ / "falha.pdf");
  EXPECT_EQ(Messages(), std::vector<std::string>{"Banco de dados indisponível."});
  EXPECT_FALSE(fs::exists(dir_ / "falha.pdf"));
}

TEST_F(EmpresaRelatorio, TheScreenShowsThePagesAndPagesThrough) {
  Insert(130);
  TfrmRelEmpresa& f = Application().CreateForm<TfrmRelEmpresa>(nullptr);
  f.Show();
  std::vector<std::string> seen;
  int pages = 0;
  Application().ModalActions.push_back([&](TForm& preview) {
    auto& label = dynamic_cast<TLabel&>(*preview.FindDeep("lblPagina"));
    auto& view = dynamic_cast<TReportView&>(*preview.FindDeep("rpvPagina"));
    pages = view.PageCount();
    seen.push_back(label.Caption());
    EXPECT_FALSE(dynamic_cast<TControl&>(*preview.FindDeep("sbtAnterior")).Enabled());
    G::Click(dynamic_cast<TSpeedButton&>(*preview.FindDeep("sbtProxima")));
    seen.push_back(label.Caption());
    G::Click(dynamic_cast<TSpeedButton&>(*preview.FindDeep("sbtUltima")));
    seen.push_back(label.Caption());
    EXPECT_FALSE(dynamic_cast<TControl&>(*preview.FindDeep("sbtProxima")).Enabled());
    G::Click(dynamic_cast<TSpeedButton&>(*preview.FindDeep("sbtImprimir")));
    G::Click(dynamic_cast<TSpeedButton&>(*preview.FindDeep("sbtFechar")));
  });
  G::Click(f.sbtExecutar);  // "Vídeo" is the first choice
  ASSERT_GE(pages, 3);
  EXPECT_EQ(seen,
            (std::vector<std::string>{
                "Página 1 de " + std::to_string(pages), "Página 2 de " + std::to_string(pages),
                "Página " + std::to_string(pages) + " de " + std::to_string(pages)}));
  ASSERT_EQ(dialogs_->PrintedReports().size(), 1u);
  EXPECT_EQ(dialogs_->PrintedReports()[0].pages, pages);
  EXPECT_TRUE(Messages().empty());
  Application().ProcessReleases();
  EXPECT_EQ(Application().FindForm("frmVisualizaRel"), nullptr);
}

TEST_F(EmpresaRelatorio, ACancelledReportLeavesNoFile) {
  Insert(200);
  dialogs_->CancelProgress(2);
  SaveTo(dir_ / "cancelado.pdf");
  EXPECT_TRUE(Messages().empty()) << "a cancel is silent";
  EXPECT_FALSE(dialogs_->ProgressShown());
  std::vector<fs::path> left;
  for (const auto& e : fs::directory_iterator(dir_))
    if (e.path().extension() != ".db" && e.path().filename().string().find("ger.db") != 0)
      left.push_back(e.path());
  EXPECT_TRUE(left.empty()) << left.front();
}

}  // namespace
}  // namespace ger
