#include "server_fixture.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace gertest {

std::string gPgUrl;

namespace {
int gCounter = 0;
}

ServerProcess::ServerProcess(std::vector<std::string> args, std::string dbUrl) {
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> argv = {GER_SERVER_BIN,        "--db", dbUrl, "--port", "0", "--data",
                                   GER_SOURCE_DIR "/data"};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive a crashed test program
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  close(out[1]);
  // First line: "listening on 127.0.0.1:PORT".
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(out[0]);
  auto colon = line.rfind(':');
  if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
    ADD_FAILURE() << "ger-server did not start: '" << line << "'";
    return;
  }
  port_ = std::stoi(line.substr(colon + 1));
}

int ServerProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return -1;
}

ServerProcess::~ServerProcess() {
  Stop();
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
  server_ = std::make_unique<ServerProcess>(std::move(extra), dbUrl_);
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
  return a.payload.value_or(boost::json::value());
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
