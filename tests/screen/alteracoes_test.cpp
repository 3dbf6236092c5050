// The company list kept by the change number, against the real server: another seat's save and
// delete reach this screen with its next read and only the companies changed are read; the logos
// come by company code when the logo page, an edit or a delete needs them, once per digest.
#include <boost/json.hpp>

#include "other_seat_fixture.h"

namespace ger {
namespace {

namespace G = ui::Gestures;

class Alteracoes : public OtherSeatScreen {
 protected:
  std::string Hook(const std::string& hook, const std::string& method) {
    ServerAnswer a = other_.Call(hook, {method});
    EXPECT_TRUE(a.ok()) << a.error;
    return a.ok() ? std::string(a.payload->Text()) : std::string();
  }
};

TEST_F(Alteracoes, AnotherSeatsSaveAndDeleteComeWithTheNextReadAndOnlyTheyAreRead) {
  InsertCompany("01", "Um");
  InsertCompany("02", "Dois");
  InsertCompany("03", "Três");
  TfrmEmpresa& f = Open();
  ASSERT_EQ(f.cdsEmpresa.RecordCount(), 3);
  ASSERT_TRUE(f.cdsEmpresa.Locate("CDEMPRESA", {Value("03")}));

  RenameElsewhere("02", "Dois renomeada");
  // Written around the server (another program): numbered by the database all the same.
  db_->Execute("UPDATE EMPRESA SET NMEMPRESA = 'Um por fora' WHERE CDEMPRESA = '01'");
  ASSERT_TRUE(G::Click(f.sbtVerificar)) << ::testing::PrintToString(Messages());
  EXPECT_EQ(NameOf(f, "02"), "Dois renomeada");
  EXPECT_EQ(NameOf(f, "01"), "Um por fora");
  EXPECT_EQ(f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(), "03");
  const boost::json::value args = boost::json::parse(Hook("__args", "GetEmpresa"));
  ASSERT_EQ(args.as_array().size(), 2u);
  EXPECT_EQ(args.as_array()[0], "N");
  EXPECT_NE(args.as_array()[1], "");

  // This seat's confirm reads its own row and the other seat's delete, the cursor on its row.
  db_->Execute("DELETE FROM FILIAL");
  ASSERT_TRUE(rdm_.Delete("02").ok());
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Três alterada"));
  ASSERT_TRUE(G::Click(f.sbtConfirmar)) << ::testing::PrintToString(Messages());
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 2);
  EXPECT_EQ(NameOf(f, "02"), "none");
  EXPECT_EQ(f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(), "03");
  EXPECT_EQ(f.cdsEmpresa.FieldByName("NMEMPRESA").AsString(), "Três alterada");
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);
  // A new company goes to its place in the code order.
  ASSERT_TRUE(G::Click(f.sbtIncluir));
  ASSERT_TRUE(G::Type(f.dbeCdEmpresa, "02"));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Nova dois"));
  ASSERT_TRUE(G::Type(f.dbeRazaoSoc, "Nova Dois Ltda"));
  ASSERT_TRUE(G::Type(f.dbeCGCEmpresa, "11444777000161"));
  TypeAddress(f);
  ASSERT_TRUE(G::Click(f.sbtConfirmar)) << ::testing::PrintToString(Messages());
  EXPECT_EQ(f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(), "02");
  EXPECT_EQ(f.cdsEmpresa.RecNo(), 2);
}

TEST_F(Alteracoes, TheLogoIsReadByCodeWhenNeededOncePerDigestAndSavedAsStored) {
  InsertCompany("01", "Um");
  InsertCompany("02", "Dois");
  InsertCompany("03", "Três");
  const std::string logo(20000, '\x42');
  db_->Execute("UPDATE EMPRESA SET DSARQLOGOEMPCLOB = :L", {{"L", Bytes{logo}}});
  db_->Execute("UPDATE EMPRESA SET DSARQLOGOEMPCLOB = :L WHERE CDEMPRESA = '03'",
               {{"L", Bytes{std::string(30000, '\x43')}}});
  TfrmEmpresa& f = Open();
  // The list does not carry the bytes.
  EXPECT_TRUE(f.cdsEmpresa.FieldByName("DSARQLOGOEMPCLOB").IsNull());
  EXPECT_EQ(Hook("__calls", "GetLogoEmpresa"), "0");

  ASSERT_TRUE(G::Click(f.mnuLogotipo));
  EXPECT_TRUE(f.cdsEmpresa.FieldByName("DSARQLOGOEMPCLOB").AsBytes().data == logo);
  EXPECT_EQ(Hook("__calls", "GetLogoEmpresa"), "1");
  // The other company's logo has the same digest: the seat's copy serves it.
  ASSERT_TRUE(f.cdsEmpresa.Locate("CDEMPRESA", {Value("02")}));
  EXPECT_TRUE(f.cdsEmpresa.FieldByName("DSARQLOGOEMPCLOB").AsBytes().data == logo);
  EXPECT_EQ(Hook("__calls", "GetLogoEmpresa"), "1");
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);

  // An edit started on another page fetches it first; the save keeps the stored logo.
  ASSERT_TRUE(G::Click(f.mnuFormulario));
  ASSERT_TRUE(f.cdsEmpresa.Locate("CDEMPRESA", {Value("01")}));
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Um alterada"));
  ASSERT_TRUE(G::Click(f.sbtConfirmar)) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '01'"), "Um alterada");
  EXPECT_EQ(Sql("SELECT length(DSARQLOGOEMPCLOB) FROM EMPRESA WHERE CDEMPRESA = '01'"), "20000");
  EXPECT_TRUE(f.cdsEmpresa.FieldByName("DSARQLOGOEMPCLOB").AsBytes().data == logo);
  // A delete held against a row whose logo was never read holds the stored logo too: it is not
  // taken for a conflict.
  db_->Execute("DELETE FROM FILIAL");
  dialogs_->Answer(TModalResult::mrYes);
  ASSERT_TRUE(f.cdsEmpresa.Locate("CDEMPRESA", {Value("03")}));
  ASSERT_TRUE(G::Click(f.sbtExcluir)) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM EMPRESA WHERE CDEMPRESA = '03'"), "0");
  EXPECT_EQ(Messages(), std::vector<std::string>{"Confirma exclusão ?"});
}

}  // namespace
}  // namespace ger
