#include "server_fixture.h"

#include <unistd.h>

#include <filesystem>

namespace gertest {

std::string gPgUrl;

namespace {
int gCounter = 0;
}

std::unique_ptr<ger::server::ServerProcess> StartServer(std::vector<std::string> args,
                                                        const std::string& dbUrl) {
  std::vector<std::string> argv = {"--db", dbUrl, "--data", GER_SOURCE_DIR "/data"};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<ger::server::ServerProcess>(
      ger::server::LaunchOptions{GER_SERVER_BIN, std::move(argv), {}});
}

void ServerTest::SetUp() {
  ++gCounter;
  if (gPgUrl.empty()) {
    sqlitePath_ =
        (std::filesystem::temp_directory_path() /
         ("ger-server-test-" + std::to_string(getpid()) + "-" + std::to_string(gCounter) + ".db"))
            .string();
    std::filesystem::remove(sqlitePath_);
    dbUrl_ = "sqlite:" + sqlitePath_;
  } else {
    std::string schema = "srvtest_" + std::to_string(getpid()) + "_" + std::to_string(gCounter);
    auto admin = ger::db::Connection::Open(gPgUrl);
    admin->ExecuteScript("DROP SCHEMA IF EXISTS " + schema + " CASCADE; CREATE SCHEMA " + schema);
    dbUrl_ = gPgUrl + (gPgUrl.find('?') == std::string::npos ? "?" : "&") +
             "options=-csearch_path%3D" + schema;
  }
}

void ServerTest::Start(std::vector<std::string> extra) {
  net_.Disconnect();
  server_.reset();
  server_ = StartServer(std::move(extra), dbUrl_);
  ASSERT_GT(server_->Port(), 0);
  net_.Port = server_->Port();
}

void ServerTest::TearDown() {
  net_.Disconnect();
  if (server_) {
    EXPECT_EQ(server_->Stop(), 0) << "the server did not stop cleanly on SIGTERM";
  }
  server_.reset();
  db_.reset();
  if (!sqlitePath_.empty())
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(sqlitePath_ + suffix);
  if (!gPgUrl.empty()) {
    std::string schema = "srvtest_" + std::to_string(getpid()) + "_" + std::to_string(gCounter);
    ger::db::Connection::Open(gPgUrl)->ExecuteScript("DROP SCHEMA IF EXISTS " + schema +
                                                     " CASCADE");
  }
}

ger::db::Connection& ServerTest::Db() {
  if (!db_) db_ = ger::db::Connection::Open(dbUrl_);
  return *db_;
}

ger::ServerAnswer ServerTest::Call(const std::string& method, boost::json::array params) {
  return net_.Call(method, params);
}

boost::json::value ServerTest::Ok(const std::string& method, boost::json::array params) {
  ger::ServerAnswer a = Call(method, std::move(params));
  EXPECT_TRUE(a.ok()) << method << ": " << a.error;
  return a.payload ? a.payload->Value() : boost::json::value();
}

ger::DataPacket ServerTest::Packet(const std::string& method, boost::json::array params) {
  boost::json::value v = Ok(method, std::move(params));
  if (!v.is_object()) {
    ADD_FAILURE() << method << " did not answer a packet";
    return {};
  }
  return ger::codec::DecodePacket(v);
}

std::string ServerTest::Err(const std::string& method, boost::json::array params) {
  ger::ServerAnswer a = Call(method, std::move(params));
  EXPECT_FALSE(a.ok()) << method << " succeeded";
  return a.error;
}

}  // namespace gertest
