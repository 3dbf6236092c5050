// The neighbourhood lookup by name when the server fails: the failure is shown and refuses the
// step, never taken for an empty code that would unlink the company's neighbourhood.
#include "screen_fixture.h"

namespace ger {
namespace {

namespace G = ui::Gestures;

class BairroScreen : public EmpresaScreen {
 protected:
  // Company 05, whose stored neighbourhood is registered.
  void CompanyInCentro() {
    InsertCompany("05", "Quinta");
    db_->Execute(
        "INSERT INTO BAIRRO (CDPAIS, SGESTADO, CDMUNICIPIO, CDBAIRRO, NMBAIRRO) "
        "VALUES ('1058', 'SP', '5030', '0000000007', 'Centro')");
    db_->Execute(
        "UPDATE EMPRESA SET CDBAIRRO = '0000000007', NMBAIRRO = 'Centro' WHERE CDEMPRESA = '05'");
  }
};

TEST_F(BairroScreen, AFailedNeighbourhoodLookupIsShownAndKeepsTheCode) {
  CompanyInCentro();
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Click(f.mnuEndereco));
  ASSERT_TRUE(G::Focus(f.dbeNMBairro));

  FailNext("GetBairro", "Serviço indisponível.");
  EXPECT_FALSE(G::Focus(f.dbeDSENDEEMPR));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Serviço indisponível."});
  EXPECT_EQ(f.cdsEmpresa.FieldByName("CDBAIRRO").AsString(), "0000000007");

  // The same failure at the post refuses it; the stored company keeps its neighbourhood.
  FailNext("GetBairro", "Serviço indisponível.");
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Serviço indisponível."});
  EXPECT_EQ(Sql("SELECT CDBAIRRO FROM EMPRESA WHERE CDEMPRESA = '05'"), "0000000007");
  ASSERT_TRUE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(Sql("SELECT CDBAIRRO FROM EMPRESA WHERE CDEMPRESA = '05'"), "0000000007");
}

// Any post, not only the confirm, ends with the neighbourhood check: when it fails the post is
// refused with the address page in front and nothing reaches the server.
TEST_F(BairroScreen, APostIsRefusedWhenItsNeighbourhoodCheckFails) {
  CompanyInCentro();
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  f.cdsEmpresa.FieldByName("NMEMPRESA").SetAsString("Quinta Nova");
  FailNext("GetPesqBairro", "Serviço indisponível.");
  EXPECT_ANY_THROW(f.cdsEmpresa.Post());
  EXPECT_EQ(Messages(), std::vector<std::string>{"Serviço indisponível."});
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Edit);
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshEndereco);
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '05'"), "Quinta");

  f.cdsEmpresa.Post();
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '05'"), "Quinta Nova");
  EXPECT_EQ(Sql("SELECT CDBAIRRO FROM EMPRESA WHERE CDEMPRESA = '05'"), "0000000007");
}

}  // namespace
}  // namespace ger
