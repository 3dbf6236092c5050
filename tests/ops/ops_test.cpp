// Operations on a database in use: a backup taken while clients save, restores that are whole or
// refused, the reference-list refresh, and two servers sharing one PostgreSQL. The real ger-server
// and ger-admin programs run on SQLite, and on PostgreSQL when the program runs with --pg.
#include <atomic>
#include <csignal>
#include <fstream>
#include <map>
#include <thread>
#include <tuple>

#include "backup.h"
#include "core/utf8.h"
#include "fault_support.h"
#include "schema.h"

using namespace gerfault;
using ger::DataPacket;
using ger::Row;
using ger::TNetConnection;
namespace fs = std::filesystem;

namespace {

const char* kConflict = "Registro alterado por outro usuário. Atualize os dados e tente novamente.";

// A database of its own per use: a SQLite file, or a new PostgreSQL database (pg_dump and
// pg_restore work on whole databases), dropped afterwards.
class OpsDatabase {
 public:
  explicit OpsDatabase(const fs::path& dir) {
    static int counter = 0;
    const std::string tag = std::to_string(getpid()) + "_" + std::to_string(++counter);
    if (gPgUrl.empty()) {
      url_ = "sqlite:" + (dir / ("ops_" + tag + ".db")).string();
      return;
    }
    name_ = "ger_ops_" + tag;
    ger::db::Connection::Open(gPgUrl)->Execute("CREATE DATABASE " + name_);
    std::string base = gPgUrl.substr(0, gPgUrl.find('?'));
    url_ = base.substr(0, base.rfind('/') + 1) + name_;
  }
  ~OpsDatabase() {
    if (name_.empty()) return;
    try {
      ger::db::Connection::Open(gPgUrl)->Execute("DROP DATABASE IF EXISTS " + name_ +
                                                 " WITH (FORCE)");
    } catch (const std::exception& e) {
      ADD_FAILURE() << "dropping " << name_ << ": " << e.what();
    }
  }
  const std::string& Url() const { return url_; }

 private:
  std::string url_, name_;
};

class Scratch {
 public:
  Scratch() : path_(fs::temp_directory_path() / ("ger-ops-" + std::to_string(getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~Scratch() { fs::remove_all(path_); }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

ger::server::ProgramResult Admin(std::vector<std::string> args) {
  args.insert(args.begin(), GER_ADMIN_BIN);
  return ger::server::RunProgram(args);
}

DataPacket Companies(TNetConnection& net) {
  ger::ServerAnswer a = net.Call("GetEmpresa");
  if (!a.ok()) throw std::runtime_error("GetEmpresa: " + a.error);
  return ger::codec::DecodePacket(a.payload->Text());
}

// Inserts companies with the given codes and names through the server.
void AddCompanies(TNetConnection& net, const std::map<std::string, std::string>& names,
                  const std::map<std::string, std::string>& extra = {}) {
  CompanySet cs(Companies(net));
  for (const auto& [code, name] : names) {
    Row r = cs.Blank();
    cs.Put(r, "CDEMPRESA", code);
    cs.Put(r, "NMEMPRESA", name);
    for (const auto& [column, value] : extra) cs.Put(r, column, value);
    cs.Insert(std::move(r));
  }
  ger::ServerAnswer a = net.Call("SetEmpresa", cs.Args());
  if (!a.ok()) throw std::runtime_error("SetEmpresa: " + a.error);
}

std::map<std::string, std::string> NamesIn(ger::db::Connection& c) {
  std::map<std::string, std::string> out;
  for (const Row& r : c.Query("SELECT CDEMPRESA, NMEMPRESA FROM EMPRESA").rows)
    out[Text(r[0])] = Text(r[1]);
  return out;
}

class Ops : public ::testing::Test {
 protected:
  Scratch scratch_;
};

TEST_F(Ops, BackupWhileFourClientsSaveHoldsEverySaveAcknowledgedBeforeIt) {
  constexpr int kClients = 4;
  OpsDatabase live(scratch_.Path());
  ServerChild server(live.Url());
  TNetConnection setup;
  setup.Port = server.Port();
  AddCompanies(setup, {{"00", "0"}, {"01", "0"}, {"02", "0"}, {"03", "0"}});
  const DataPacket start = Companies(setup);

  std::array<std::atomic<int>, kClients> acknowledged{};
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      TNetConnection net;
      net.Port = server.Port();
      Row mine = start.rows.at(static_cast<std::size_t>(c));
      for (int n = 1; !stop; ++n) {
        CompanySet cs(start);
        Row next = mine;
        cs.Put(next, "NMEMPRESA", std::to_string(n));
        cs.Update(mine, next);
        if (!net.Call("SetEmpresa", cs.Args()).ok()) {
          ++failures;
          return;
        }
        mine = next;
        acknowledged[static_cast<std::size_t>(c)] = n;
      }
    });
  }
  auto waitForSaves = [&](int atLeast) {
    for (int i = 0; i < 3000; ++i) {
      bool all = true;
      for (auto& a : acknowledged) all = all && a >= atLeast;
      if (all || failures) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  waitForSaves(20);
  std::array<int, kClients> before{};
  for (int c = 0; c < kClients; ++c) before[static_cast<std::size_t>(c)] = acknowledged[c];
  const fs::path file = scratch_.Path() / "backup";
  ger::server::ProgramResult backup = Admin({"backup", "--db", live.Url(), file.string()});
  std::array<int, kClients> during{};
  for (int c = 0; c < kClients; ++c) during[static_cast<std::size_t>(c)] = acknowledged[c];
  waitForSaves(during[0] + 5);
  stop = true;
  for (auto& t : clients) t.join();
  ASSERT_EQ(backup.status, 0) << backup.output;
  ASSERT_EQ(failures.load(), 0);
  EXPECT_FALSE(fs::exists(file.string() + ".partial"));

  OpsDatabase copy(scratch_.Path());
  ger::server::ProgramResult restore = Admin({"restore", "--db", copy.Url(), file.string()});
  ASSERT_EQ(restore.status, 0) << restore.output;
  auto restored = ger::db::Connection::Open(copy.Url());
  if (gPgUrl.empty()) {
    EXPECT_EQ(Text(restored->Query("PRAGMA integrity_check").rows.at(0).at(0)), "ok");
  }
  std::map<std::string, std::string> names = NamesIn(*restored);
  ASSERT_EQ(names.size(), static_cast<std::size_t>(kClients));
  for (int c = 0; c < kClients; ++c) {
    const int saved = std::stoi(names.at(CompanyCode(c)));
    EXPECT_GE(saved, before[static_cast<std::size_t>(c)]) << "client " << c;
    // At most the one save in flight when the backup ended, committed but not yet answered.
    EXPECT_LE(saved, during[static_cast<std::size_t>(c)] + 1) << "client " << c;
  }
  // The reference lists came along too.
  EXPECT_EQ(Text(restored->Query("SELECT COUNT(*) FROM MUNICIPIO").rows.at(0).at(0)), "5570");
}

TEST_F(Ops, RestoreRefusesWhatIsNotABackupOfThisDatabaseAndReplacesWhollyWhatIs) {
  OpsDatabase live(scratch_.Path());
  ServerChild server(live.Url());
  TNetConnection net;
  net.Port = server.Port();
  AddCompanies(net, {{"01", "Primeira"}});
  const fs::path good = scratch_.Path() / "good";
  ger::server::ProgramResult made = Admin({"backup", "--db", live.Url(), good.string()});
  ASSERT_EQ(made.status, 0) << made.output;
  ger::server::ProgramResult again = Admin({"backup", "--db", live.Url(), good.string()});
  EXPECT_NE(again.status, 0) << "a backup must not overwrite an earlier one";
  AddCompanies(net, {{"02", "Segunda"}});

  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(scratch_.Path() / name, std::ios::binary) << bytes;
    return (scratch_.Path() / name).string();
  };
  std::string goodBytes;
  {
    std::ifstream in(good, std::ios::binary);
    goodBytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::pair<std::string, std::string>> refused = {
      {write("text", "CDEMPRESA,NMEMPRESA\n01,Outra\n"), "not a backup"},
      {write("truncated", goodBytes.substr(0, goodBytes.size() * 2 / 3)), ""},
      {(scratch_.Path() / "missing").string(), "does not exist"},
  };
  {
    // A database of another program: the right kind of file without this schema.
    OpsDatabase other(scratch_.Path());
    auto c = ger::db::Connection::Open(other.Url());
    c->ExecuteScript(
        "CREATE TABLE EMPRESA (CDEMPRESA VARCHAR(2)); INSERT INTO EMPRESA VALUES ('09')");
    const fs::path otherFile = scratch_.Path() / "other";
    c.reset();
    ger::server::ProgramResult r = Admin({"backup", "--db", other.Url(), otherFile.string()});
    ASSERT_EQ(r.status, 0) << r.output;
    refused.push_back({otherFile.string(), "not a backup of this database"});
  }
  for (const auto& [file, why] : refused) {
    ger::server::ProgramResult r = Admin({"restore", "--db", live.Url(), file});
    EXPECT_NE(r.status, 0) << file;
    EXPECT_NE(r.output.find(why), std::string::npos) << r.output;
    auto c = ger::db::Connection::Open(live.Url());
    EXPECT_EQ(NamesIn(*c),
              (std::map<std::string, std::string>{{"01", "Primeira"}, {"02", "Segunda"}}))
        << "after refusing " << file;
  }

  // The real backup replaces the contents, and the running server serves them at once.
  ger::server::ProgramResult r = Admin({"restore", "--db", live.Url(), good.string()});
  ASSERT_EQ(r.status, 0) << r.output;
  DataPacket served = Companies(net);
  ASSERT_EQ(served.rows.size(), 1u);
  EXPECT_EQ(Text(served.rows[0][1]), "Primeira");
}

// A database of this system's schema holding company 01, to be backed up after `extra` (SQL of
// the engine at hand) has added to it what an attacker or a newer version would.
fs::path BackupOf(const fs::path& dir, const std::string& name, const std::string& extra) {
  OpsDatabase source(dir);
  {
    auto c = ger::db::Connection::Open(source.Url());
    ger::server::CreateSchema(*c);
    c->Execute("INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES ('01', 'Da cópia')");
    if (!extra.empty()) c->ExecuteScript(extra);
  }
  const fs::path file = dir / name;
  ger::server::ProgramResult r = Admin({"backup", "--db", source.Url(), file.string()});
  if (r.status != 0) throw std::runtime_error("backup of " + name + ": " + r.output);
  return file;
}

// The objects of the database besides its tables: none after a restore.
std::vector<std::string> ObjectsBesidesTables(ger::db::Connection& c) {
  std::vector<std::string> out;
  const char* sql =
      gPgUrl.empty()
          ? "SELECT type || ' ' || name FROM sqlite_master WHERE type IN ('trigger', 'view')"
          : "SELECT 'trigger ' || tgname FROM pg_trigger WHERE NOT tgisinternal UNION ALL "
            "SELECT 'function ' || proname FROM pg_proc WHERE pronamespace = "
            "current_schema()::regnamespace UNION ALL SELECT 'view ' || table_name FROM "
            "information_schema.views WHERE table_schema = current_schema()";
  // The change history's own guards are made by this system (and again by every restore).
  for (const Row& r : c.Query(sql).rows)
    if (ger::utf8::ToLower(Text(r[0])).find("historico") == std::string::npos)
      out.push_back(Text(r[0]));
  return out;
}

TEST_F(Ops, RestoreTakesRowsOnlyAndNothingElseTheBackupBrings) {
  const fs::path marker = scratch_.Path() / "ran";
  // A trigger that deletes every other company, a view, an index and a table of its own; on
  // PostgreSQL also a check calling a function that runs a program.
  const std::string evil =
      gPgUrl.empty()
          ? "CREATE TRIGGER APAGA AFTER INSERT ON EMPRESA BEGIN DELETE FROM EMPRESA WHERE "
            "CDEMPRESA <> NEW.CDEMPRESA; END; CREATE VIEW VISTA AS SELECT * FROM EMPRESA; "
            "CREATE INDEX LENTO ON EMPRESA (NMEMPRESA); CREATE TABLE ALHEIA (X INTEGER);"
          : "CREATE FUNCTION apaga() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN DELETE FROM "
            "empresa WHERE cdempresa <> NEW.cdempresa; RETURN NEW; END $$; "
            "CREATE TRIGGER apaga AFTER INSERT ON empresa FOR EACH ROW EXECUTE FUNCTION apaga(); "
            "CREATE FUNCTION roda(t text) RETURNS boolean LANGUAGE plpgsql AS $$ BEGIN "
            "EXECUTE 'COPY (SELECT 1) TO PROGRAM ''touch " +
                marker.string() +
                "'''; RETURN true; END $$; "
                "ALTER TABLE empresa ADD CONSTRAINT roda CHECK (roda(nmempresa)) NOT VALID; "
                "CREATE VIEW vista AS SELECT * FROM empresa; CREATE TABLE alheia (x integer);";
  const fs::path file = BackupOf(scratch_.Path(), "evil", evil);
  OpsDatabase live(scratch_.Path());
  ServerChild server(live.Url());
  TNetConnection net;
  net.Port = server.Port();
  AddCompanies(net, {{"05", "Antes"}});

  ger::server::ProgramResult r = Admin({"restore", "--db", live.Url(), file.string()});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("left out"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(marker)) << "the restore ran the backup's function";
  auto c = ger::db::Connection::Open(live.Url());
  // Only the server's own objects (the change number's triggers, made again after the rows).
  std::vector<std::string> foreign, own;
  for (std::string& o : ObjectsBesidesTables(*c)) {
    const std::string prefix = o.substr(o.find(' ') + 1, 4);
    (prefix == "GER_" || prefix == "ger_" ? own : foreign).push_back(std::move(o));
  }
  EXPECT_EQ(foreign, std::vector<std::string>{});
  EXPECT_FALSE(own.empty());
  // The history only grows after a restore too.
  EXPECT_THROW(c->Execute("DELETE FROM HISTORICO"), ger::db::DbError);
  EXPECT_EQ(NamesIn(*c), (std::map<std::string, std::string>{{"01", "Da cópia"}}));
  // New companies keep the others, and the list answers at once.
  AddCompanies(net, {{"02", "Segunda"}});
  AddCompanies(net, {{"03", "Terceira"}});
  EXPECT_EQ(Companies(net).rows.size(), 3u);

  // A view with every declared column in place of a declared table is no backup of this
  // database.
  const fs::path viewed =
      BackupOf(scratch_.Path(), "viewed",
               "ALTER TABLE EMPRESA RENAME TO EMPRESA_REAL; CREATE VIEW EMPRESA AS SELECT * FROM "
               "EMPRESA_REAL;");
  r = Admin({"restore", "--db", live.Url(), viewed.string()});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("is not a backup of this database"), std::string::npos) << r.output;
  EXPECT_EQ(Companies(net).rows.size(), 3u);
}

// A backup made before the change number's tables existed restores: they start empty, and the
// saves number themselves again from there.
TEST_F(Ops, ABackupFromBeforeTheChangeNumberRestoresWithItsTablesEmpty) {
  const fs::path file =
      BackupOf(scratch_.Path(), "older", "DROP TABLE SEQALTERACAO; DROP TABLE EMPRALTERACAO;");
  OpsDatabase live(scratch_.Path());
  ger::server::ProgramResult r = Admin({"restore", "--db", live.Url(), file.string()});
  ASSERT_EQ(r.status, 0) << r.output;
  ServerChild server(live.Url());
  TNetConnection net;
  net.Port = server.Port();
  AddCompanies(net, {{"02", "Segunda"}});
  auto c = ger::db::Connection::Open(live.Url());
  EXPECT_EQ(NamesIn(*c),
            (std::map<std::string, std::string>{{"01", "Da cópia"}, {"02", "Segunda"}}));
  EXPECT_EQ(c->Query("SELECT CDEMPRESA FROM EMPRALTERACAO").rows.size(), 1u);
}

TEST_F(Ops, RestoreOfANewerVersionsBackupIsRefusedAndAnUnknownEmptyColumnIsLeftOut) {
  OpsDatabase live(scratch_.Path());
  {
    ServerChild server(live.Url());
    TNetConnection net;
    net.Port = server.Port();
    AddCompanies(net, {{"05", "Fica"}});
  }
  const fs::path loose =
      BackupOf(scratch_.Path(), "loose", "ALTER TABLE EMPRESA ADD COLUMN NOTAS_NOVAS TEXT");
  ger::server::ProgramResult r = Admin({"restore", "--db", live.Url(), loose.string()});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("left out the column EMPRESA."), std::string::npos) << r.output;
  {
    auto c = ger::db::Connection::Open(live.Url());
    EXPECT_EQ(NamesIn(*c), (std::map<std::string, std::string>{{"01", "Da cópia"}}));
    c->Execute("UPDATE EMPRESA SET NMEMPRESA = 'Fica' WHERE CDEMPRESA = '01'");
  }

  const fs::path newer =
      BackupOf(scratch_.Path(), "newer",
               "ALTER TABLE EMPRESA ADD COLUMN NOVA VARCHAR(5) NOT NULL DEFAULT 'x'");
  r = Admin({"restore", "--db", live.Url(), newer.string()});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("is a backup of a newer version"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("nothing was restored"), std::string::npos) << r.output;
  auto c = ger::db::Connection::Open(live.Url());
  EXPECT_EQ(NamesIn(*c), (std::map<std::string, std::string>{{"01", "Fica"}}));
  // The live table keeps the declared columns only: a later save does not fail on NOVA.
  c->Execute("INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES ('02', 'Depois')");
}

TEST_F(Ops, RestoreGoesOnlyIntoThisSystemsDatabaseANewFileOrAnEmptyOne) {
  const std::string file = BackupOf(scratch_.Path(), "good", "").string();
  if (gPgUrl.empty()) {
    // Another program's database, reached directly or through a link, is left as it was.
    const fs::path other = scratch_.Path() / "outro.db";
    {
      auto c = ger::db::Connection::Open("sqlite:" + other.string());
      c->ExecuteScript("CREATE TABLE AGENDA (NOME TEXT); INSERT INTO AGENDA VALUES ('x')");
    }
    const fs::path link = scratch_.Path() / "link.db";
    fs::create_symlink(other, link);
    ger::server::ProgramResult r = Admin({"restore", "--db", "sqlite:" + link.string(), file});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("symbolic link"), std::string::npos) << r.output;
    r = Admin({"restore", "--db", "sqlite:" + other.string(), file});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("another program's database"), std::string::npos) << r.output;
    auto c = ger::db::Connection::Open("sqlite:" + other.string());
    EXPECT_EQ(c->Query("SELECT name FROM sqlite_master").rows.size(), 1u);
    // A file that does not exist yet, and an empty one, take the backup.
    for (const fs::path& target : {scratch_.Path() / "novo.db", scratch_.Path() / "vazio.db"}) {
      if (target.filename() == "vazio.db") std::ofstream(target).flush();
      r = Admin({"restore", "--db", "sqlite:" + target.string(), file});
      ASSERT_EQ(r.status, 0) << target << r.output;
      auto restored = ger::db::Connection::Open("sqlite:" + target.string());
      EXPECT_EQ(NamesIn(*restored), (std::map<std::string, std::string>{{"01", "Da cópia"}}));
    }
    return;
  }
  OpsDatabase other(scratch_.Path());
  ger::db::Connection::Open(other.Url())->ExecuteScript("CREATE TABLE agenda (nome text)");
  ger::server::ProgramResult r = Admin({"restore", "--db", other.Url(), file});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("another program's database"), std::string::npos) << r.output;
  OpsDatabase empty(scratch_.Path());
  r = Admin({"restore", "--db", empty.Url(), file});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(NamesIn(*ger::db::Connection::Open(empty.Url())),
            (std::map<std::string, std::string>{{"01", "Da cópia"}}));
}

// A copy of the shipped reference files to change.
fs::path CopyOfReferenceData(const fs::path& dir) {
  fs::create_directories(dir);
  for (const auto& entry : fs::directory_iterator(GER_SOURCE_DIR "/data"))
    if (entry.path().extension() == ".csv")
      fs::copy_file(entry.path(), dir / entry.path().filename());
  return dir;
}

// Rewrites a CSV file: lines starting with a key in `drop` go, `replace` swaps whole lines,
// `add` comes at the end.
void EditCsv(const fs::path& file, const std::vector<std::string>& drop,
             const std::map<std::string, std::string>& replace,
             const std::vector<std::string>& add) {
  std::ifstream in(file);
  std::string out, line;
  while (std::getline(in, line)) {
    bool dropped = false;
    for (const auto& d : drop) dropped = dropped || line.starts_with(d + ",");
    if (dropped) continue;
    auto it = replace.find(line);
    out += (it == replace.end() ? line : it->second) + "\n";
  }
  for (const auto& a : add) out += a + "\n";
  std::ofstream(file, std::ios::trunc) << out;
}

TEST_F(Ops, ReferenceRefreshAddsChangesRemovesAndKeepsWhatCompaniesUseInOneTransaction) {
  OpsDatabase live(scratch_.Path());
  ServerChild server(live.Url());
  TNetConnection net;
  net.Port = server.Port();
  // Company 01 uses a CNAE, a municipality (Acrelândia, AC) and a legal nature that the new
  // files drop.
  AddCompanies(net, {{"01", "Usa"}},
               {{"CDCNAE", "0111301"},
                {"CDPAIS", "1058"},
                {"SGESTADO", "AC"},
                {"CDMUNICIPIO", "0001"},
                {"CDNATUJURI", "1015"}});
  const fs::path dir = CopyOfReferenceData(scratch_.Path() / "csv");
  EditCsv(dir / "cnae.csv", {"0111301", "0111302"},
          {{"0111303,\"CULTIVO DE TRIGO\"", "0111303,\"CULTIVO DE TRIGO, NOVO NOME\""}},
          {"9999901,\"ATIVIDADE NOVA\""});
  EditCsv(dir / "municipios.csv", {"1058,AC,0001", "1058,AC,0005"}, {},
          {"1058,AC,9990,Nova Cidade,1299990"});
  EditCsv(dir / "natureza_juridica.csv", {"1015"}, {}, {});
  EditCsv(dir / "paises.csv", {}, {}, {"9990,Nova Terra"});

  ger::server::ProgramResult r = Admin({"reference", "--db", live.Url(), dir.string()});
  ASSERT_EQ(r.status, 0) << r.output;
  // Every table reported, the counts as changed, the rows kept named with their users.
  EXPECT_NE(r.output.find("CNAE            1        1        1     1"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("MUNICIPIO       1        0        1     1"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("NATUREZA        0        0        0     1"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("PAIS            1        0        0     0"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("ESTADO          0        0        0     0"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("kept in CNAE: 0111301 (used by company 01)"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("kept in MUNICIPIO: 1058/AC/0001 (used by company 01)"),
            std::string::npos)
      << r.output;

  auto c = ger::db::Connection::Open(live.Url());
  auto cnae = [&](const std::string& code) {
    DataPacket p = c->Query("SELECT DSCNAE FROM CNAE WHERE CDCNAE = :C", {{"C", code}});
    return p.rows.empty() ? std::string("<none>") : Text(p.rows[0][0]);
  };
  EXPECT_EQ(cnae("0111301"), "CULTIVO DE ARROZ");
  EXPECT_EQ(cnae("0111302"), "<none>");
  EXPECT_EQ(cnae("0111303"), "CULTIVO DE TRIGO, NOVO NOME");
  EXPECT_EQ(cnae("9999901"), "ATIVIDADE NOVA");
  EXPECT_EQ(Text(c->Query("SELECT COUNT(*) FROM MUNICIPIO").rows.at(0).at(0)), "5570");
  // The server answers from the refreshed list at once.
  ger::ServerAnswer a = net.Call("GetCNAE", {"9999901", ""});
  ASSERT_TRUE(a.ok()) << a.error;
  EXPECT_EQ(ger::codec::DecodePacket(a.payload->Text()).rows.size(), 1u);

  // A broken file (the last one read) changes nothing at all.
  EditCsv(dir / "cnae.csv", {}, {}, {"9999902,\"OUTRA NOVA\""});
  EditCsv(dir / "fpas.csv", {}, {}, {"999,Sobra,campo"});
  r = Admin({"reference", "--db", live.Url(), dir.string()});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("fpas.csv line"), std::string::npos) << r.output;
  EXPECT_EQ(cnae("9999902"), "<none>");
}

std::string FileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(Ops, ReferenceRefreshRefusesCutAndInconsistentFilesReadsTheirEncodingsAndShowsADryRun) {
  OpsDatabase live(scratch_.Path());
  { ServerChild seeding(live.Url()); }
  const fs::path dir = CopyOfReferenceData(scratch_.Path() / "csv");
  auto c = ger::db::Connection::Open(live.Url());
  auto count = [&](const std::string& table) {
    return Text(c->Query("SELECT COUNT(*) FROM " + table).rows.at(0).at(0));
  };
  auto run = [&](std::vector<std::string> options) {
    std::vector<std::string> args = {"reference", "--db", live.Url()};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(dir.string());
    return Admin(args);
  };
  const fs::path municipios = dir / "municipios.csv";
  const std::string whole = FileText(municipios);
  std::string firstLines;
  for (std::size_t at = 0, lines = 0; lines < 1000; ++lines) {
    at = whole.find('\n', at) + 1;
    firstLines = whole.substr(0, at);
  }

  // Cut in the middle of a line: its code would be stored cut.
  std::ofstream(municipios, std::ios::binary | std::ios::trunc) << firstLines << "1058,SP,01";
  ger::server::ProgramResult r = run({});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("does not end with a line end"), std::string::npos) << r.output;

  // Cut at a line end: 4,571 municipalities would go.
  std::ofstream(municipios, std::ios::binary | std::ios::trunc) << firstLines;
  r = run({});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("leaves out 4571 of the 5570 rows of table MUNICIPIO"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("--allow-removals"), std::string::npos) << r.output;
  r = run({"--dry-run", "--allow-removals"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("MUNICIPIO       0        0     4571     0"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("dry run: nothing was changed"), std::string::npos) << r.output;
  EXPECT_EQ(count("MUNICIPIO"), "5570");
  std::ofstream(municipios, std::ios::binary | std::ios::trunc) << whole;

  // What spreadsheets write: a byte-order mark, and Windows-1252.
  const std::string cnae = FileText(dir / "cnae.csv");
  std::ofstream(dir / "cnae.csv", std::ios::binary | std::ios::trunc) << "\xEF\xBB\xBF" << cnae;
  const std::string paises = FileText(dir / "paises.csv");
  std::ofstream(dir / "paises.csv", std::ios::binary | std::ios::app)
      << "9991,Terra Nova do Sert\xE3o\n";
  r = run({});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("CNAE            0        0        0     0"), std::string::npos)
      << r.output;
  DataPacket added = c->Query("SELECT NMPAIS FROM PAIS WHERE CDPAIS = '9991'");
  EXPECT_EQ(added.rows.empty() ? "<none>" : Text(added.rows[0][0]), "Terra Nova do Sertão");

  // A code longer than its column, a state of no country, a municipality of no state: refused
  // alike on both engines, and nothing changes.
  const std::string estados = FileText(dir / "estados.csv");
  const std::vector<std::tuple<fs::path, std::string, std::string>> broken = {
      {dir / "estados.csv", estados + "1058,SPX,Estado Longo,99\n",
       "the value 'SPX' of column SGESTADO has 3 characters, more than the column's 2"},
      {dir / "estados.csv", estados + "7777,XX,Estado Sem Pais,98\n",
       "has states of the country 7777"},
      {municipios, whole + "1058,ZZ,9999,Lugar Nenhum,9999999\n",
       "has municipalities of the state 1058/ZZ"},
  };
  for (const auto& [file, text, why] : broken) {
    const std::string before = FileText(file);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    r = run({});
    EXPECT_NE(r.status, 0) << why;
    EXPECT_NE(r.output.find(why), std::string::npos) << r.output;
    std::ofstream(file, std::ios::binary | std::ios::trunc) << before;
  }
  EXPECT_EQ(count("ESTADO"), "27");
  EXPECT_EQ(count("MUNICIPIO"), "5570");
}

TEST_F(Ops, AServerTokenOfBlanksOrWithBlanksAroundItIsRefusedAtStart) {
  if (!gPgUrl.empty()) GTEST_SKIP() << "the same on both engines";
  const std::string url = "sqlite:" + (scratch_.Path() / "token.db").string();
  for (const std::string token : {"   ", "segredo-longo-o-bastante ", " segredo"}) {
    ger::server::ProgramResult r =
        ger::server::RunProgram({"timeout", "20", GER_SERVER_BIN, "--db", url, "--port", "0"},
                                {"GER_SERVER_TOKEN=" + token});
    EXPECT_EQ(r.status, 2) << "'" << token << "': " << r.output;
    EXPECT_NE(r.output.find("GER_SERVER_TOKEN: the token"), std::string::npos) << r.output;
  }
}

TEST_F(Ops, ABackupIsRefusedWhileAJournalOfAReplacedFileLiesBesideIt) {
  if (!gPgUrl.empty()) GTEST_SKIP() << "a file fault of the embedded database";
  OpsDatabase live(scratch_.Path());
  const fs::path db = live.Url().substr(7);
  auto server = std::make_unique<ServerChild>(live.Url());
  TNetConnection net;
  net.Port = server->Port();
  AddCompanies(net, {{"01", "Primeira"}});
  fs::copy_file(db, scratch_.Path() / "antiga.db");
  AddCompanies(net, {{"02", "Segunda"}});
  fs::rename(scratch_.Path() / "antiga.db", db);
  server->Stop(SIGKILL);
  const std::string before = FileText(db);
  ger::server::ProgramResult r =
      Admin({"backup", "--db", live.Url(), (scratch_.Path() / "b").string()});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("belongs to another database file"), std::string::npos) << r.output;
  EXPECT_TRUE(FileText(db) == before) << "the journal was applied to the file";
}

TEST_F(Ops, TwoServersOnOnePostgresqlRefuseTheSecondSaveOfACompanyAndLoseNothing) {
  if (gPgUrl.empty()) GTEST_SKIP() << "several servers share one PostgreSQL";
  OpsDatabase shared(scratch_.Path());
  ServerChild a(shared.Url());
  ServerChild b(shared.Url());
  TNetConnection viaA, viaB;
  viaA.Port = a.Port();
  viaB.Port = b.Port();
  AddCompanies(viaA, {{"07", "Sétima"}});
  // The company saved through one server is seen at once through the other: no server keeps a
  // copy of its own.
  DataPacket seenByFirst = Companies(viaA);
  DataPacket seenBySecond = Companies(viaB);
  ASSERT_EQ(seenBySecond.rows.size(), 1u);
  ASSERT_EQ(seenByFirst, seenBySecond);

  CompanySet first(seenByFirst);
  Row mine = seenByFirst.rows[0];
  first.Put(mine, "NMEMPRESA", "Sétima pelo primeiro");
  first.Update(seenByFirst.rows[0], mine);
  ger::ServerAnswer saved = viaA.Call("SetEmpresa", first.Args());
  ASSERT_TRUE(saved.ok()) << saved.error;

  CompanySet second(seenBySecond);
  Row theirs = seenBySecond.rows[0];
  theirs.at(static_cast<std::size_t>(seenBySecond.IndexOf("NMEMPRESA"))) = "Sétima pelo segundo";
  second.Update(seenBySecond.rows[0], theirs);
  ger::ServerAnswer refused = viaB.Call("SetEmpresa", second.Args());
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.error, kConflict);

  // The second user reloads through whichever server answers, sees the first save and saves on.
  DataPacket reloaded = Companies(viaB);
  EXPECT_EQ(Text(reloaded.rows.at(0)[1]), "Sétima pelo primeiro");
  CompanySet retry(reloaded);
  Row again = reloaded.rows[0];
  retry.Put(again, "DSEMAILEMPRESA", "segundo@empresa.com.br");
  retry.Update(reloaded.rows[0], again);
  ASSERT_TRUE(viaB.Call("SetEmpresa", retry.Args()).ok());
  Row stored = Companies(viaA).rows.at(0);
  EXPECT_EQ(Text(stored[1]), "Sétima pelo primeiro");
  EXPECT_EQ(Text(stored[static_cast<std::size_t>(reloaded.IndexOf("DSEMAILEMPRESA"))]),
            "segundo@empresa.com.br");
}

}  // namespace

int main(int argc, char** argv) {
  return RunFaultTests(argc, argv);
}
