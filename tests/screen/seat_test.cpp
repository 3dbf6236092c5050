// A seat (the desktop host) reads its reference lists straight from the database and can change
// nothing there: on SQLite it opens the file for reading only, on PostgreSQL it logs in with the
// role `ger-admin seat-role` made, which reads only those tables. Run on SQLite, and on PostgreSQL
// when GER_TEST_PG names a server (./ger test starts one).
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "Ger00200/ger00200.h"
#include "contract/tables.h"
#include "db/database.h"
#include "launcher.h"
#include "routines/components.h"
#include "ui/dialogs.h"

namespace ger {
namespace {

struct Output {
  int status = -1;
  std::string text;
};

Output RunCommand(const std::string& command) {
  Output out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  std::array<char, 4096> buffer{};
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    out.text.append(buffer.data(), n);
  out.status = pclose(pipe);
  return out;
}

std::string Quote(const std::string& s) {
  return "'" + s + "'";  // the test's own paths, URLs and names hold no quote
}

class Seat : public ::testing::TestWithParam<db::Engine> {
 protected:
  void SetUp() override {
    const std::string tag = std::to_string(getpid());
    dir_ = std::filesystem::temp_directory_path() / ("ger-seat-" + tag);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    if (GetParam() == db::Engine::SQLite) {
      url_ = "sqlite:" + (dir_ / "ger.db").string();
    } else {
      const char* pg = std::getenv("GER_TEST_PG");
      if (!pg || !*pg) GTEST_SKIP() << "GER_TEST_PG names no PostgreSQL server";
      pgServer_ = pg;
      database_ = "ger_seat_" + tag;
      auto admin = db::Connection::Open(pgServer_);
      admin->ExecuteScript("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
      admin->ExecuteScript("CREATE DATABASE " + database_);
      const std::string base = pgServer_.substr(0, pgServer_.find('?'));
      url_ = base.substr(0, base.rfind('/') + 1) + database_;
    }
    // The server makes the schema and loads the reference lists.
    server_ = std::make_unique<server::ServerProcess>(
        server::LaunchOptions{GER_SERVER_BIN,
                              {"--db", url_, "--data", GER_SOURCE_DIR "/data", "--test-hooks"},
                              dir_ / "server.log"});
    db_ = db::Connection::Open(url_);
    db_->Execute(
        "INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA, NMRAZSOCEMPR, IDTPIJUREMPR, NRINSJUREMPR, "
        "CDPAIS, SGESTADO, CDMUNICIPIO) VALUES ('01', 'Primeira', 'Primeira', 'J', "
        "'11222333000181', '1058', 'SP', '5030')");
  }
  void TearDown() override {
    Application().Reset();
    frmEmpresa = nullptr;
    boStCriado = false;
    dtmDBGeral().Close();
    db_.reset();
    server_.reset();
    if (!database_.empty())
      db::Connection::Open(pgServer_)->ExecuteScript("DROP DATABASE IF EXISTS " + database_ +
                                                     " WITH (FORCE)");
    for (const std::string& role : roles_)
      db::Connection::Open(pgServer_)->ExecuteScript("DROP ROLE IF EXISTS " + role);
    std::filesystem::remove_all(dir_);
  }

  Output SeatRole(const std::string& url, const std::string& name) {
    return RunCommand(Quote(GER_ADMIN_BIN) + " seat-role --db " + Quote(url) + " " + Quote(name));
  }

  // The URL the seats' setting takes: the role's on PostgreSQL, the file itself on SQLite.
  std::string SeatUrl() {
    if (pgServer_.empty()) return url_;
    const std::string name = "seat_" + std::to_string(getpid());
    roles_.push_back(name);
    const Output made = SeatRole(url_, name);
    EXPECT_EQ(made.status, 0) << made.text;
    const std::string key = "seats' database setting (keep it secret): ";
    const std::size_t at = made.text.find(key);
    if (at == std::string::npos) return "";
    const std::size_t end = made.text.find('\n', at);
    return made.text.substr(at + key.size(), end - at - key.size());
  }

  // The company screen over the seat's database setting.
  TfrmEmpresa& OpenScreen(const std::string& seatUrl) {
    Application().Reset();
    Application().SetDialogs(std::make_shared<ui::ScriptedDialogs>());
    Application().Settings.webUrl = "127.0.0.1";
    Application().Settings.webPort = server_->Port();
    Application().Settings.databaseUrl = seatUrl;
    Application().Settings.moduloAtiv = "G";
    dtmDBGeral().Close();
    TfrmEmpresa& form = Application().CreateForm<TfrmEmpresa>(nullptr);
    frmEmpresa = &form;
    boStCriado = true;
    form.Show();
    return form;
  }

  std::string Name() {
    return std::get<std::string>(db_->Query("SELECT NMEMPRESA FROM EMPRESA").rows.at(0).at(0));
  }

  std::filesystem::path dir_;
  std::string url_, pgServer_, database_;
  std::vector<std::string> roles_;
  std::unique_ptr<server::ServerProcess> server_;
  std::unique_ptr<db::Connection> db_;
};

TEST_P(Seat, TheScreensReferenceListsAreReadAndNothingIsWritten) {
  const std::string seatUrl = SeatUrl();
  ASSERT_FALSE(seatUrl.empty());
  TfrmEmpresa& form = OpenScreen(seatUrl);
  // Every statement the screen runs on the database itself.
  form.qryPais.ParamByName("P_CDPAIS").SetAsString("");
  form.qryPais.ParamByName("P_TCDPAIS").SetAsString("T");
  form.qryEstado.ParamByName("P_CDPAIS").SetAsString("1058");
  form.qryEstado.ParamByName("P_SGESTADO").SetAsString("");
  form.qryEstado.ParamByName("P_TODOS").SetAsString("T");
  form.qryMunicipio.ParamByName("P_CDPAIS").SetAsString("1058");
  form.qryMunicipio.ParamByName("P_SGESTADO").SetAsString("SP");
  form.qryMunicipio.ParamByName("P_CDMUNICIPIO").SetAsString("");
  form.qryMunicipio.ParamByName("P_TCDMUNICIPIO").SetAsString("T");
  form.qryCentCusto.ParamByName("P_CDCENTCUST").SetAsString("");
  form.qryCentCusto.ParamByName("P_TCDCENTCUST").SetAsString("T");
  for (TADOIBQuery* q : {&form.qryPais, &form.qryEstado, &form.qryMunicipio, &form.qryCentCusto,
                         &form.qryVeriFilial}) {
    q->Close();
    EXPECT_NO_THROW(q->Open()) << q->Name();
  }
  EXPECT_GT(form.qryPais.Query.RecordCount(), 0);
  EXPECT_GT(form.qryMunicipio.Query.RecordCount(), 0);

  // The host's own connection refuses to change anything, on any table.
  db::Connection& seat = dtmDBGeral().Connection();
  EXPECT_TRUE(seat.ReadOnly());
  EXPECT_THROW(seat.Execute("UPDATE EMPRESA SET NMEMPRESA = 'Invadida'"), db::DbError);
  EXPECT_THROW(seat.Execute("DELETE FROM PAIS"), db::DbError);
  EXPECT_THROW(seat.Begin(), db::ReadOnlyError);
  EXPECT_EQ(Name(), "Primeira");
  EXPECT_GT(std::get<std::int64_t>(db_->Query("SELECT COUNT(*) FROM PAIS").rows.at(0).at(0)), 0);
}

// Whatever a program does with the seats' URL, the role itself can read the reference lists only
// and change nothing, also after turning the read-only session setting off.
TEST_P(Seat, ARolesLoginReadsOnlyTheHostsTablesAndCannotWrite) {
  if (GetParam() == db::Engine::SQLite) {
    const Output refused = SeatRole(url_, "seat");
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.text.find("on SQLite the desktop host opens the database file for reading"),
              std::string::npos)
        << refused.text;
    return;
  }
  const std::string seatUrl = SeatUrl();
  ASSERT_FALSE(seatUrl.empty());
  auto role = db::Connection::Open(seatUrl);  // not asking for reading only
  role->ExecuteScript("SET default_transaction_read_only = off");
  for (std::string_view table : record::kSeatReadTables)
    EXPECT_NO_THROW(role->Query("SELECT COUNT(*) FROM " + std::string(table))) << table;
  for (const char* write :
       {"UPDATE EMPRESA SET NMEMPRESA = 'Invadida'", "DELETE FROM EMPRESA",
        "UPDATE PAIS SET NMPAIS = 'X'", "INSERT INTO CENTCUST (CDCENTCUST) VALUES ('X')",
        "CREATE TABLE INVASAO (X INTEGER)"})
    EXPECT_THROW(role->Execute(write), db::DbError) << write;
  EXPECT_THROW(role->Query("SELECT NMEMPRESA FROM EMPRESA"), db::DbError);
  EXPECT_EQ(Name(), "Primeira");

  // A second role of the same name, or a name that is no plain identifier, is refused.
  EXPECT_NE(SeatRole(url_, "seat_" + std::to_string(getpid())).status, 0);
  const Output odd = SeatRole(url_, "x; DROP TABLE EMPRESA");
  EXPECT_NE(odd.status, 0);
  EXPECT_NE(odd.text.find("is not a role name"), std::string::npos) << odd.text;
  EXPECT_EQ(Name(), "Primeira");
}

INSTANTIATE_TEST_SUITE_P(Engines, Seat,
                         ::testing::Values(db::Engine::SQLite, db::Engine::PostgreSQL),
                         [](const auto& info) {
                           return info.param == db::Engine::SQLite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace
}  // namespace ger
