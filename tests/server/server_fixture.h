#pragma once
// Starts the real ger-server binary on a free port against a fresh database (a temporary SQLite
// file, or a fresh PostgreSQL schema when the suite runs with --pg) and talks to it over HTTP.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <memory>
#include <string>
#include <vector>

#include "data/packet.h"
#include "db/database.h"
#include "launcher.h"
#include "net/netconnection.h"

namespace gertest {

// Set by main(): the database URL of the run ("" for SQLite).
extern std::string gPgUrl;

// The real binary on a free port over the given database, with extra arguments.
std::unique_ptr<ger::server::ServerProcess> StartServer(std::vector<std::string> args,
                                                        const std::string& dbUrl);

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Starts (or restarts) the server with extra options.
  void Start(std::vector<std::string> extra = {"--test-hooks"});

  ger::ServerAnswer Call(const std::string& method, boost::json::array params = {});
  // The payload; fails the test on an error answer.
  boost::json::value Ok(const std::string& method, boost::json::array params = {});
  ger::DataPacket Packet(const std::string& method, boost::json::array params = {});
  // The error sentence; fails the test on a success answer.
  std::string Err(const std::string& method, boost::json::array params = {});

  // Direct access to the same database, to arrange and inspect rows with plain SQL.
  ger::db::Connection& Db();

  std::string dbUrl_;
  std::string sqlitePath_;
  std::unique_ptr<ger::server::ServerProcess> server_;
  std::unique_ptr<ger::db::Connection> db_;
  ger::TNetConnection net_;
};

}  // namespace gertest
