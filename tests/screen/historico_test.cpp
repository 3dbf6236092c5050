// The change history as the user sees it: the window's model (labels, pt-BR dates, filters),
// the window drawn over it, and end to end a person's save shown in the window opened from the
// menu Manutenção, with the access made by ger-admin and its history read back as CSV.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "../server/around_the_screen.h"
#include "Ger00200/ger00200_dados.h"
#include "Ger00200/ger00200_historico.h"
#include "screen_fixture.h"
#include "ui/signed_in.h"

namespace ger {
namespace {

// Brasília time without summer time, whatever zone files the machine has.
class BrasiliaTime {
 public:
  BrasiliaTime() {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    setenv("TZ", "BRT3", 1);
    tzset();
  }
  ~BrasiliaTime() {
    if (saved_.empty())
      unsetenv("TZ");
    else
      setenv("TZ", saved_.c_str(), 1);
    tzset();
  }

 private:
  std::string saved_;
};

DataPacket ServerRows() {
  DataPacket p;
  for (const char* name : {"DTHISTORICO", "NMUSUARIO", "NMESTACAOHISTORICO", "NMTABELAHISTORICO",
                           "DSCHAVEHISTORICO", "CDEMPRESA", "IDOPERACAOHISTORICO",
                           "NMCOLUNAHISTORICO", "DSANTESHISTORICO", "DSDEPOISHISTORICO"})
    p.fields.push_back({name, FieldKind::String, 200, ProviderFlags::Default()});
  auto row = [&](std::vector<std::string> v) { p.rows.push_back(Row(v.begin(), v.end())); };
  row({"2026-01-02 13:04:05", "Bruno", "est-b", "EMPRESA", "07", "07", "A", "NMEMPRESA", "Um",
       "Dois"});
  row({"2026-01-02 02:00:00", "Ana", "est-a", "EMPRREPRES", "07/01", "07", "I", "NRCPFREPRES", "",
       "***.***.***-09"});
  row({"2025-12-31 23:59:59", "Ana", "est-a", "EMPRESA", "06", "06", "E", "", "", ""});
  return p;
}

std::string Line(const HistoricoLinha& l) {
  return l.dataHora + "|" + l.pessoa + "|" + l.estacao + "|" + l.campo + "|" + l.antes + "|" +
         l.depois;
}

}  // namespace

TEST(Historico, ModelShowsTheScreensLabelsAndPtBrLocalTimesNewestFirst) {
  BrasiliaTime zone;
  const HistoricoModel model(ServerRows(), empresa::CatalogoPadrao());
  std::vector<std::string> lines;
  for (const HistoricoLinha& l : model.Rows()) lines.push_back(Line(l));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "02/01/2026 10:04:05|Bruno|est-b|Nome|Um|Dois",
                       "01/01/2026 23:00:00|Ana|est-a|Representante: CPF||***.***.***-09",
                       "31/12/2025 20:59:59|Ana|est-a|(exclusão do registro)||",
                   }));
  EXPECT_EQ(model.Campos(),
            (std::vector<std::string>{"(exclusão do registro)", "Nome", "Representante: CPF"}));
  EXPECT_EQ(model.Pessoas(), (std::vector<std::string>{"Ana", "Bruno"}));
  EXPECT_EQ(model.Rows("", "Ana").size(), 2u);
  ASSERT_EQ(model.Rows("Nome", "Ana").size(), 0u);
  ASSERT_EQ(model.Rows("Nome").size(), 1u);
  EXPECT_EQ(model.Rows("Nome")[0].pessoa, "Bruno");
  EXPECT_EQ(HistoricoModel::LocalTime("2026-13-01 00:00"), "");
}

TEST(Historico, TheWindowDrawsTheModelAndFiltersByPerson) {
  BrasiliaTime zone;
  Application().Reset();
  TfrmHistorico form(ServerRows(), empresa::CatalogoPadrao(), "07");
  EXPECT_EQ(form.Caption(), "Histórico de alterações - empresa 07");
  EXPECT_EQ(form.dbgHistorico.RowCount(), 3);
  EXPECT_EQ(form.dbgHistorico.ColumnTitle(3), "Campo");
  EXPECT_EQ(form.cbxPessoa.Items(), (std::vector<std::string>{"(todos)", "Ana", "Bruno"}));
  ASSERT_TRUE(ui::Gestures::Select(form.cbxPessoa, "Bruno"));
  const auto cells = form.dbgHistorico.CellTexts();
  ASSERT_EQ(cells.size(), 1u);
  EXPECT_EQ(cells[0], (std::vector<std::string>{"02/01/2026 10:04:05", "Bruno", "est-b", "Nome",
                                                "Um", "Dois"}));
  ASSERT_TRUE(ui::Gestures::Select(form.cbxPessoa, "(todos)"));
  ASSERT_TRUE(ui::Gestures::Select(form.cbxCampo, "Representante: CPF"));
  EXPECT_EQ(form.dbgHistorico.RowCount(), 1);
  Application().Reset();
}

TEST_F(EmpresaScreen, APersonsSaveIsShownInTheHistoryWindowAndTheRefusalOnTheScreen) {
  const std::string db = "sqlite:" + (dir_ / "ger.db").string();
  const std::string admin = std::string(GER_ADMIN_BIN) + " ";
  const std::string token =
      gertest::LastLine(gertest::RunCommand(admin + "user add Carla --db " + db));
  InsertCompany("07", "Primeira");
  Application().Settings.token = token;
  SetSignedInPerson("");
  TfrmEmpresa& f = Open();
  f.netEmpresa.Seat = "estacao-carla";
  EXPECT_EQ(SignedInPerson(), "Carla");  // the status bar's
  ASSERT_TRUE(ui::Gestures::Click(f.mnuAlterar));
  ASSERT_TRUE(ui::Gestures::Type(f.dbeNmEmpresa, "Segunda"));
  ASSERT_TRUE(ui::Gestures::Click(f.mnuConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{});

  std::vector<std::vector<std::string>> shown;
  Application().ModalActions.push_back([&](TForm& modal) {
    auto* window = dynamic_cast<TfrmHistorico*>(&modal);
    ASSERT_NE(window, nullptr);
    for (const auto& r : window->dbgHistorico.CellTexts())
      if (r.at(3) == "Nome") shown.push_back(r);
    modal.Close();
  });
  ASSERT_TRUE(ui::Gestures::Click(f.mnuHistorico));
  // The list's context menu opens the same window.
  std::vector<std::vector<std::string>> fromList;
  Application().ModalActions.push_back([&](TForm& modal) {
    if (auto* window = dynamic_cast<TfrmHistorico*>(&modal))
      fromList = window->dbgHistorico.CellTexts();
    modal.Close();
  });
  ASSERT_TRUE(ui::Gestures::Click(f.mnuHistoricoLista));
  EXPECT_FALSE(fromList.empty());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0][1], "Carla");
  EXPECT_EQ(shown[0][2], "estacao-carla");
  EXPECT_EQ(shown[0][4], "Primeira");
  EXPECT_EQ(shown[0][5], "PrimeiraSegunda");  // typed after what was there
  EXPECT_EQ(shown[0][0].size(), 19u);         // dd/mm/aaaa hh:mm:ss
  EXPECT_EQ(shown[0][0][2], '/');

  // ger-admin's CSV reads back the same change.
  std::istringstream csv(
      gertest::RunCommand(admin + "history --company 07 --user Carla --db " + db));
  std::string header, line;
  std::getline(csv, header);
  EXPECT_EQ(header, "when_utc,person,seat,table,key,company,operation,column,old,new");
  bool found = false;
  while (std::getline(csv, line))
    found |=
        line.ends_with(",Carla,estacao-carla,EMPRESA,07,07,A,NMEMPRESA,Primeira,PrimeiraSegunda") &&
        line.size() == 19 + std::string(
                                ",Carla,estacao-carla,EMPRESA,07,07,A,NMEMPRESA,"
                                "Primeira,PrimeiraSegunda")
                                .size();
  EXPECT_TRUE(found) << csv.str();

  // Withdrawn: the next call is refused with the catalogue's sentence on the screen.
  gertest::RunCommand(admin + "user disable Carla --db " + db);
  ui::Gestures::Click(f.mnuHistorico);
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "Acesso não autorizado: peça ao administrador um novo acesso."});
}

}  // namespace ger
