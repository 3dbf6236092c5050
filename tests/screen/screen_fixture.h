#pragma once
// The module's screens against a real ger-server child process and its own SQLite database: what
// the screen tests share (ScreenWithServer), and the company screen opened over it
// (EmpresaScreen). Values read back from the database come as the user would read them (numbers
// in pt-BR, dates dd/mm/yyyy), "null" for a null and "none" when no row came back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Ger00200/ger00200.h"
#include "core/ptbr.h"
#include "db/database.h"
#include "launcher.h"
#include "routines/components.h"
#include "ui/gestures.h"

namespace ger {

class ScreenWithServer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("ger-screen-" + std::to_string(getpid()) + "-" + std::to_string(++counter_));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    const std::string dbPath = (dir_ / "ger.db").string();
    server_ = std::make_unique<server::ServerProcess>(server::LaunchOptions{
        GER_SERVER_BIN,
        {"--db", "sqlite:" + dbPath, "--data", GER_SOURCE_DIR "/data", "--test-hooks"},
        {}});
    Application().Reset();
    dialogs_ = std::make_shared<ui::ScriptedDialogs>();
    Application().SetDialogs(dialogs_);
    Application().Settings.webUrl = "127.0.0.1";
    Application().Settings.webPort = server_->Port();
    Application().Settings.databaseUrl = "sqlite:" + dbPath;
    Application().Settings.moduloAtiv = "G";
    dtmDBGeral().Close();
    db_ = db::Connection::Open("sqlite:" + dbPath);
  }
  void TearDown() override {
    Application().Reset();
    dtmDBGeral().Close();
    db_.reset();
    server_.reset();
    std::filesystem::remove_all(dir_);
  }
  // The first column of the query's first row.
  std::string Sql(const std::string& query) {
    DataPacket p = db_->Query(query);
    if (p.rows.empty()) return "none";
    const Value& v = p.rows[0][0];
    if (IsNull(v)) return "null";
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) return ptbr::FormatFloat(*d);
    if (auto* t = std::get_if<DateTime>(&v)) return ptbr::FormatDateTime(*t);
    ADD_FAILURE() << "no text for the value of " << query;
    return "";
  }
  void InsertCompany(const std::string& code, const std::string& name) {
    db_->Execute(
        "INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA, NMRAZSOCEMPR, IDTPIJUREMPR, "
        "NRINSJUREMPR, CDPAIS, SGESTADO, CDMUNICIPIO) "
        "VALUES (:C, :N, :N, 'J', '11222333000181', '1058', 'SP', '5030')",
        {{"C", code}, {"N", name}});
  }
  void FailNext(const std::string& method, const std::string& message) {
    TNetConnection net;
    net.Port = server_->Port();
    ServerAnswer a = net.Call("__fail", {method, message});
    ASSERT_TRUE(a.ok()) << a.error;
  }
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    while (auto m = dialogs_->NextMessage()) out.push_back(*m);
    return out;
  }

  static inline int counter_ = 0;
  std::filesystem::path dir_;
  std::unique_ptr<server::ServerProcess> server_;
  std::unique_ptr<db::Connection> db_;
  std::shared_ptr<ui::ScriptedDialogs> dialogs_;
};

class EmpresaScreen : public ScreenWithServer {
 protected:
  void TearDown() override {
    ScreenWithServer::TearDown();
    frmEmpresa = nullptr;
    boStCriado = false;
  }

  TfrmEmpresa& Open() {
    TfrmEmpresa& form = Application().CreateForm<TfrmEmpresa>(nullptr);
    frmEmpresa = &form;
    boStCriado = true;
    form.Show();
    return form;
  }
  // The address the confirm demands: country, state and municipality.
  static void TypeAddress(TfrmEmpresa& f) {
    ASSERT_TRUE(ui::Gestures::Click(f.mnuEndereco));
    ASSERT_TRUE(ui::Gestures::Type(f.dbeCdPais, "1058"));
    ASSERT_TRUE(ui::Gestures::Type(f.dbeSgEstado, "SP"));
    ASSERT_TRUE(ui::Gestures::Type(f.dbeCdMunicipio, "5030"));
  }
};

}  // namespace ger
