// The eight search buttons of the company screen as the user meets them: the pick list's caption,
// its columns and rows, and the text each reports when its list is empty.
// GCC 12 takes the queued pick answer (a variant, moved) for uninitialised once inlined here.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "screen_fixture.h"
#include "ui/picklist.h"

namespace ger {
namespace {

namespace G = ui::Gestures;

struct Search {
  TBtnPesquisa TfrmEmpresa::*button;
  TTabSheet TfrmEmpresa::*page;
  const char* title;
  std::vector<std::string> columns;
  int rows;
  const char* emptyTable;
  const char* emptyText;
};

const std::vector<Search>& Searches() {
  static const std::vector<Search> searches = {
      {&TfrmEmpresa::btnPais,
       &TfrmEmpresa::tshEndereco,
       "País",
       {"Código", "Nome"},
       20,
       "PAIS",
       "Não há país cadastrado."},
      {&TfrmEmpresa::btnEstado,
       &TfrmEmpresa::tshEndereco,
       "Estado",
       {"Sigla", "Nome"},
       27,
       "ESTADO",
       "Não há estado cadastrado para o país informado."},
      // The municipalities of the company's state only.
      {&TfrmEmpresa::btnMunicipio,
       &TfrmEmpresa::tshEndereco,
       "Município",
       {"Código", "Nome"},
       645,
       "MUNICIPIO",
       "Não há município cadastrado para o estado informado."},
      {&TfrmEmpresa::btpContador,
       &TfrmEmpresa::tshDadAdic,
       "Contador",
       {"Código", "Nome"},
       1,
       "CONTADOR",
       "Não há contador cadastrado."},
      {&TfrmEmpresa::sbtProcuraCentCust,
       &TfrmEmpresa::tshDadAdic,
       "Centro de Custo",
       {"Código", "Nome"},
       1,
       "CENTCUST",
       "Não há centro de custo cadastrado."},
      {&TfrmEmpresa::sbtCNAE,
       &TfrmEmpresa::tshInformacoesOficiais,
       "CNAE Fiscal",
       {"Código", "Descrição"},
       1332,
       "CNAE",
       "Não há código CNAE cadastrado."},
      {&TfrmEmpresa::sbtFPAS,
       &TfrmEmpresa::tshInformacoesOficiais,
       "FPAS",
       {"Código", "Descrição"},
       2,
       "FPAS",
       "Não há código FPAS cadastrado."},
      {&TfrmEmpresa::btpNatureza,
       &TfrmEmpresa::tshInformacoesOficiais,
       "Natureza Jurídica",
       {"Código", "Descrição"},
       92,
       "NATUREZA",
       "Não há natureza jurídica cadastrada."},
  };
  return searches;
}

TEST_F(EmpresaScreen, EachSearchListsItsRowsUnderItsCaptionOrSaysItsListIsEmpty) {
  InsertCompany("05", "Quinta");
  db_->Execute("INSERT INTO CONTADOR (CDCONTADOR2, NMCONTADOR) VALUES ('03', 'Escritório')");
  db_->Execute("INSERT INTO CENTCUST (CDCENTCUST, NMCENTCUST) VALUES ('0007', 'Vendas')");
  TfrmEmpresa& f = Open();

  for (const Search& s : Searches()) {
    TBtnPesquisa& button = f.*s.button;
    ASSERT_TRUE(G::Page(f.*s.page)) << s.title;
    dialogs_->Pick(ui::ScriptedDialogs::PickCancel{});
    ASSERT_TRUE(G::Click(button)) << s.title;
    ASSERT_FALSE(dialogs_->PickTitles().empty()) << s.title;
    EXPECT_EQ(dialogs_->PickTitles().back(), s.title);
    ui::PickListModel list(*button.DataSource->DataSet());
    EXPECT_EQ(list.Titles(), s.columns) << s.title;
    EXPECT_EQ(list.RowCount(), s.rows) << s.title;
  }
  // The CNAE list shows its codes under their mask.
  EXPECT_EQ(ui::PickListModel(*f.sbtCNAE.DataSource->DataSet()).Cell(0, 0), "0111-3/01");
  // A cancelled pick leaves the company as it was.
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Browse);
  EXPECT_EQ(Messages(), std::vector<std::string>{});

  // Every reference table emptied: each search says so in its own words, and lists nothing.
  for (const Search& s : Searches()) db_->Execute(std::string("DELETE FROM ") + s.emptyTable);
  const std::size_t picks = dialogs_->PickTitles().size();
  for (const Search& s : Searches()) {
    ASSERT_TRUE(G::Page(f.*s.page)) << s.title;
    G::Click(f.*s.button);
    EXPECT_EQ(Messages(), std::vector<std::string>{s.emptyText});
  }
  EXPECT_EQ(dialogs_->PickTitles().size(), picks);
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Browse);
}

}  // namespace
}  // namespace ger
