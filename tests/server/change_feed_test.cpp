// The change number against the real server: a save, a delete, a representative's link and the
// notes each move their company past the number a seat holds, and only those come back; the
// logos travel as size and digest, their bytes by company code; two servers on one database
// number their saves as one.
#include "change_feed.h"

#include "around_the_screen.h"
#include "contract/rdm_empresa.h"
#include "schema.h"
#include "server_fixture.h"

using namespace gertest;
using ger::Bytes;
using ger::ChangeKind;
using ger::ChangeSet;
using ger::DataPacket;
using ger::Row;
using ger::ServerAnswer;
using ger::Value;
namespace json = boost::json;

namespace {

// One answer of GetEmpresa with the change number.
struct Delta {
  std::int64_t number = -1;
  bool complete = false;
  std::vector<std::string> deleted;
  DataPacket companies;
  std::vector<std::string> Codes() const {
    std::vector<std::string> out;
    for (const Row& r : companies.rows)
      out.push_back(std::get<std::string>(r[companies.IndexOf("CDEMPRESA")]));
    return out;
  }
};

class ChangeFeedTest : public ServerTest {
 protected:
  ger::TRdmEmpresa rdm{net_};

  static DataPacket Rows(const ServerAnswer& a) {
    EXPECT_TRUE(a.ok()) << a.error;
    return a.ok() ? ger::codec::DecodePacket(a.payload->Text()) : DataPacket{};
  }
  static Delta Read(const ServerAnswer& a) {
    Delta d;
    EXPECT_TRUE(a.ok()) << a.error;
    if (!a.ok()) return d;
    const json::object& o = a.payload->Value().as_object();
    d.number = o.at("numero").to_number<std::int64_t>();
    d.complete = o.at("completa").as_bool();
    for (const json::value& v : o.at("excluidas").as_array()) d.deleted.emplace_back(v.as_string());
    d.companies = ger::codec::DecodePacket(o.at("empresas"));
    return d;
  }
  Delta Since(std::int64_t n) { return Read(rdm.GetEmpresa("N", std::to_string(n))); }
  // Renames a company through SetEmpresa, as a seat saves it.
};

TEST(LogoDigest, IsSha256InHex) {
  EXPECT_EQ(ger::server::LogoDigest("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Two blocks of padding, and a message of whole blocks.
  EXPECT_EQ(ger::server::LogoDigest(std::string(56, 'a')),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(ger::server::LogoDigest(std::string(64, 'a')),
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
  EXPECT_EQ(ger::server::LogoDigest(""), "");
}

TEST_F(ChangeFeedTest, OnlyTheCompaniesChangedSinceTheNumberComeBackWithTheDeletedCodes) {
  Start({"--demo"});
  const Delta first = Read(rdm.GetEmpresa("N", ""));
  EXPECT_TRUE(first.complete);
  EXPECT_EQ(first.Codes(), (std::vector<std::string>{"01", "02", "03"}));
  const Delta none = Since(first.number);
  EXPECT_FALSE(none.complete);
  EXPECT_TRUE(none.companies.rows.empty());
  EXPECT_EQ(none.number, first.number);

  gertest::RenameThroughServer(rdm, "02", "Renomeada");
  // A change written around the server (another program) is numbered by the database too.
  Db().Execute("UPDATE EMPRESA SET NMEMPRESA = 'Por fora' WHERE CDEMPRESA = '01'");
  const Delta saved = Since(first.number);
  ASSERT_EQ(saved.Codes(), (std::vector<std::string>{"01", "02"}));
  EXPECT_GT(saved.number, first.number);
  EXPECT_EQ(std::get<std::string>(saved.companies.rows[1][saved.companies.IndexOf("NMEMPRESA")]),
            "Renomeada");
  // Who made it: the person of the call ("local" for a loopback server without people).
  EXPECT_EQ(
      std::get<std::string>(
          Db().Query("SELECT NMUSUALTERACAO FROM EMPRALTERACAO WHERE CDEMPRESA = '02'").rows[0][0]),
      "local");

  // The notes and a representative's link move their company too.
  ChangeSet note;
  note.fields = {{"CDEMPRESA", ger::FieldKind::String, 2}, {"DSOBSERVEMP", ger::FieldKind::Memo}};
  note.changes.push_back({ChangeKind::Insert, {}, {Value("03"), Value("Nota nova")}});
  Db().Execute("DELETE FROM NOTASEXPLICATIVAS WHERE CDEMPRESA = '03'");
  ASSERT_TRUE(rdm.SetNotasExplicativas(note).ok());
  const Delta noted = Since(saved.number);
  EXPECT_EQ(noted.Codes(), std::vector<std::string>{"03"});

  // A delete leaves the code; a refused one moves nothing.
  EXPECT_FALSE(rdm.Delete("01").ok());  // it has branches
  EXPECT_EQ(Since(noted.number).number, noted.number);
  Db().Execute("DELETE FROM FILIAL WHERE CDEMPRESA = '03'");
  ASSERT_TRUE(rdm.Delete("03").ok());
  const Delta gone = Since(noted.number);
  EXPECT_TRUE(gone.companies.rows.empty());
  EXPECT_EQ(gone.deleted, std::vector<std::string>{"03"});
  // Everything since the first read: the save and the delete, once each.
  const Delta all = Since(first.number);
  EXPECT_EQ(all.Codes(), (std::vector<std::string>{"01", "02"}));
  EXPECT_EQ(all.deleted, std::vector<std::string>{"03"});

  // A number ahead of the database's (a restore went back): the whole list.
  const Delta ahead = Since(gone.number + 100);
  EXPECT_TRUE(ahead.complete);
  EXPECT_EQ(ahead.Codes(), (std::vector<std::string>{"01", "02"}));
  // Bad numbers are refused, the plain call answers as it always did.
  EXPECT_FALSE(rdm.GetEmpresa("N", "-1").ok());
  EXPECT_FALSE(rdm.GetEmpresa("X").ok());
  EXPECT_EQ(Rows(rdm.GetEmpresa()).fields.size(), 71u);
}

// Other programs write the tables too: the database numbers each change in the writer's own
// transaction, and a change rolled back is never numbered.
TEST_F(ChangeFeedTest, ChangesWrittenAroundTheServerAreNumberedByTheDatabase) {
  Start({"--demo"});
  const Delta first = Read(rdm.GetEmpresa("N", ""));
  Db().Execute("DELETE FROM NOTASEXPLICATIVAS WHERE CDEMPRESA = '02'");
  Db().Execute("INSERT INTO NOTASEXPLICATIVAS (CDEMPRESA, DSOBSERVEMP) VALUES ('02', 'Por fora')");
  const Delta noted = Since(first.number);
  EXPECT_EQ(noted.Codes(), std::vector<std::string>{"02"});
  EXPECT_GT(noted.number, first.number);
  {
    ger::db::Transaction tx(Db());
    Db().Execute("UPDATE EMPRESA SET NMEMPRESA = 'Desfeita' WHERE CDEMPRESA = '01'");
  }  // rolled back
  EXPECT_EQ(Since(noted.number).number, noted.number);
  // A new company and a deleted one, with its dependents, as a plain script would.
  Db().Execute("UPDATE EMPRESA SET CDEMPRESA = '09' WHERE CDEMPRESA = '01'");
  for (const char* table : {"FILIAL", "NOTASEXPLICATIVAS", "EMPRREPRES", "EMPRESA"})
    Db().Execute(std::string("DELETE FROM ") + table + " WHERE CDEMPRESA = '03'");
  const Delta moved = Since(noted.number);
  EXPECT_EQ(moved.Codes(), std::vector<std::string>{"09"});
  EXPECT_EQ(moved.deleted, (std::vector<std::string>{"01", "03"}));
  // The schema made again (each start does) keeps the number where it was.
  ger::server::CreateSchema(Db());
  Db().Execute("UPDATE EMPRESA SET NMEMPRESA = 'Depois' WHERE CDEMPRESA = '02'");
  const Delta after = Since(moved.number);
  EXPECT_EQ(after.Codes(), std::vector<std::string>{"02"});
  {
    // Not yet committed: the number a seat reads is not past it, so the change is not skipped.
    ger::db::Transaction tx(Db());
    Db().Execute("UPDATE EMPRESA SET NMEMPRESA = 'Pendente' WHERE CDEMPRESA = '02'");
    const Delta pending = Since(after.number);
    EXPECT_EQ(pending.number, after.number);
    EXPECT_TRUE(pending.companies.rows.empty());
    tx.Commit();
  }
  const Delta committed = Since(after.number);
  EXPECT_EQ(committed.Codes(), std::vector<std::string>{"02"});
  EXPECT_GT(committed.number, after.number);
}

TEST_F(ChangeFeedTest, TheListCarriesEachLogosSizeAndDigestAndTheBytesComeByCompanyCode) {
  Start({"--demo"});
  std::string logo(50 * 1024, '\0');
  for (std::size_t i = 0; i < logo.size(); ++i) logo[i] = static_cast<char>(i * 7 + 3);
  // Saved through the server, and written around it (another program): both get their digest.
  DataPacket list = Rows(rdm.GetEmpresa());
  Row old = list.rows[0];
  Row now = old;
  now[list.IndexOf("DSARQLOGOEMPCLOB")] = Bytes{logo};
  ChangeSet delta;
  delta.fields = list.fields;
  delta.changes.push_back({ChangeKind::Update, old, now});
  ASSERT_TRUE(rdm.SetEmpresa(delta, false, false, false, false, false, false).ok());
  Db().Execute("UPDATE EMPRESA SET DSARQLOGOEMPCLOB = :L WHERE CDEMPRESA = '02'",
               {{"L", Bytes{logo + "x"}}});

  const DataPacket light = Rows(rdm.GetEmpresa("N"));
  ASSERT_EQ(light.rows.size(), 3u);
  const int bytes = light.IndexOf("DSARQLOGOEMPCLOB"), size = light.IndexOf("NRTAMLOGO"),
            digest = light.IndexOf("DSRESUMOLOGO");
  ASSERT_GE(bytes, 0);
  ASSERT_GE(size, 0);
  ASSERT_GE(digest, 0);
  EXPECT_EQ(light.fields[bytes].kind, ger::FieldKind::Blob);
  for (const Row& r : light.rows) EXPECT_TRUE(ger::IsNull(r[bytes]));
  EXPECT_EQ(std::get<double>(light.rows[0][size]), 50.0 * 1024);
  EXPECT_EQ(std::get<std::string>(light.rows[0][digest]), ger::server::LogoDigest(logo));
  EXPECT_EQ(std::get<std::string>(light.rows[1][digest]), ger::server::LogoDigest(logo + "x"));
  EXPECT_TRUE(ger::IsNull(light.rows[2][digest]));
  // Far smaller than the list with the bytes.
  EXPECT_LT(rdm.GetEmpresa("N").payload->Text().size() * 10,
            rdm.GetEmpresa().payload->Text().size());

  const DataPacket one = Rows(rdm.GetLogoEmpresa("01"));
  ASSERT_EQ(one.rows.size(), 1u);
  EXPECT_EQ(std::get<Bytes>(one.rows[0][one.IndexOf("DSARQLOGOEMPCLOB")]).data, logo);
  EXPECT_EQ(std::get<std::string>(one.rows[0][one.IndexOf("DSRESUMOLOGO")]),
            ger::server::LogoDigest(logo));
  EXPECT_TRUE(Rows(rdm.GetLogoEmpresa("99")).rows.empty());

  // A restart gives the logo written around the server its stored digest.
  Start({"--demo"});
  EXPECT_EQ(
      std::get<std::string>(
          Db().Query("SELECT DSRESUMOLOGO FROM EMPRALTERACAO WHERE CDEMPRESA = '02'").rows[0][0]),
      ger::server::LogoDigest(logo + "x"));
}

TEST_F(ChangeFeedTest, ASaveThatLeavesTheLogoKeepsItsDigestAndRecordsNoLogoChange) {
  Start({"--demo"});
  std::string logo(20 * 1024, '\0'), other = logo;
  for (std::size_t i = 0; i < logo.size(); ++i) {
    logo[i] = static_cast<char>(i * 7 + 3);
    other[i] = static_cast<char>(i * 11 + 5);
  }
  DataPacket list = Rows(rdm.GetEmpresa());
  Row now = list.rows[0];
  now[list.IndexOf("DSARQLOGOEMPCLOB")] = Bytes{logo};
  ChangeSet delta;
  delta.fields = list.fields;
  delta.changes.push_back({ChangeKind::Update, list.rows[0], now});
  ASSERT_TRUE(rdm.SetEmpresa(delta, false, false, false, false, false, false).ok());
  auto stamp = [&] {
    const Row r = Db().Query(
                          "SELECT NRTAMLOGO, DSRESUMOLOGO, NMUSUALTERACAO FROM EMPRALTERACAO "
                          "WHERE CDEMPRESA = '01'")
                      .rows.at(0);
    const auto* digest = std::get_if<std::string>(&r[1]);
    return std::to_string(std::get<double>(r[0])) + "|" + (digest ? *digest : "null") + "|" +
           (ger::IsNull(r[2]) ? "null" : "by");
  };
  const std::string size = std::to_string(20.0 * 1024) + "|";
  EXPECT_EQ(stamp(), size + ger::server::LogoDigest(logo) + "|by");
  gertest::RenameThroughServer(rdm, "01", "Primeira");
  EXPECT_EQ(stamp(), size + ger::server::LogoDigest(logo) + "|by");

  // Another program writes a logo of the same size: the next save's stamp has its digest.
  Db().Execute("UPDATE EMPRESA SET DSARQLOGOEMPCLOB = :L WHERE CDEMPRESA = '01'",
               {{"L", Bytes{other}}});
  gertest::RenameThroughServer(rdm, "01", "Primeira de novo");
  EXPECT_EQ(stamp(), size + ger::server::LogoDigest(other) + "|by");

  // The renames recorded the name only; the logo's change once, as size and digest.
  std::vector<std::string> columns;
  for (const Row& r : Db().Query("SELECT NMCOLUNAHISTORICO, DSDEPOISHISTORICO FROM HISTORICO "
                                 "WHERE CDEMPRESA = '01' AND IDOPERACAOHISTORICO = 'A' ORDER BY "
                                 "NRHISTORICO")
                          .rows)
    columns.push_back(std::get<std::string>(r[0]) + "=" + std::get<std::string>(r[1]));
  EXPECT_EQ(columns, (std::vector<std::string>{
                         "DSARQLOGOEMPCLOB=20480 bytes, SHA-256 " + ger::server::LogoDigest(logo),
                         "NMEMPRESA=Primeira", "NMEMPRESA=Primeira de novo"}));
}

TEST_F(ChangeFeedTest, TwoServersOnOneDatabaseNumberTheirSavesAsOne) {
  // One SQLite file is served by one server; several share a PostgreSQL database.
  if (gPgUrl.empty()) GTEST_SKIP() << "PostgreSQL only";
  Start({"--demo"});
  auto other = StartServer({}, dbUrl_);
  ger::TNetConnection otherNet;
  otherNet.Port = other->Port();
  ger::TRdmEmpresa there{otherNet};
  const Delta first = Read(rdm.GetEmpresa("N", ""));
  gertest::RenameThroughServer(there, "01", "Pelo outro servidor");
  gertest::RenameThroughServer(rdm, "02", "Por este");
  const Delta here = Since(first.number);
  EXPECT_EQ(here.Codes(), (std::vector<std::string>{"01", "02"}));
  EXPECT_GE(here.number, first.number + 2);
  const Delta seen = Read(there.GetEmpresa("N", std::to_string(first.number)));
  EXPECT_EQ(seen.Codes(), here.Codes());
  EXPECT_EQ(seen.number, here.number);
}

}  // namespace
