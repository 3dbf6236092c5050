// The state registration checked by the rules of the company's state: on leaving its box and at
// confirm, only when this edit changed it or the state; a stored one that fails shows in the
// status bar and does not stop the company's other changes.
#include "screen_fixture.h"

namespace ger {
namespace {

namespace G = ui::Gestures;

const std::string kInvalidaSP = "Inscrição estadual inválida para o estado SP.";

// A new company with everything the confirm demands but the state registration and the address.
void TypeNewCompany(TfrmEmpresa& f) {
  ASSERT_TRUE(G::Click(f.sbtIncluir));
  ASSERT_TRUE(G::Type(f.dbeCdEmpresa, "07"));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Sétima"));
  ASSERT_TRUE(G::Type(f.dbeRazaoSoc, "Sétima Comércio Ltda"));
  ASSERT_TRUE(G::Type(f.dbeCGCEmpresa, "11444777000161"));
}

TEST_F(EmpresaScreen, ALeftRegistrationIsCheckedByTheStateAndAWrongOneKeepsTheUserInTheBox) {
  TfrmEmpresa& f = Open();
  TypeNewCompany(f);
  TypeAddress(f);
  ASSERT_TRUE(G::Page(f.tshFormulario));
  // SEFAZ-SP's example with its last check digit changed.
  ASSERT_TRUE(G::Type(f.dbeInscEstaEmpr, "110.042.490.115"));
  EXPECT_FALSE(G::Type(f.dbeEmail, "x@exemplo.com.br"));
  EXPECT_EQ(Messages(), std::vector<std::string>{kInvalidaSP});
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshFormulario);
  EXPECT_EQ(f.ActiveControl(), &f.dbeInscEstaEmpr);

  ASSERT_TRUE(G::Clear(f.dbeInscEstaEmpr));
  ASSERT_TRUE(G::Type(f.dbeInscEstaEmpr, "isento"));
  ASSERT_TRUE(G::Type(f.dbeEmail, "x@exemplo.com.br"));
  ASSERT_TRUE(G::Clear(f.dbeInscEstaEmpr));
  ASSERT_TRUE(G::Type(f.dbeInscEstaEmpr, "110.042.490.114"));
  ASSERT_TRUE(G::Click(f.sbtConfirmar)) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(Sql("SELECT NRINSCESTA FROM EMPRESA WHERE CDEMPRESA = '07'"), "110.042.490.114");
  EXPECT_EQ(f.pnlStatus.Caption(), "");
}

TEST_F(EmpresaScreen, WithoutAStateTheCheckWaitsForTheConfirmWhichBringsTheFormPageForward) {
  TfrmEmpresa& f = Open();
  TypeNewCompany(f);
  ASSERT_TRUE(G::Type(f.dbeInscEstaEmpr, "110.042.490.115"));
  ASSERT_TRUE(G::Type(f.dbeEmail, "x@exemplo.com.br"));  // no state yet: nothing to check by
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  TypeAddress(f);
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{kInvalidaSP});
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshFormulario);
  EXPECT_EQ(f.ActiveControl(), &f.dbeInscEstaEmpr);
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Insert);
  // Refused before the placeholders: the empty optional texts are still empty.
  EXPECT_EQ(f.cdsEmpresa.FieldByName("NRCEPEMPR").AsString(), "");
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM EMPRESA"), "0");
}

TEST_F(EmpresaScreen, AStoredInvalidRegistrationSavesForOtherChangesButNotWhenChanged) {
  InsertCompany("05", "Quinta");
  db_->Execute("UPDATE EMPRESA SET NRINSCESTA = '110.042.490.115' WHERE CDEMPRESA = '05'");
  InsertCompany("06", "Sexta");
  db_->Execute("UPDATE EMPRESA SET NRINSCESTA = '110.042.490.114' WHERE CDEMPRESA = '06'");
  TfrmEmpresa& f = Open();
  ASSERT_EQ(f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(), "05");
  EXPECT_EQ(f.pnlStatus.Caption(), kInvalidaSP);
  // The status bar follows the selected company.
  f.cdsEmpresa.Next();
  EXPECT_EQ(f.pnlStatus.Caption(), "");
  f.cdsEmpresa.Prior();
  EXPECT_EQ(f.pnlStatus.Caption(), kInvalidaSP);

  // Another field changed, the registration only passed through: saved as it is.
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Quinta Filial"));
  ASSERT_TRUE(G::Focus(f.dbeInscEstaEmpr));
  ASSERT_TRUE(G::Type(f.dbeEmail, "q@exemplo.com.br"));
  ASSERT_TRUE(G::Click(f.sbtConfirmar)) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '05'"), "Quinta Filial");
  EXPECT_EQ(Sql("SELECT NRINSCESTA FROM EMPRESA WHERE CDEMPRESA = '05'"), "110.042.490.115");
  EXPECT_EQ(f.pnlStatus.Caption(), kInvalidaSP);

  // The registration changed to another wrong one: the confirm refuses it.
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeInscEstaEmpr));
  ASSERT_TRUE(G::Type(f.dbeInscEstaEmpr, "110.042.490.116"));
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{kInvalidaSP});
  EXPECT_EQ(f.ActiveControl(), &f.dbeInscEstaEmpr);
  ASSERT_TRUE(G::Click(f.sbtCancelar));
  Messages();
  EXPECT_EQ(Sql("SELECT NRINSCESTA FROM EMPRESA WHERE CDEMPRESA = '05'"), "110.042.490.115");
}

TEST_F(EmpresaScreen, AChangedStateChecksTheUnchangedRegistrationAgain) {
  InsertCompany("05", "Quinta");
  db_->Execute("UPDATE EMPRESA SET NRINSCESTA = '110.042.490.114' WHERE CDEMPRESA = '05'");
  TfrmEmpresa& f = Open();
  EXPECT_EQ(f.pnlStatus.Caption(), "");
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Page(f.tshEndereco));
  ASSERT_TRUE(G::Clear(f.dbeSgEstado));
  ASSERT_TRUE(G::Type(f.dbeSgEstado, "MG"));
  ASSERT_TRUE(G::Clear(f.dbeCdMunicipio));
  ASSERT_TRUE(G::Type(f.dbeCdMunicipio, "0010"));
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Inscrição estadual inválida para o estado MG."});
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshFormulario);
  EXPECT_EQ(f.ActiveControl(), &f.dbeInscEstaEmpr);
  // SEF-MG's example passes in Minas Gerais.
  ASSERT_TRUE(G::Clear(f.dbeInscEstaEmpr));
  ASSERT_TRUE(G::Type(f.dbeInscEstaEmpr, "062.307.904/0081"));
  ASSERT_TRUE(G::Click(f.sbtConfirmar)) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Sql("SELECT SGESTADO FROM EMPRESA WHERE CDEMPRESA = '05'"), "MG");
}

}  // namespace
}  // namespace ger
