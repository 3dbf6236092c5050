// The representatives' search from the grid's code cell: the pick list is titled with what it
// lists, and a choice fills the row from the register.
#include "screen_fixture.h"

namespace ger {
namespace {

namespace G = ui::Gestures;

TEST_F(EmpresaScreen, TheRepresentativesPickListIsTitledAndItsChoiceFillsTheRow) {
  InsertCompany("05", "Quinta");
  db_->Execute(
      "INSERT INTO REPRESENTANTE (CDREPRES, NMREPRES, NRCPFREPRES) "
      "VALUES ('07', 'Márcia Oliveira', '98765432100')");
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(G::Page(f.tshRepresentante));
  ASSERT_TRUE(G::Click(f.sbtIncluir));
  ASSERT_TRUE(G::GridCol(f.dbgRepresentante, "CDREPRES"));
  dialogs_->Pick(std::string("07"));
  ASSERT_TRUE(G::GridButton(f.dbgRepresentante));
  EXPECT_EQ(dialogs_->PickTitles(), std::vector<std::string>{"Representante Legal"});
  EXPECT_EQ(f.cdsRepresentante.FieldByName("CDREPRES").AsString(), "07");
  EXPECT_EQ(f.cdsRepresentante.FieldByName("NMREPRES").AsString(), "Márcia Oliveira");
  EXPECT_EQ(f.cdsRepresentante.FieldByName("CDEMPRESA").AsString(), "05");
  EXPECT_EQ(Messages(), std::vector<std::string>{});
}

}  // namespace
}  // namespace ger
