// Operations on a database in use: a backup taken while clients save, restores that are whole or
// refused, the reference-list refresh, and two servers sharing one PostgreSQL. The real ger-server
// and ger-admin programs run on SQLite, and on PostgreSQL when the program runs with --pg.
#include <atomic>
#include <fstream>
#include <map>
#include <thread>

#include "backup.h"
#include "fault_support.h"

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
