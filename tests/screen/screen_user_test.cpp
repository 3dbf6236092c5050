// What the user of the company screen sees and what reaches the database, told as the user's
// stories: the registration box following each company's kind, numbers emptied on the screen, and
// another user saving the same company first.
#include "data/packet.h"
#include "screen_fixture.h"

namespace ger {
namespace {

namespace G = ui::Gestures;

// The result of a server answer that must have come back (null after a reported failure).
boost::json::value Answered(const ServerAnswer& a, const char* method) {
  if (!a.ok()) {
    ADD_FAILURE() << method << " was not answered: " << a.error;
    return nullptr;
  }
  return a.payload->Value();
}

TEST_F(EmpresaScreen, RegistrationMaskFollowsEachCompanysKindAsTheListMoves) {
  InsertCompany("05", "Jurídica");  // kind J, a CNPJ
  db_->Execute(
      "INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA, IDTPIJUREMPR, NRINSJUREMPR) VALUES "
      "('06', 'Física', 'F', '52998224725'), ('07', 'Outra', 'I', '12345678901234567890'), "
      "('08', 'Alfanumérica', 'J', '12ABC34501DE35')");
  TfrmEmpresa& f = Open();
  TField& registration = f.cdsEmpresa.FieldByName("NRINSJUREMPR");
  auto expectShown = [&](const std::string& kind, const std::string& text) {
    EXPECT_EQ(registration.EditMask(), Consiste::PictPess(kind)) << kind;
    EXPECT_EQ(f.dbeCGCEmpresa.Text(), text) << kind;
  };
  expectShown("J", "11.222.333/0001-81");
  ASSERT_TRUE(G::GridRow(f.dbgPadrao, 1));
  expectShown("F", "529.982.247-25");
  ASSERT_TRUE(G::GridRow(f.dbgPadrao, 2));
  expectShown("I", "12345678901234567890");
  ASSERT_TRUE(G::GridRow(f.dbgPadrao, 3));
  expectShown("J", "12.ABC.345/01DE-35");
  ASSERT_TRUE(G::GridRow(f.dbgPadrao, 0));
  expectShown("J", "11.222.333/0001-81");

  // A new company types a plain number; cancelling it shows the current company's again.
  ASSERT_TRUE(G::GridRow(f.dbgPadrao, 1));
  ASSERT_TRUE(G::Click(f.sbtIncluir));
  EXPECT_EQ(registration.EditMask(), Consiste::PictPess("I"));
  ASSERT_TRUE(G::Click(f.sbtCancelar));
  expectShown("F", "529.982.247-25");
}

// The six boxes whose emptiness the save call reports: emptied on the screen, they are stored as
// nothing, not as zero or an old value.
TEST_F(EmpresaScreen, NumbersAndDatesEmptiedOnTheScreenAreStoredAsNull) {
  InsertCompany("05", "Quinta");
  TfrmEmpresa& f = Open();
  struct Box {
    TTabSheet& page;
    TControl& box;
    const char* typed;
  } boxes[] = {{f.tshDadAdic, f.dbeVrTxInfra, "1,5"},
               {f.tshDadAdic, f.dbdDataReg, "03/02/2001"},
               {f.tshFinanceiro, f.DBEPerMulta, "2"},
               {f.tshFinanceiro, f.DBEPerMora, "0,25"},
               {f.tshInformacoesOficiais, f.dbeNRCAGED, "1234567"},
               {f.tshFormulario, f.dbeCDEXTERNO, "EXT-1"}};
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  for (const Box& b : boxes) {
    ASSERT_TRUE(G::Page(b.page)) << b.page.Name();
    ASSERT_TRUE(G::Type(b.box, b.typed)) << b.box.Name();
  }
  ASSERT_TRUE(G::Click(f.sbtConfirmar)) << ::testing::PrintToString(Messages());
  const std::string row = "FROM EMPRESA WHERE CDEMPRESA = '05'";
  EXPECT_EQ(Sql("SELECT VRPETXADMPOR " + row), "1,5");
  EXPECT_EQ(Sql("SELECT DTREGJUNCOM " + row), "03/02/2001");
  EXPECT_EQ(Sql("SELECT VRPEMULEMPR " + row), "2");
  EXPECT_EQ(Sql("SELECT VRPEMOREMPR " + row), "0,25");
  EXPECT_EQ(Sql("SELECT NRCAGED " + row), "1234567");
  EXPECT_EQ(Sql("SELECT CDEXTERNO " + row), "EXT-1");

  ASSERT_TRUE(G::Click(f.sbtAlterar));
  for (const Box& b : boxes) {
    ASSERT_TRUE(G::Page(b.page)) << b.page.Name();
    ASSERT_TRUE(G::Clear(b.box)) << b.box.Name();
  }
  ASSERT_TRUE(G::Click(f.sbtConfirmar)) << ::testing::PrintToString(Messages());
  for (const char* column :
       {"VRPETXADMPOR", "DTREGJUNCOM", "VRPEMULEMPR", "VRPEMOREMPR", "NRCAGED", "CDEXTERNO"})
    EXPECT_EQ(Sql(std::string("SELECT ") + column + " " + row), "null") << column;
  EXPECT_EQ(Sql("SELECT NMEMPRESA " + row), "Quinta");
}

// After a post the flags go in the order of the boxes; after a delete the last two (CAGED number
// and external code) are sent the other way round, which the server reads accordingly.
TEST_F(EmpresaScreen, EmptyBoxFlagsFollowThePostOrderAndTheDeleteOrder) {
  InsertCompany("05", "Quinta");
  InsertCompany("06", "Sexta");
  db_->Execute("UPDATE EMPRESA SET CDEXTERNO = 'EXT-6' WHERE CDEMPRESA = '06'");
  TfrmEmpresa& f = Open();
  TNetConnection hooks;
  hooks.Port = server_->Port();
  auto lastFlags = [&] {
    boost::json::value args = Answered(hooks.Call("__args", {"SetEmpresa"}), "__args");
    std::vector<bool> flags;
    if (!args.is_array() || args.as_array().size() != 7) {
      ADD_FAILURE() << "SetEmpresa arguments: " << args;
      return flags;
    }
    for (std::size_t i = 1; i < 7; ++i) flags.push_back(args.as_array()[i].as_bool());
    return flags;
  };

  // Company 05 has every box empty but the CAGED number: flag 5 false, flag 6 (external) true.
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Page(f.tshInformacoesOficiais));
  ASSERT_TRUE(G::Type(f.dbeNRCAGED, "77"));
  ASSERT_TRUE(G::Click(f.sbtConfirmar)) << ::testing::PrintToString(Messages());
  EXPECT_EQ(lastFlags(), (std::vector<bool>{true, true, true, true, false, true}));
  EXPECT_EQ(Sql("SELECT NRCAGED FROM EMPRESA WHERE CDEMPRESA = '05'"), "77");

  ASSERT_TRUE(G::Page(f.tshFolhaDados));
  // Deleting 05 leaves 06 on the screen, CAGED empty and external code filled: flag 5 (now the
  // external code) false, flag 6 (the CAGED number) true.
  ASSERT_TRUE(G::GridRow(f.dbgPadrao, 0));
  dialogs_->Answer(TModalResult::mrYes);
  ASSERT_TRUE(G::Click(f.sbtExcluir)) << ::testing::PrintToString(Messages());
  ASSERT_EQ(f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(), "06");
  EXPECT_EQ(lastFlags(), (std::vector<bool>{true, true, true, true, false, true}));
  EXPECT_EQ(Sql("SELECT CDEXTERNO FROM EMPRESA WHERE CDEMPRESA = '06'"), "EXT-6");
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM EMPRESA WHERE CDEMPRESA = '05'"), "0");
}

// Another user, on a connection of his own, saves the same company while this screen edits it.
TEST_F(EmpresaScreen, AChangeSavedMeanwhileByAnotherUserShowsTheWholeConflictSentence) {
  InsertCompany("05", "Quinta");
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Quinta Nova"));

  TNetConnection other;
  other.Port = server_->Port();
  TClientDataSet theirs("cdsOutroUsuario");
  theirs.SetData(codec::DecodePacket(Answered(other.Call("GetEmpresa"), "GetEmpresa")));
  ASSERT_EQ(theirs.RecordCount(), 1);
  theirs.Edit();
  theirs.FieldByName("DSEMAILEMPRESA").SetAsString("outro@empresa.com.br");
  theirs.Post();
  boost::json::array args{codec::ToJson(theirs.GetDelta())};
  for (int i = 0; i < 6; ++i) args.push_back(false);
  ServerAnswer saved = other.Call("SetEmpresa", args);
  ASSERT_TRUE(saved.ok()) << saved.error;

  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "Registro alterado por outro usuário. Atualize os dados e tente "
                            "novamente.\nCampos alterados pelo outro usuário, já mostrados como "
                            "estão gravados: Email (Formulário)."});
  // The other user's change stays; this screen's is undone, nothing is left pending.
  EXPECT_EQ(Sql("SELECT DSEMAILEMPRESA FROM EMPRESA"), "outro@empresa.com.br");
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA"), "Quinta");
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Browse);
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);
  EXPECT_EQ(f.cdsEmpresa.FieldByName("NMEMPRESA").AsString(), "Quinta");
  EXPECT_EQ(f.cdsEmpresa.FieldByName("DSEMAILEMPRESA").AsString(), "outro@empresa.com.br");
}

}  // namespace
}  // namespace ger
