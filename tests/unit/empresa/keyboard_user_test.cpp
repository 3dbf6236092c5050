// The company screen by keyboard: Tab walks each page in its reading order, and a company is
// included, filled and saved without the mouse.
#include "screen_fixture.h"

namespace ger {
namespace {

namespace G = ui::Gestures;

std::string Focused(TfrmEmpresa& f) {
  return f.ActiveControl() ? f.ActiveControl()->Name() : std::string("(none)");
}

// Types into the focused box and moves on with Tab; the names of the boxes the focus went
// through, the first one included.
std::vector<std::string> Walk(TfrmEmpresa& f, const std::vector<std::string>& typed) {
  std::vector<std::string> seen{Focused(f)};
  for (const std::string& text : typed) {
    TControl* box = f.ActiveControl();
    if (!box) break;
    if (!text.empty()) {
      EXPECT_TRUE(G::Type(*box, text)) << box->Name();
    }
    EXPECT_TRUE(G::Key(*box, "tab")) << box->Name();
    seen.push_back(Focused(f));
  }
  return seen;
}

TEST_F(EmpresaScreen, TabFollowsTheReadingOrderOfTheFormAndAddressPages) {
  InsertCompany("05", "Quinta");
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(G::Click(f.mnuIncluir));
  ASSERT_EQ(Focused(f), "dbeCdEmpresa");
  EXPECT_EQ(
      Walk(f, {"09", "Nona", "Nona Ltda", "", "", "11444777000161", "", "", "", ""}),
      (std::vector<std::string>{"dbeCdEmpresa", "dbeNmEmpresa", "dbeRazaoSoc", "dbeCompRazSoc",
                                "cboTipo", "dbeCGCEmpresa", "dbeInscEstaEmpr", "dbeEmail",
                                "dbeEndeWeb", "dbeCDEXTERNO", "dbeCdEmpresa"}))
      << ::testing::PrintToString(Messages());

  // The page's menu entry leaves the focus on the pages; Tab enters the page's first box.
  ASSERT_TRUE(G::Click(f.mnuEndereco));
  ASSERT_TRUE(G::Key(*f.ActiveControl(), "tab"));
  ASSERT_EQ(Focused(f), "dbeCdPais");
  EXPECT_EQ(Walk(f, {"1058", "SP", "5030", "", "", "Rua Um, 10", "", ""}),
            (std::vector<std::string>{"dbeCdPais", "dbeSgEstado", "dbeCdMunicipio", "dbeCdBairro",
                                      "dbeNMBairro", "dbeDSENDEEMPR", "dbeDSCOMPENDEMP", "dbeCdCep",
                                      "dbeCdPais"}))
      << ::testing::PrintToString(Messages());
}

// From an empty database to a stored company with keys only: the menus' letters, typing, Tab
// and Enter.
TEST_F(EmpresaScreen, ACompanyIsIncludedAndSavedByKeyboardAlone) {
  TfrmEmpresa& f = Open();
  ASSERT_EQ(f.cdsEmpresa.RecordCount(), 0);
  ASSERT_TRUE(G::Click(f.mnuIncluir));  // Alt+M, I
  ASSERT_EQ(Focused(f), "dbeCdEmpresa");
  Walk(f, {"01", "Primeira", "Primeira Comércio Ltda", "", "", "11444777000161"});
  ASSERT_TRUE(G::Click(f.mnuEndereco));  // Alt+O, E
  ASSERT_TRUE(G::Key(*f.ActiveControl(), "tab"));
  Walk(f, {"1058", "SP", "5030"});
  ASSERT_TRUE(G::Click(f.mnuConfirmar)) << ::testing::PrintToString(Messages());  // Alt+M, C
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Browse) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '01'"), "Primeira");
  EXPECT_EQ(Sql("SELECT NRINSJUREMPR FROM EMPRESA WHERE CDEMPRESA = '01'"), "11444777000161");
  EXPECT_EQ(Sql("SELECT CDMUNICIPIO FROM EMPRESA WHERE CDEMPRESA = '01'"), "5030");
}

}  // namespace
}  // namespace ger
