// The address checks read the country, the state and the municipality from the local database.
// When it fails, the user reads the database's own message with the address page in front and the
// focus in the box checked, and the look-up is closed as after any check, so the next one starts
// afresh once the database is back.
#include "screen_fixture.h"

namespace ger {
namespace {

namespace G = ui::Gestures;

TEST_F(EmpresaScreen, AFailingLocalDatabaseStopsTheAddressCheckAtItsBox) {
  InsertCompany("05", "Quinta");
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Click(f.mnuEndereco));
  ASSERT_TRUE(G::Clear(f.dbeCdPais));
  ASSERT_TRUE(G::Type(f.dbeCdPais, "1058"));
  ASSERT_TRUE(G::Type(f.dbeSgEstado, "SP"));
  ASSERT_TRUE(G::Type(f.dbeCdMunicipio, "5030"));
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(f.cdsEmpresa.FieldByName("NMPAIS").AsString(), "Brasil");
  EXPECT_FALSE(f.qryPais.Active());  // closed after a check that passed

  // The state's table is gone; the confirm is pressed on the first page.
  db_->Execute("ALTER TABLE ESTADO RENAME TO ESTADO_FORA");
  ASSERT_TRUE(G::Click(f.mnuFormulario));
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  const std::vector<std::string> shown = Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("ESTADO"), std::string::npos) << shown[0];
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshEndereco);
  EXPECT_EQ(f.ActiveControl(), &f.dbeSgEstado);
  EXPECT_FALSE(f.qryEstado.Active());
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Edit);
  EXPECT_EQ(Sql("SELECT NMPAIS FROM EMPRESA WHERE CDEMPRESA = '05'"), "null");

  db_->Execute("ALTER TABLE ESTADO_FORA RENAME TO ESTADO");
  ASSERT_TRUE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(Sql("SELECT NMPAIS FROM EMPRESA WHERE CDEMPRESA = '05'"), "Brasil");
  EXPECT_EQ(Sql("SELECT NMESTADO FROM EMPRESA WHERE CDEMPRESA = '05'"), "São Paulo");
  EXPECT_FALSE(f.qryEstado.Active());
  EXPECT_FALSE(f.qryMunicipio.Active());
}

}  // namespace
}  // namespace ger
