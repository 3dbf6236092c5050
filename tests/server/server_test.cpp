// The application server end to end: the real binary, real HTTP, a real database.
#include <httplib.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <tuple>

#include "core/consiste_text.h"
#include "server_fixture.h"

using namespace gertest;
using ger::ChangeKind;
using ger::ChangeSet;
using ger::DataPacket;
using ger::Row;
using ger::Value;
namespace json = boost::json;

namespace {

const char* kConflict = "Registro alterado por outro usuário. Atualize os dados e tente novamente.";
const char* kDeleted = "Registro excluído por outro usuário. Atualize os dados.";

std::string S(const Value& v) {
  return ger::IsNull(v) ? "<null>" : std::get<std::string>(v);
}

// A company change set shaped as the screen sends it: the fields of GetEmpresa's packet.
struct CompanySet {
  DataPacket shape;
  ChangeSet set;
  explicit CompanySet(DataPacket s) : shape(std::move(s)) { set.fields = shape.fields; }
  Row Blank() const { return Row(shape.fields.size()); }
  Row& Put(Row& row, const std::string& column, Value v) const {
    row.at(shape.IndexOf(column)) = std::move(v);
    return row;
  }
  void Insert(Row r) { set.changes.push_back({ChangeKind::Insert, {}, std::move(r)}); }
  void Update(Row o, Row n) {
    set.changes.push_back({ChangeKind::Update, std::move(o), std::move(n)});
  }
  void Delete(Row o) { set.changes.push_back({ChangeKind::Delete, std::move(o), {}}); }
  json::value Json() const { return ger::codec::ToJson(set); }
};

json::array Flags(bool a = false, bool b = false, bool c = false, bool d = false, bool e = false,
                  bool f = false) {
  return {a, b, c, d, e, f};
}

json::array SetArgs(const CompanySet& cs, json::array flags = Flags()) {
  json::array args{cs.Json()};
  for (auto& f : flags) args.push_back(f);
  return args;
}

Row CompanyRow(const CompanySet& cs, const std::string& code, const std::string& name) {
  Row r = cs.Blank();
  cs.Put(r, "CDEMPRESA", code);
  cs.Put(r, "NMEMPRESA", name);
  return r;
}

}  // namespace

// --- Start, reference data, demo ------------------------------------------------------------

TEST_F(ServerTest, DemoCompaniesArriveInTheRecordLayout) {
  Start({"--demo"});
  DataPacket p = Packet("GetEmpresa");
  ASSERT_EQ(p.fields.size(), 71u);
  EXPECT_EQ(p.fields[0].name, "CDEMPRESA");
  EXPECT_EQ(p.fields[18],
            (ger::FieldDef{"NMMUNICIPIO", ger::FieldKind::String, 40, ger::ProviderFlags::None()}));
  EXPECT_EQ(p.fields[14].name, "NRREGJUNCOM");
  EXPECT_EQ(p.fields[14].flags, ger::ProviderFlags::InWhere());
  EXPECT_EQ(p.fields[15].kind, ger::FieldKind::DateTime);
  EXPECT_EQ(p.fields[22].kind, ger::FieldKind::Float);
  EXPECT_EQ(p.fields[27], (ger::FieldDef{"DSMENSEMAILNFE", ger::FieldKind::String, 2000,
                                         ger::ProviderFlags::Default()}));
  EXPECT_EQ(p.fields[68].kind, ger::FieldKind::Blob);
  EXPECT_EQ(p.fields[70].name, "CDEXTERNO");
  ASSERT_EQ(p.rows.size(), 3u);
  for (const Row& r : p.rows) {
    EXPECT_TRUE(ger::Consiste::ValidaCNPJ(S(r[12]))) << S(r[12]);
    // No picture without the file it came from: the demo holds what real data does.
    EXPECT_TRUE(ger::IsNull(r[68]));
    EXPECT_EQ(S(r[52]), "<null>");
  }
  EXPECT_EQ(Packet("GetVParGeral").rows.size(), 1u);
  EXPECT_EQ(Packet("getRepresentante", {"01", ""}).rows.size(), 2u);
}

TEST_F(ServerTest, ReferenceDataIsLoadedWholeAndOnlyOnce) {
  Start();
  auto count = [&](const char* table) {
    return std::get<std::int64_t>(
        Db().Query(std::string("SELECT COUNT(*) AS N FROM ") + table).rows.at(0)[0]);
  };
  EXPECT_EQ(count("ESTADO"), 27);
  EXPECT_EQ(count("MUNICIPIO"), 5570);
  EXPECT_EQ(count("CNAE"), 1332);
  EXPECT_EQ(count("NATUREZA"), 92);
  EXPECT_EQ(count("EMPRESA"), 0);
  DataPacket longName = Db().Query(
      "SELECT NMMUNICIPIO FROM MUNICIPIO WHERE CDIBGE IN ('5105507', '2209658') ORDER BY CDIBGE");
  ASSERT_EQ(longName.rows.size(), 2u);
  EXPECT_EQ(S(longName.rows[0][0]), "São Francisco de Assis do Piauí");
  EXPECT_EQ(S(longName.rows[1][0]), "Vila Bela da Santíssima Trindade");
  Start();  // a second start adds nothing
  EXPECT_EQ(count("MUNICIPIO"), 5570);
  // Lookups with the all-switch.
  EXPECT_EQ(Packet("GetNatureza", {"", "T"}).rows.size(), 92u);
  DataPacket one = Packet("GetCNAE", {"6201501", ""});
  ASSERT_EQ(one.rows.size(), 1u);
  EXPECT_EQ(one.fields[1], (ger::FieldDef{"DSCNAE", ger::FieldKind::String, 200}));
  EXPECT_TRUE(Packet("GetFPAS", {"999", ""}).rows.empty());
  EXPECT_EQ(Packet("GetFPAS", {"", "T"}).rows.size(), 2u);
}

// --- SetEmpresa -----------------------------------------------------------------------------

TEST_F(ServerTest, SetEmpresaStoresEveryColumnAndTheEmptyBoxFlagsStoreNull) {
  Start();
  CompanySet cs(Packet("GetEmpresa"));
  Row r = CompanyRow(cs, "10", "Nova");
  cs.Put(r, "NMMUNICIPIO", "Vila Bela da Santíssima Trindade");
  cs.Put(r, "VRPETXADMPOR", 1.5);
  cs.Put(r, "DTREGJUNCOM", ger::DateTime::FromParts(2001, 2, 3));
  cs.Put(r, "VRPEMULEMPR", 2.0);
  cs.Put(r, "VRPEMOREMPR", 0.5);
  cs.Put(r, "NRCAGED", 1234567.0);
  cs.Put(r, "CDEXTERNO", "EXT");
  cs.Put(r, "IDCTBBAIXAEMPR", "S");
  cs.Put(r, "DSARQLOGOEMPCLOB", ger::Bytes{std::string("\x89PNG\0\x01", 6)});
  cs.Insert(r);
  // Flags: fee and fine empty, the rest filled.
  EXPECT_TRUE(Ok("SetEmpresa", SetArgs(cs, Flags(true, false, true))).is_null());
  DataPacket p = Packet("GetEmpresa");
  ASSERT_EQ(p.rows.size(), 1u);
  const Row& got = p.rows[0];
  EXPECT_TRUE(ger::IsNull(got[p.IndexOf("VRPETXADMPOR")]));
  EXPECT_TRUE(ger::IsNull(got[p.IndexOf("VRPEMULEMPR")]));
  EXPECT_EQ(std::get<double>(got[p.IndexOf("VRPEMOREMPR")]), 0.5);
  EXPECT_EQ(std::get<ger::DateTime>(got[p.IndexOf("DTREGJUNCOM")]),
            ger::DateTime::FromParts(2001, 2, 3));
  EXPECT_EQ(S(got[p.IndexOf("NMMUNICIPIO")]), "Vila Bela da Santíssima Trindade");
  EXPECT_EQ(S(got[p.IndexOf("IDCTBBAIXAEMPR")]), "S");  // carries no update flag, still stored
  EXPECT_EQ(std::get<ger::Bytes>(got[p.IndexOf("DSARQLOGOEMPCLOB")]).data,
            std::string("\x89PNG\0\x01", 6));

  // Update: the other four flags.
  CompanySet up(p);
  Row n = got;
  up.Put(n, "NMEMPRESA", "Renomeada");
  up.Update(got, n);
  Ok("SetEmpresa", SetArgs(up, Flags(false, true, false, true, true, true)));
  DataPacket after = Packet("GetEmpresa");
  const Row& a = after.rows.at(0);
  EXPECT_EQ(S(a[after.IndexOf("NMEMPRESA")]), "Renomeada");
  for (const char* col : {"DTREGJUNCOM", "VRPEMOREMPR", "NRCAGED", "CDEXTERNO"})
    EXPECT_TRUE(ger::IsNull(a[after.IndexOf(col)])) << col;
}

TEST_F(ServerTest, AfterADeleteTheLastTwoFlagsSwap) {
  Start();
  CompanySet seed(Packet("GetEmpresa"));
  seed.Insert(CompanyRow(seed, "01", "Velha"));
  Ok("SetEmpresa", SetArgs(seed));
  CompanySet cs(Packet("GetEmpresa"));
  Row fresh = CompanyRow(cs, "02", "Nova");
  cs.Put(fresh, "NRCAGED", 7.0);
  cs.Put(fresh, "CDEXTERNO", "X9");
  cs.Delete(Packet("GetEmpresa").rows.at(0));
  cs.Insert(fresh);
  // Fifth flag true: with a delete in the set it stands for the external code.
  Ok("SetEmpresa", SetArgs(cs, Flags(false, false, false, false, true, false)));
  DataPacket p = Packet("GetEmpresa");
  ASSERT_EQ(p.rows.size(), 1u);
  EXPECT_EQ(S(p.rows[0][0]), "02");
  EXPECT_TRUE(ger::IsNull(p.rows[0][p.IndexOf("CDEXTERNO")]));
  EXPECT_EQ(std::get<double>(p.rows[0][p.IndexOf("NRCAGED")]), 7.0);
}

TEST_F(ServerTest, ASaveTheDatabaseRefusesForAnEmptyColumnSaysWhichColumn) {
  Start();
  // A column a newer version added, that cannot be empty and that this version does not fill.
  if (!gPgUrl.empty()) {
    Db().Execute("ALTER TABLE EMPRESA ADD COLUMN NOVA VARCHAR(5) NOT NULL");
  } else {
    std::string sql =
        S(Db().Query("SELECT sql FROM sqlite_master WHERE name = 'EMPRESA'").rows.at(0).at(0));
    sql.insert(sql.rfind(')'), ", NOVA VARCHAR(5) NOT NULL");
    Db().ExecuteScript("DROP TABLE EMPRESA; " + sql);
  }
  CompanySet cs(Packet("GetEmpresa"));
  cs.Insert(CompanyRow(cs, "30", "Nova"));
  EXPECT_EQ(Err("SetEmpresa", SetArgs(cs)),
            "O banco de dados exige o campo EMPRESA.NOVA, que não foi informado; nada foi "
            "gravado.");
  EXPECT_TRUE(Packet("GetEmpresa").rows.empty());
}

TEST_F(ServerTest, AChangeSetWithOneBadRowWritesNothing) {
  Start();
  // What the user reads for each refusal.
  const char* const refusal[] = {"Já existe um registro com esta chave.",
                                 "O valor do campo NMEMPRESA excede 40 caracteres.",
                                 "O campo CDEMPRESA deve ser informado."};
  for (int variant = 0; variant < 3; ++variant) {
    CompanySet cs(Packet("GetEmpresa"));
    cs.Insert(CompanyRow(cs, "20", "Boa"));
    if (variant == 0) cs.Insert(CompanyRow(cs, "20", "Chave repetida"));
    if (variant == 1) cs.Insert(CompanyRow(cs, "21", std::string(41, 'x')));  // 41 > 40
    if (variant == 2) cs.Insert(CompanyRow(cs, "", "Sem código"));
    EXPECT_EQ(Err("SetEmpresa", SetArgs(cs)), refusal[variant]) << "variant " << variant;
    EXPECT_TRUE(Packet("GetEmpresa").rows.empty()) << "variant " << variant;
  }
  // A code another user has stored meanwhile.
  CompanySet first(Packet("GetEmpresa"));
  first.Insert(CompanyRow(first, "23", "Primeira"));
  Ok("SetEmpresa", SetArgs(first));
  EXPECT_EQ(Err("SetEmpresa", SetArgs(first)), "Já existe um registro com esta chave.");
  EXPECT_EQ(Packet("GetEmpresa").rows.size(), 1u);
  Db().Execute("DELETE FROM EMPRESA");
  // A 40-character name with accents fits: sizes count characters.
  CompanySet ok(Packet("GetEmpresa"));
  std::string forty;
  for (int i = 0; i < 40; ++i) forty += "é";
  ok.Insert(CompanyRow(ok, "22", forty));
  Ok("SetEmpresa", SetArgs(ok));
  EXPECT_EQ(S(Packet("GetEmpresa").rows.at(0)[1]), forty);
}

TEST_F(ServerTest, ARowChangedMeanwhileIsRefusedAndNothingIsWritten) {
  Start();
  CompanySet seed(Packet("GetEmpresa"));
  Row r1 = CompanyRow(seed, "01", "Um");
  seed.Put(r1, "NRREGJUNCOM", "111");
  seed.Put(r1, "DSEMAILEMPRESA", "a@b.com");
  seed.Insert(r1);
  seed.Insert(CompanyRow(seed, "02", "Dois"));
  Ok("SetEmpresa", SetArgs(seed));
  DataPacket loaded = Packet("GetEmpresa");

  // Someone else changes a where column (in-where NRREGJUNCOM) of company 01.
  Db().Execute("UPDATE EMPRESA SET NRREGJUNCOM = '222' WHERE CDEMPRESA = '01'");
  CompanySet cs(loaded);
  Row n2 = loaded.rows[1];
  cs.Put(n2, "NMEMPRESA", "Dois alterado");
  cs.Update(loaded.rows[1], n2);
  Row n1 = loaded.rows[0];
  cs.Put(n1, "NMEMPRESA", "Um alterado");
  cs.Update(loaded.rows[0], n1);
  EXPECT_EQ(Err("SetEmpresa", SetArgs(cs)), kConflict);
  DataPacket now = Packet("GetEmpresa");
  EXPECT_EQ(S(now.rows[1][1]), "Dois");  // the good row was not written either

  // A change of a column without the where flag is not a conflict.
  Db().Execute("UPDATE EMPRESA SET NMRAZSOCEMPR = 'Outra' WHERE CDEMPRESA = '02'");
  CompanySet free(now);
  Row m = now.rows[1];
  free.Put(m, "NMEMPRESA", "Dois novo");
  free.Update(now.rows[1], m);
  Ok("SetEmpresa", SetArgs(free));

  // A default-flag column (DSEMAILEMPRESA) changed meanwhile refuses a delete too.
  Db().Execute("UPDATE EMPRESA SET DSEMAILEMPRESA = 'c@d.com' WHERE CDEMPRESA = '01'");
  CompanySet del(now);
  del.Delete(now.rows[0]);
  EXPECT_EQ(Err("SetEmpresa", SetArgs(del)), kConflict);
  EXPECT_EQ(Packet("GetEmpresa").rows.size(), 2u);
  // ... while the delete of a row that no longer exists is no error.
  Db().Execute("DELETE FROM EMPRESA WHERE CDEMPRESA = '01'");
  Ok("SetEmpresa", SetArgs(del));
}

// --- Two users saving the same row ----------------------------------------------------------

TEST_F(ServerTest, TwoUsersSavingDifferentColumnsBothKeepTheirChanges) {
  Start();
  CompanySet seed(Packet("GetEmpresa"));
  Row r = CompanyRow(seed, "01", "Um");
  seed.Put(r, "NMRAZSOCEMPR", "Um Ltda");
  seed.Put(r, "VRPEMULEMPR", 2.0);
  seed.Insert(r);
  Ok("SetEmpresa", SetArgs(seed));
  const DataPacket first = Packet("GetEmpresa"), second = Packet("GetEmpresa");

  CompanySet a(first);
  Row na = first.rows[0];
  a.Put(na, "NMEMPRESA", "Um do primeiro");
  a.Update(first.rows[0], na);
  Ok("SetEmpresa", SetArgs(a));
  CompanySet b(second);
  Row nb = second.rows[0];
  b.Put(nb, "NMRAZSOCEMPR", "Um do segundo SA");
  b.Put(nb, "VRPEMULEMPR", 3.5);
  b.Update(second.rows[0], nb);
  Ok("SetEmpresa", SetArgs(b));

  const Row stored = Packet("GetEmpresa").rows.at(0);
  EXPECT_EQ(S(stored[first.IndexOf("NMEMPRESA")]), "Um do primeiro");
  EXPECT_EQ(S(stored[first.IndexOf("NMRAZSOCEMPR")]), "Um do segundo SA");
  EXPECT_EQ(std::get<double>(stored[first.IndexOf("VRPEMULEMPR")]), 3.5);
}

TEST_F(ServerTest, ASaveOverAChangeAnotherUserMadeMeanwhileIsRefused) {
  Start({"--demo"});
  const DataPacket first = Packet("GetEmpresa"), second = Packet("GetEmpresa");
  auto rename = [](const DataPacket& p, const std::string& name) {
    CompanySet cs(p);
    Row n = p.rows[0];
    cs.Put(n, "NMEMPRESA", name);
    cs.Update(p.rows[0], n);
    return cs;
  };
  Ok("SetEmpresa", SetArgs(rename(first, "Do primeiro")));
  EXPECT_EQ(Err("SetEmpresa", SetArgs(rename(second, "Do segundo"))), kConflict);
  EXPECT_EQ(S(Packet("GetEmpresa").rows[0][1]), "Do primeiro");
  // A column with the where flag changed meanwhile refuses a save of any other column.
  const DataPacket third = Packet("GetEmpresa");
  Db().Execute("UPDATE EMPRESA SET DSEMAILEMPRESA = 'outro@b.com' WHERE CDEMPRESA = '01'");
  EXPECT_EQ(Err("SetEmpresa", SetArgs(rename(third, "Do terceiro"))), kConflict);
  // So does a row deleted meanwhile.
  Db().Execute("DELETE FROM EMPRREPRES WHERE CDEMPRESA = '03'");
  Db().Execute("DELETE FROM FILIAL WHERE CDEMPRESA = '03'");
  Db().Execute("DELETE FROM EMPRESA WHERE CDEMPRESA = '03'");
  CompanySet gone(third);
  Row n3 = third.rows[2];
  gone.Put(n3, "NMEMPRESA", "Apagada");
  gone.Update(third.rows[2], n3);
  EXPECT_EQ(Err("SetEmpresa", SetArgs(gone)), kDeleted);

  // The notes of one company, edited by two users.
  const DataPacket noteA = Packet("GetNotasExplicativas", {json::array{"01"}});
  const DataPacket noteB = Packet("GetNotasExplicativas", {json::array{"01"}});
  ASSERT_EQ(noteA.rows.size(), 1u);
  auto editNote = [](const DataPacket& p, const std::string& text) {
    ChangeSet cs;
    cs.fields = p.fields;
    Row n = p.rows[0];
    n[1] = text;
    cs.changes.push_back({ChangeKind::Update, p.rows[0], n});
    return json::array{ger::codec::ToJson(cs)};
  };
  Ok("SetNotasExplicativas", editNote(noteA, "Nota do primeiro"));
  EXPECT_EQ(Err("SetNotasExplicativas", editNote(noteB, "Nota do segundo")), kConflict);
  EXPECT_EQ(S(Packet("GetNotasExplicativas", {json::array{"01"}}).rows[0][1]), "Nota do primeiro");

  // A representative's use flag, changed by two users.
  const DataPacket repA = Packet("getRepresentante", {"01", ""});
  const DataPacket repB = Packet("getRepresentante", {"01", ""});
  auto flagRep = [](const DataPacket& p, const std::string& flag) {
    ChangeSet cs;
    cs.fields = p.fields;
    Row n = p.rows[0];
    n[4] = flag;
    cs.changes.push_back({ChangeKind::Update, p.rows[0], n});
    return json::array{ger::codec::ToJson(cs)};
  };
  const std::string before = S(repA.rows[0][4]), other = before == "S" ? "N" : "S";
  Ok("setRepresentante", flagRep(repA, other));
  EXPECT_EQ(Err("setRepresentante", flagRep(repB, before)), kConflict);
  EXPECT_EQ(S(Packet("getRepresentante", {"01", ""}).rows[0][4]), other);
}

TEST_F(ServerTest, TheCompanyCodeOfARowCannotChange) {
  Start({"--demo"});
  const DataPacket p = Packet("GetEmpresa");
  CompanySet cs(p);
  Row n = p.rows[0];
  cs.Put(n, "CDEMPRESA", "Z9");
  cs.Update(p.rows[0], n);
  EXPECT_EQ(Err("SetEmpresa", SetArgs(cs)), "O código da empresa não pode ser alterado.");
  EXPECT_EQ(Packet("GetVerifEmpresa", {"01"}).rows.size(), 1u);
  EXPECT_TRUE(Packet("GetVerifEmpresa", {"Z9"}).rows.empty());
  EXPECT_EQ(Err("Delete", {"01"}), "Empresa possui filiais cadastradas e não pode ser excluída.");

  // Nor can a representative's link move to another company; its representative may change.
  const DataPacket reps = Packet("getRepresentante", {"01", ""});
  ChangeSet moved;
  moved.fields = reps.fields;
  Row m = reps.rows[0];
  m[0] = std::string("02");
  moved.changes.push_back({ChangeKind::Update, reps.rows[0], m});
  EXPECT_EQ(Err("setRepresentante", {ger::codec::ToJson(moved)}),
            "O código da empresa não pode ser alterado.");
  ChangeSet other;
  other.fields = reps.fields;
  Row o = reps.rows.back();
  o[1] = std::string("02");
  other.changes.push_back({ChangeKind::Update, reps.rows.back(), o});
  Ok("setRepresentante", {ger::codec::ToJson(other)});
  DataPacket after = Packet("getRepresentante", {"01", "02"});
  EXPECT_EQ(after.rows.size(), 1u);
}

// --- Texts stored by older programs ---------------------------------------------------------

// A PostgreSQL database that keeps bytes as they come, as the older programs' databases did;
// dropped with the object.
struct LegacyPgDatabase {
  std::string name, url;
  explicit LegacyPgDatabase(const std::string& server) {
    name = "ger_legacy_" + std::to_string(getpid());
    auto admin = ger::db::Connection::Open(server);
    admin->ExecuteScript("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    admin->ExecuteScript("CREATE DATABASE " + name +
                         " ENCODING 'SQL_ASCII' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0");
    const auto query = server.find('?');
    const auto slash = server.rfind('/', query);
    url = server.substr(0, slash + 1) + name +
          (query == std::string::npos ? "" : server.substr(query));
  }
  ~LegacyPgDatabase() {
    try {
      ger::db::Connection::Open(gPgUrl)->ExecuteScript("DROP DATABASE IF EXISTS " + name +
                                                       " WITH (FORCE)");
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
};

TEST_F(ServerTest, LegacyTextsReadAsWindows1252AndOnlyTheColumnsASaveChangesAreRewritten) {
  std::unique_ptr<LegacyPgDatabase> legacy;
  if (!gPgUrl.empty()) {
    legacy = std::make_unique<LegacyPgDatabase>(gPgUrl);
    dbUrl_ = legacy->url;
  }
  Start();
  if (legacy) Db().ExecuteScript("SET client_encoding = 'SQL_ASCII'");
  // Windows-1252 bytes: ç ú – in a column without flags, º in the where-flagged NRREGJUNCOM,
  // é in the e-mail (default flags).
  const std::string legalName =
                        "A\xE7\xFA"
                        "car \x96 Com\xE9rcio",
                    registry = "N\xBA 12", email = "jos\xE9@acucar.com.br";
  Db().Execute(
      "INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA, NMRAZSOCEMPR, NRREGJUNCOM, DSEMAILEMPRESA) "
      "VALUES ('01', 'Antiga', :R, :J, :E)",
      {{"R", legalName}, {"J", registry}, {"E", email}});
  auto storedAsIs = [&](const char* column, const std::string& bytes) {
    return Db().Query(std::string("SELECT COUNT(*) FROM EMPRESA WHERE ") + column + " = :V",
                      {{"V", bytes}})
               .rows.at(0)[0] == Value(std::int64_t{1});
  };

  const DataPacket p = Packet("GetEmpresa");
  const Row& row = p.rows.at(0);
  EXPECT_EQ(S(row[p.IndexOf("NMRAZSOCEMPR")]), "Açúcar – Comércio");
  EXPECT_EQ(S(row[p.IndexOf("NRREGJUNCOM")]), "Nº 12");
  EXPECT_EQ(S(row[p.IndexOf("DSEMAILEMPRESA")]), "josé@acucar.com.br");

  // A save of another column finds the row and leaves the old texts as they were stored.
  CompanySet rename(p);
  Row n = row;
  rename.Put(n, "NMEMPRESA", "Renomeada");
  rename.Update(row, n);
  Ok("SetEmpresa", SetArgs(rename));
  EXPECT_TRUE(storedAsIs("NMRAZSOCEMPR", legalName));
  EXPECT_TRUE(storedAsIs("NRREGJUNCOM", registry));
  EXPECT_TRUE(storedAsIs("DSEMAILEMPRESA", email));

  // A save of the old text itself writes it in UTF-8.
  const DataPacket q = Packet("GetEmpresa");
  CompanySet fix(q);
  Row m = q.rows.at(0);
  fix.Put(m, "NMRAZSOCEMPR", "Açúcar – Comércio Ltda");
  fix.Update(q.rows.at(0), m);
  Ok("SetEmpresa", SetArgs(fix));
  EXPECT_TRUE(storedAsIs("NMRAZSOCEMPR", "Açúcar – Comércio Ltda"));
  EXPECT_TRUE(storedAsIs("NRREGJUNCOM", registry));

  // And the row can be deleted.
  const DataPacket r = Packet("GetEmpresa");
  CompanySet del(r);
  del.Delete(r.rows.at(0));
  Ok("SetEmpresa", SetArgs(del));
  EXPECT_TRUE(Packet("GetEmpresa").rows.empty());
  net_.Disconnect();
  server_->Stop();
  server_.reset();
  db_.reset();
}

// --- Delete ---------------------------------------------------------------------------------

TEST_F(ServerTest, DeleteRemovesLinksAndNotesButNotACompanyWithBranches) {
  Start({"--demo"});
  EXPECT_EQ(Err("Delete", {"01"}), "Empresa possui filiais cadastradas e não pode ser excluída.");
  EXPECT_EQ(Packet("GetEmpresa").rows.size(), 3u);
  Db().Execute("DELETE FROM FILIAL WHERE CDEMPRESA = '01'");
  EXPECT_TRUE(Ok("Delete", {"01"}).is_null());
  EXPECT_EQ(Packet("GetEmpresa").rows.size(), 2u);
  EXPECT_TRUE(Db().Query("SELECT CDREPRES FROM EMPRREPRES WHERE CDEMPRESA = '01'").rows.empty());
  EXPECT_TRUE(Packet("GetNotasExplicativas", {json::array{"01"}}).rows.empty());
  // The screen then sends the deletion as a change set: the row is gone, which is fine.
  Ok("Delete", {"01"});
}

// Delete with the row the caller holds deletes that row only: a change of any column meanwhile
// (one without the where flag too) refuses it, and a company already gone is said to be.
TEST_F(ServerTest, ADeleteHeldAgainstTheCallersRowDeletesNothingAnotherUserChanged) {
  Start({"--demo"});
  Db().Execute("DELETE FROM FILIAL");
  const DataPacket held = Packet("GetEmpresa");
  auto heldDelete = [&](int row) {
    CompanySet cs(held);
    cs.Delete(held.rows.at(row));
    return cs.Json();
  };
  ASSERT_EQ(S(held.rows.at(0)[0]), "01");
  // The where-flagged e-mail, and the name and legal name, which carry no where flag.
  for (const char* change : {"DSEMAILEMPRESA = 'outro@b.com'", "NMEMPRESA = 'Outro nome'",
                             "NMRAZSOCEMPR = 'Outra razão'"}) {
    const DataPacket before = Packet("GetEmpresa");
    Db().Execute(std::string("UPDATE EMPRESA SET ") + change + " WHERE CDEMPRESA = '01'");
    CompanySet cs(before);
    cs.Delete(before.rows.at(0));
    EXPECT_EQ(Err("Delete", {"01", cs.Json()}), kConflict) << change;
    EXPECT_EQ(Packet("GetVerifEmpresa", {"01"}).rows.size(), 1u) << change;
  }
  EXPECT_EQ(Packet("getRepresentante", {"01", ""}).rows.size(), 2u);  // its links stay too
  // The row as stored now: deleted, with its links and notes.
  const DataPacket now = Packet("GetEmpresa");
  CompanySet current(now);
  current.Delete(now.rows.at(0));
  EXPECT_TRUE(Ok("Delete", {"01", current.Json()}).is_null());
  EXPECT_TRUE(Packet("GetVerifEmpresa", {"01"}).rows.empty());
  EXPECT_TRUE(Packet("getRepresentante", {"01", ""}).rows.empty());
  EXPECT_TRUE(Packet("GetNotasExplicativas", {json::array{"01"}}).rows.empty());
  // Gone already: not a silent success, and the change set the screen sends next is no error.
  EXPECT_EQ(Err("Delete", {"01", current.Json()}), kDeleted);
  Ok("SetEmpresa", SetArgs(current));
  // Unchanged since it was read: a company of the demo, with dates, numbers and texts, goes.
  EXPECT_TRUE(Ok("Delete", {"02", heldDelete(1)}).is_null());
  EXPECT_TRUE(Packet("GetVerifEmpresa", {"02"}).rows.empty());
  // The held row must be that company's one delete.
  EXPECT_EQ(Err("Delete", {"03", heldDelete(0)}),
            "O parâmetro 2 deve trazer somente a exclusão da empresa 03.");
  CompanySet update(held);
  update.Update(held.rows.at(2), held.rows.at(2));
  EXPECT_EQ(Err("Delete", {"03", update.Json()}),
            "O parâmetro 2 deve trazer somente a exclusão da empresa 03.");
  EXPECT_EQ(Packet("GetVerifEmpresa", {"03"}).rows.size(), 1u);
  // Branches refuse it as they refuse Delete without the row.
  Db().Execute("INSERT INTO FILIAL (CDFILIAL, CDEMPRESA) VALUES ('0009', '03')");
  EXPECT_EQ(Err("Delete", {"03", heldDelete(2)}),
            "Empresa possui filiais cadastradas e não pode ser excluída.");
  EXPECT_EQ(Packet("GetVerifEmpresa", {"03"}).rows.size(), 1u);
}

// The screen deletes through Delete and then the change set; a change set that deletes a company
// with branches on its own is refused the same way, and nothing of it is written.
TEST_F(ServerTest, AChangeSetDeletingACompanyWithBranchesIsRefusedLikeDelete) {
  Start({"--demo"});
  DataPacket before = Packet("GetEmpresa");
  ASSERT_EQ(S(before.rows.at(0)[0]), "01");
  CompanySet cs(before);
  cs.Delete(before.rows.at(0));
  EXPECT_EQ(Err("SetEmpresa", SetArgs(cs)),
            "Empresa possui filiais cadastradas e não pode ser excluída.");
  EXPECT_EQ(Packet("GetEmpresa").rows.size(), 3u);
  EXPECT_EQ(Packet("getRepresentante", {"01", ""}).rows.size(), 2u);  // its links stay too
  Db().Execute("DELETE FROM FILIAL WHERE CDEMPRESA = '01'");
  Ok("SetEmpresa", SetArgs(cs));
  EXPECT_EQ(Packet("GetEmpresa").rows.size(), 2u);
  EXPECT_TRUE(Packet("getRepresentante", {"01", ""}).rows.empty());
}

// --- Verification and lookups ---------------------------------------------------------------

TEST_F(ServerTest, VerificationCallsFindTakenCodesAndRegistrations) {
  Start({"--demo"});
  EXPECT_EQ(Packet("GetVerifEmpresa", {"02"}).rows.size(), 1u);
  EXPECT_TRUE(Packet("GetVerifEmpresa", {"09"}).rows.empty());
  EXPECT_EQ(Packet("GetVerifInsc", {"J", "11222333000181"}).rows.size(), 1u);
  EXPECT_EQ(Packet("GetVerifInsc", {"J", "11.222.333/0001-81"}).rows.size(), 1u);
  EXPECT_TRUE(Packet("GetVerifInsc", {"J", "11222333000262"}).rows.empty());
  EXPECT_TRUE(Packet("GetVerifInsc", {"J", ""}).rows.empty());
  EXPECT_EQ(Packet("GetVEmp").rows.size(), 1u);
  Db().Execute("DELETE FROM FILIAL");
  for (const char* c : {"01", "02", "03"}) Ok("Delete", {c});
  EXPECT_TRUE(Packet("GetVEmp").rows.empty());
  Db().Execute("DELETE FROM PARGERAL");
  DataPacket par = Packet("GetVParGeral");
  EXPECT_TRUE(par.rows.empty());
  EXPECT_EQ(par.fields.at(0), (ger::FieldDef{"CDFILIAL", ger::FieldKind::String, 4}));
}

// --- Neighbourhoods -------------------------------------------------------------------------

TEST_F(ServerTest, AnAlphanumericCnpjIsStoredAsSentAndFoundInUseWhateverTheCase) {
  Start({"--demo"});
  CompanySet cs(Packet("GetEmpresa"));
  Row r = CompanyRow(cs, "10", "Nova");
  cs.Put(r, "IDTPIJUREMPR", "J");
  cs.Put(r, "NRINSJUREMPR", "12ABC34501DE35");
  cs.Insert(r);
  Ok("SetEmpresa", SetArgs(cs));
  EXPECT_EQ(S(Db().Query("SELECT NRINSJUREMPR FROM EMPRESA WHERE CDEMPRESA = '10'").rows.at(0)[0]),
            "12ABC34501DE35");
  for (const char* typed : {"12ABC34501DE35", "12abc34501de35", "12.abc.345/01DE-35"})
    EXPECT_EQ(Packet("GetVerifInsc", {"J", typed}).rows.size(), 1u) << typed;
  // Its digits alone are another number, and another letter another CNPJ.
  EXPECT_TRUE(Packet("GetVerifInsc", {"J", "123450135"}).rows.empty());
  EXPECT_TRUE(Packet("GetVerifInsc", {"J", "12ABD34501DE35"}).rows.empty());
  // The numeric ones are found as before.
  EXPECT_EQ(Packet("GetVerifInsc", {"J", "11.222.333/0001-81"}).rows.size(), 1u);
}

TEST_F(ServerTest, NeighbourhoodsAreRegisteredOncePerFoldedNameWithTheNextCode) {
  Start();
  Db().Execute(
      "INSERT INTO BAIRRO (CDPAIS, SGESTADO, CDMUNICIPIO, CDBAIRRO, NMBAIRRO) VALUES "
      "('1058', 'SP', '5030', '0000000041', 'Moóca')");
  EXPECT_EQ(Ok("InsertBairro", {"1058", "SP", "5030", "  MOOCA "}), json::value(false));
  EXPECT_EQ(Ok("InsertBairro", {"1058", "SP", "5030", " Ipiranga "}), json::value(true));
  EXPECT_EQ(Ok("InsertBairro", {"1058", "SP", "5030", "ipiranga"}), json::value(false));
  EXPECT_EQ(Ok("GetBairro", {"5030", "IPIRANGA"}), json::value("0000000042"));
  EXPECT_EQ(Ok("GetBairro", {"5030", "Liberdade"}), json::value(""));
  DataPacket all = Packet("GetPesqBairro", {"1058", "SP", "5030", ""});
  ASSERT_EQ(all.rows.size(), 2u);
  EXPECT_EQ(S(all.rows[1][1]), "Ipiranga");  // stored without the surrounding blanks
  EXPECT_EQ(Packet("GetPesqBairro", {"1058", "SP", "5030", "0000000041"}).rows.size(), 1u);
  EXPECT_EQ(Err("InsertBairro", {"1058", "SP", "9999", "Centro"}), "Município não cadastrado.");

  // Municipality code 0620 exists in several states: the four-argument form is exact.
  DataPacket states = Db().Query(
      "SELECT SGESTADO FROM MUNICIPIO WHERE CDMUNICIPIO = '0620' "
      "ORDER BY SGESTADO");
  ASSERT_GE(states.rows.size(), 2u);
  std::string first = S(states.rows[0][0]), second = S(states.rows[1][0]);
  EXPECT_EQ(Ok("InsertBairro", {"1058", second, "0620", "Centro"}), json::value(true));
  EXPECT_EQ(Ok("InsertBairro", {"1058", first, "0620", "Centro"}), json::value(true));
  Db().Execute(
      "UPDATE BAIRRO SET CDBAIRRO = '0000000009' WHERE SGESTADO = :S AND "
      "CDMUNICIPIO = '0620'",
      {{"S", second}});
  EXPECT_EQ(Ok("GetBairro", {"0620", "centro", "1058", first}), json::value("0000000001"));
  EXPECT_EQ(Ok("GetBairro", {"0620", "centro", "1058", second}), json::value("0000000009"));
  EXPECT_EQ(Ok("GetBairro", {"0620", "centro"}), json::value("0000000001"));
}

// --- Representatives, regime, notes ---------------------------------------------------------

TEST_F(ServerTest, RepresentativesAreLinkedThroughTheirChangeSet) {
  Start({"--demo"});
  EXPECT_EQ(Ok("getVdRepresentante", {"02"}), json::value(true));
  EXPECT_EQ(Ok("getVdRepresentante", {"77"}), json::value(false));
  // Company 01 has representative 01 in use.
  EXPECT_EQ(Ok("getVdRepresAtivo", {"03", "01"}), json::value(true));
  EXPECT_EQ(Ok("getVdRepresAtivo", {"01", "01"}), json::value(false));
  EXPECT_EQ(Packet("GetPesqRepresentante", {"", "T"}).rows.size(), 3u);
  DataPacket one = Packet("GetPesqRepresentante", {"02", ""});
  ASSERT_EQ(one.rows.size(), 1u);
  EXPECT_EQ(S(one.rows[0][3]), "Diretor");

  DataPacket list = Packet("getRepresentante", {"03", ""});
  ASSERT_EQ(list.fields.size(), 7u);
  ASSERT_EQ(list.rows.size(), 1u);
  ChangeSet cs;
  cs.fields = list.fields;
  Row link{std::string("03"), std::string("02"), std::string("Carlos"), std::string(""),
           std::string("N"),  std::monostate{},  std::monostate{}};
  cs.changes.push_back({ChangeKind::Insert, {}, link});
  Row changed = list.rows[0];
  changed[4] = std::string("N");
  cs.changes.push_back({ChangeKind::Update, list.rows[0], changed});
  Ok("setRepresentante", {ger::codec::ToJson(cs)});
  DataPacket after = Packet("getRepresentante", {"03", ""});
  ASSERT_EQ(after.rows.size(), 2u);
  EXPECT_EQ(S(after.rows[1][2]), "Carlos Eduardo Lima");  // the name comes from the register
  EXPECT_EQ(S(after.rows[0][4]), "N");
  // A field that is neither the link's nor a joined one is refused.
  cs.fields[2].name = "DSQUALQUER";
  EXPECT_EQ(Err("setRepresentante", {ger::codec::ToJson(cs)}),
            "O campo DSQUALQUER não pertence à tabela EMPRREPRES.");
}

// The screen checks both before it sends; the server holds them where two users meet.
TEST_F(ServerTest, ALinkNeedsARegisteredRepresentativeAndOnlyOneInUse) {
  Start({"--demo"});
  DataPacket list = Packet("getRepresentante", {"01", ""});  // 01 in use, 03 not
  ASSERT_EQ(list.rows.size(), 2u);
  ASSERT_EQ(S(list.rows[1][1]), "03");
  auto set = [&](ChangeKind kind, Row oldRow, Row newRow) {
    ChangeSet cs;
    cs.fields = list.fields;
    cs.changes.push_back({kind, std::move(oldRow), std::move(newRow)});
    return json::array{ger::codec::ToJson(cs)};
  };
  Row unknown{std::string("01"), std::string("77"), std::monostate{}, std::monostate{},
              std::string("N"),  std::monostate{},  std::monostate{}};
  EXPECT_EQ(Err("setRepresentante", set(ChangeKind::Insert, {}, unknown)),
            "Representante legal não cadastrado.");

  // Marking 03 in use while 01 is: refused, and nothing of it written.
  Row active = list.rows[1];
  active[4] = std::string("S");
  EXPECT_EQ(Err("setRepresentante", set(ChangeKind::Update, list.rows[1], active)),
            "Já existe um representante legal cadastrado para a empresa.");
  EXPECT_EQ(S(Db().Query("SELECT IDATIVO FROM EMPRREPRES WHERE CDEMPRESA = '01' AND "
                         "CDREPRES = '03'")
                  .rows.at(0)
                  .at(0)),
            "N");

  // Rows stored with two in use stay savable as long as the save marks none anew.
  Db().Execute("UPDATE EMPRREPRES SET IDATIVO = 'S' WHERE CDEMPRESA = '01'");
  list = Packet("getRepresentante", {"01", ""});
  Row renamed = list.rows[0];
  renamed[1] = std::string("02");
  Ok("setRepresentante", set(ChangeKind::Update, list.rows[0], renamed));
  EXPECT_EQ(Packet("getRepresentante", {"01", "02"}).rows.size(), 1u);

  // A second user linking a representative the company already has (the first user's list did
  // not show it) is told so, and the first link stays as it was.
  Row again{std::string("01"), std::string("02"), std::monostate{}, std::monostate{},
            std::string("N"),  std::monostate{},  std::monostate{}};
  EXPECT_EQ(Err("setRepresentante", set(ChangeKind::Insert, {}, again)),
            "Representante legal já cadastrado.");
  EXPECT_EQ(S(Db().Query("SELECT IDATIVO FROM EMPRREPRES WHERE CDEMPRESA = '01' AND "
                         "CDREPRES = '02'")
                  .rows.at(0)
                  .at(0)),
            "S");
}

TEST_F(ServerTest, RegimeReachesEveryBranchOfTheCompanyOnly) {
  Start({"--demo"});
  Db().Execute("INSERT INTO FILIAL (CDFILIAL, CDEMPRESA) VALUES ('0009', '01')");
  Ok("setRegimeFilial", {"S", "01"});
  DataPacket p = Db().Query("SELECT CDEMPRESA, IDCUMUPICOEMP FROM FILIAL ORDER BY CDFILIAL");
  for (const Row& r : p.rows) EXPECT_EQ(S(r[1]), S(r[0]) == "01" ? "S" : "N") << S(r[0]);
  EXPECT_EQ(Err("setRegimeFilial", {"X", "01"}),
            "Regime de apuração inválido: \"X\" (esperado \"N\" ou \"S\").");
}

TEST_F(ServerTest, NotesAreReadAndWrittenPerCompany) {
  Start({"--demo"});
  DataPacket p = Packet("GetNotasExplicativas", {json::array{"02"}});
  EXPECT_TRUE(p.rows.empty());
  EXPECT_EQ(p.fields.at(1).kind, ger::FieldKind::Memo);
  ChangeSet cs;
  cs.fields = p.fields;
  std::string longText(20000, 'n');
  cs.changes.push_back({ChangeKind::Insert, {}, {std::string("02"), longText}});
  Ok("SetNotasExplicativas", {ger::codec::ToJson(cs)});
  DataPacket after = Packet("GetNotasExplicativas", {json::array{"02"}});
  ASSERT_EQ(after.rows.size(), 1u);
  EXPECT_EQ(S(after.rows[0][1]), longText);
  EXPECT_EQ(Err("GetNotasExplicativas", {"02"}),  // not an array
            "O parâmetro 1 deve ser uma lista com o código da empresa.");
}

// --- Bad input ------------------------------------------------------------------------------

TEST_F(ServerTest, BadInputIsAnErrorAndTheServerKeepsServing) {
  Start({"--demo"});
  EXPECT_EQ(Err("NaoExiste"), "Método desconhecido no servidor de aplicação: NaoExiste.");
  EXPECT_EQ(Err("GetVerifEmpresa"), "O método GetVerifEmpresa espera 1 parâmetro(s) e recebeu 0.");
  EXPECT_EQ(Err("GetVerifEmpresa", {"01", "02"}),
            "O método GetVerifEmpresa espera 1 parâmetro(s) e recebeu 2.");
  EXPECT_EQ(Err("GetVerifEmpresa", {42}), "O parâmetro 1 deve ser um texto.");
  EXPECT_EQ(Err("SetEmpresa", {"não é um conjunto", false, false, false, false, false, false}),
            "O parâmetro 1 deve ser um conjunto de alterações.");
  CompanySet cs(Packet("GetEmpresa"));
  cs.Insert(CompanyRow(cs, "30", "X"));
  EXPECT_EQ(Err("SetEmpresa", SetArgs(cs, {1, 0, 0, 0, 0, 0})),  // flags as numbers
            "O parâmetro 2 deve ser um valor lógico.");
  cs.set.fields[1].name = "NMINEXISTENTE";
  EXPECT_EQ(Err("SetEmpresa", SetArgs(cs)), "O campo NMINEXISTENTE não pertence à tabela EMPRESA.");

  httplib::Client http("127.0.0.1", server_->Port());
  for (const char* body :
       {"{", "[]", "{\"jsonrpc\":\"2.0\"}", "{\"jsonrpc\":\"1.0\",\"method\":\"GetVEmp\"}",
        "{\"jsonrpc\":\"2.0\",\"method\":\"GetVEmp\",\"params\":7}"}) {
    auto res = http.Post("/GER00200.rdmEmpresa", body, "application/json");
    ASSERT_TRUE(res) << body;
    json::value reply = json::parse(res->body);
    EXPECT_TRUE(reply.as_object().contains("error")) << body;
  }
  auto big =
      http.Post("/GER00200.rdmEmpresa", std::string((64u << 20) + 16, ' '), "application/json");
  ASSERT_TRUE(big);
  EXPECT_EQ(big->status, 413);

  // Hostile texts are data: stored verbatim or refused, never executed.
  const std::string hostile = "'; DROP TABLE EMPRESA; --";
  EXPECT_TRUE(Packet("GetVerifEmpresa", {hostile}).rows.empty());
  EXPECT_EQ(Ok("InsertBairro", {"1058", "SP", "5030", hostile}), json::value(true));
  EXPECT_EQ(Ok("GetBairro", {"5030", hostile}), json::value("0000000003"));
  EXPECT_EQ(Err("GetVerifEmpresa", {std::string("0\0"
                                                "1",
                                                3)}),
            "O parâmetro 1 contém um caractere nulo, que não é aceito.");
  EXPECT_EQ(Err("InsertBairro", {"1058", "SP", "5030", std::string(10000, 'b')}),
            "O nome do bairro excede 50 caracteres.");
  CompanySet nul(Packet("GetEmpresa"));
  nul.Insert(CompanyRow(nul, "31", std::string("a\0b", 3)));
  EXPECT_EQ(Err("SetEmpresa", SetArgs(nul)),
            "O campo NMEMPRESA contém um caractere nulo, que não é aceito.");
  EXPECT_EQ(Packet("GetEmpresa").rows.size(), 3u);
}

// --- Security and test hooks ----------------------------------------------------------------

TEST_F(ServerTest, ATokenIsRequiredOfEveryRequestWhenGiven) {
  Start({"--token", "s3cret"});
  std::string err = Err("GetVEmp");
  EXPECT_EQ(err, "O servidor de aplicação (127.0.0.1:" + std::to_string(server_->Port()) +
                     ") recusou o acesso: chave de acesso ausente ou inválida.");
  httplib::Client http("127.0.0.1", server_->Port());
  http.set_bearer_token_auth("wrong");
  auto res = http.Post("/GER00200.rdmEmpresa",
                       "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetVEmp\"}", "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 401);
  net_.Token = "s3cret";
  net_.Disconnect();
  Ok("GetVEmp");
}

// Runs the server with `args`, expecting it to refuse to start: its exit status and what it said.
std::pair<int, std::string> RefusedStart(std::vector<std::string> args) {
  int out[2];
  EXPECT_EQ(pipe(out), 0);
  int pid = fork();
  if (pid == 0) {
    dup2(out[1], 2);
    std::vector<char*> argv = {const_cast<char*>(GER_SERVER_BIN)};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(GER_SERVER_BIN, argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buf[256];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, n);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST_F(ServerTest, ListeningOffLoopbackNeedsALongEnoughToken) {
  auto [status, text] = RefusedStart({"--db", dbUrl_, "--listen", "0.0.0.0", "--port", "0"});
  EXPECT_EQ(status, 2);
  EXPECT_NE(text.find("--token"), std::string::npos) << text;
  std::tie(status, text) = RefusedStart(
      {"--db", dbUrl_, "--listen", "0.0.0.0", "--port", "0", "--token", "fifteen-chars15"});
  EXPECT_EQ(status, 2);
  EXPECT_NE(text.find("at least 16 characters (--token gives 15)"), std::string::npos) << text;
}

TEST_F(ServerTest, TheTokenComesFromAFileOrTheEnvironment) {
  const std::string file =
      sqlitePath_.empty() ? "/tmp/ger-token-" + std::to_string(getpid()) : sqlitePath_ + ".token";
  std::filesystem::remove(file);
  { std::ofstream(file) << "from-the-file\n"; }
  ::chmod(file.c_str(), 0644);
  auto [status, text] = RefusedStart({"--db", dbUrl_, "--port", "0", "--token-file", file});
  EXPECT_EQ(status, 2);
  EXPECT_NE(text.find("can be read by other users (mode 0644)"), std::string::npos) << text;
  std::tie(status, text) =
      RefusedStart({"--db", dbUrl_, "--port", "0", "--token-file", file, "--token", "x"});
  EXPECT_NE(status, 0);
  EXPECT_NE(text.find("excludes"), std::string::npos) << text;

  ::chmod(file.c_str(), 0600);
  Start({"--token-file", file});
  EXPECT_NE(Err("GetVEmp").find("recusou o acesso"), std::string::npos);
  net_.Token = "from-the-file";  // the line break is not part of it
  net_.Disconnect();
  Ok("GetVEmp");
  std::filesystem::remove(file);

  ::setenv("GER_SERVER_TOKEN", "from-the-environment", 1);
  Start({});
  ::unsetenv("GER_SERVER_TOKEN");
  EXPECT_NE(Err("GetVEmp").find("recusou o acesso"), std::string::npos);
  net_.Token = "from-the-environment";
  net_.Disconnect();
  Ok("GetVEmp");
}

TEST_F(ServerTest, TestHooksFailTheNextCallCountCallsAndKeepTheLastArguments) {
  Start();
  Ok("GetVEmp");
  Ok("__fail", {"GetVEmp", "Falha simulada."});
  EXPECT_EQ(Err("GetVEmp"), "Falha simulada.");
  Ok("GetVEmp");
  EXPECT_EQ(Ok("__calls", {"GetVEmp"}), json::value(3));
  // The arguments of a method's last call, as they arrived.
  EXPECT_TRUE(Ok("__args", {"GetVerifEmpresa"}).is_null());
  Ok("GetVerifEmpresa", {"07"});
  Ok("GetVerifEmpresa", {"08"});
  EXPECT_EQ(Ok("__args", {"GetVerifEmpresa"}), (json::array{"08"}));
  Start({});
  EXPECT_EQ(Err("__calls", {"GetVEmp"}), "Método desconhecido no servidor de aplicação: __calls.");
}

TEST_F(ServerTest, NoAnswerIsReportedWithTheServerAddress) {
  Start();
  int port = server_->Port();
  EXPECT_EQ(server_->Stop(), 0);
  server_.reset();
  net_.Disconnect();
  int hooked = 0;
  net_.BeforeConnect = [&](ger::TNetConnection& c) {
    ++hooked;
    c.Host = "127.0.0.1";
    c.Port = port;
  };
  ger::ServerAnswer a = net_.Call("GetVEmp");
  EXPECT_FALSE(a.ok());
  EXPECT_EQ(a.error, "Não foi possível conectar ao servidor de aplicação (127.0.0.1:" +
                         std::to_string(port) + ").");
  EXPECT_EQ(hooked, 1);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--pg") {
      const char* url = std::getenv("GER_TEST_PG");
      if (!url || !*url) {
        std::cerr << "server_postgresql: GER_TEST_PG is not set; it must hold the URL of a "
                     "PostgreSQL the suite may create schemas in (./ger test starts one).\n";
        return 1;
      }
      gPgUrl = url;
    }
  }
  return RUN_ALL_TESTS();
}
