// The company screen by keyboard: Tab walks each page in its reading order, and a company is
// included, filled and saved without the mouse.
#include <map>

#include "core/utf8.h"
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

// The focus starts in the list; Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp change the page
// as a click on its tab does (the page-leaving checks included) and enter its first box; F2 and
// Alt+Down open a box's search.
TEST_F(EmpresaScreen, PagesChangeAndSearchesOpenByKeyboard) {
  InsertCompany("05", "Quinta");
  InsertCompany("06", "Sexta");
  TfrmEmpresa& f = Open();
  ASSERT_EQ(Focused(f), "dbgPadrao");
  ASSERT_TRUE(G::GridRow(f.dbgPadrao, 1));
  EXPECT_EQ(f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(), "06");

  ASSERT_TRUE(G::Click(f.mnuAlterar));
  ASSERT_EQ(Focused(f), "dbeNmEmpresa");
  ASSERT_TRUE(G::Key(f.dbeNmEmpresa, "ctrl+tab"));
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshEndereco);
  EXPECT_EQ(Focused(f), "dbeCdPais");
  // Leaving the address page with an unknown country: its check refuses, as on a click on a tab.
  ASSERT_TRUE(G::Clear(f.dbeCdPais));
  ASSERT_TRUE(G::Type(f.dbeCdPais, "9999"));
  G::Key(f.dbeCdPais, "ctrl+pgdn");
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshEndereco);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"País não cadastrado."}));
  ASSERT_TRUE(G::Clear(f.dbeCdPais));
  TypeAddress(f);
  ASSERT_TRUE(G::Key(*f.ActiveControl(), "ctrl+shift+tab"));
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshFormulario);
  // The code box is closed while altering: the name is the page's first box.
  EXPECT_EQ(Focused(f), "dbeNmEmpresa") << ::testing::PrintToString(Messages());
  ASSERT_TRUE(G::Key(*f.ActiveControl(), "ctrl+pgdn"));
  ASSERT_TRUE(G::Key(*f.ActiveControl(), "ctrl+pgdn"));
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshDadAdic) << ::testing::PrintToString(Messages());
  ASSERT_TRUE(G::Key(*f.ActiveControl(), "ctrl+pgup"));
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshEndereco);

  // F2 and Alt+Down in the country box open its search; a box without one ignores them.
  ASSERT_TRUE(G::Focus(f.dbeCdPais));
  dialogs_->Pick(ui::ScriptedDialogs::PickCancel{});
  ASSERT_TRUE(G::Key(f.dbeCdPais, "f2"));
  dialogs_->Pick(ui::ScriptedDialogs::PickCancel{});
  ASSERT_TRUE(G::Key(f.dbeCdPais, "alt+down"));
  EXPECT_EQ(dialogs_->PickTitles().size(), 2u);
  ASSERT_TRUE(G::Key(f.dbeDSENDEEMPR, "f2"));
  EXPECT_EQ(dialogs_->PickTitles().size(), 2u);
}

// Each letter marked with "&" in one menu leads to one item only.
TEST_F(EmpresaScreen, NoTwoItemsOfAMenuShareTheirAltLetter) {
  TfrmEmpresa& f = Open();
  std::vector<const TMenu*> menus;
  for (const TComponent* c : f.Components())
    if (const auto* m = dynamic_cast<const TMenu*>(c)) menus.push_back(m);
  ASSERT_FALSE(menus.empty());
  std::vector<std::vector<TMenuItem*>> groups;
  for (const TMenu* m : menus) groups.push_back(m->Items());
  for (std::size_t i = 0; i < groups.size(); ++i)
    for (TMenuItem* item : groups[i])
      if (!item->Items().empty()) groups.push_back(item->Items());
  for (const auto& group : groups) {
    std::map<std::string, std::string> letters;
    for (const TMenuItem* item : group) {
      const std::string& caption = item->Caption();
      const std::size_t amp = caption.find('&');
      if (amp == std::string::npos || amp + 1 >= caption.size()) continue;
      const std::string letter = utf8::FoldKey(utf8::Mid(caption.substr(amp + 1), 0, 1));
      auto [it, fresh] = letters.emplace(letter, caption);
      EXPECT_TRUE(fresh) << "\"" << caption << "\" and \"" << it->second << "\" share Alt+"
                         << letter;
    }
  }
}

// A new representative goes at the end of the list, with the cursor in its code.
TEST_F(EmpresaScreen, ANewRepresentativeRowIsAddedAtTheEndWithTheCursorInItsCode) {
  InsertCompany("05", "Quinta");
  db_->Execute("INSERT INTO REPRESENTANTE (CDREPRES, NMREPRES) VALUES ('01', 'Ana')");
  db_->Execute("INSERT INTO REPRESENTANTE (CDREPRES, NMREPRES) VALUES ('02', 'Bia')");
  db_->Execute("INSERT INTO EMPRREPRES (CDEMPRESA, CDREPRES, IDATIVO) VALUES ('05', '01', 'N')");
  db_->Execute("INSERT INTO EMPRREPRES (CDEMPRESA, CDREPRES, IDATIVO) VALUES ('05', '02', 'N')");
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(G::Page(f.tshRepresentante));
  ASSERT_EQ(f.cdsRepresentante.RecordCount(), 2);
  ASSERT_TRUE(G::Click(f.sbtIncluir));
  EXPECT_EQ(f.cdsRepresentante.State(), DataSetState::Insert);
  EXPECT_EQ(f.cdsRepresentante.RecNo(), 3);
  EXPECT_EQ(Focused(f), "dbgRepresentante");
  ASSERT_NE(f.dbgRepresentante.SelectedField(), nullptr);
  EXPECT_EQ(f.dbgRepresentante.SelectedField()->FieldName(), "CDREPRES");
}

}  // namespace
}  // namespace ger
