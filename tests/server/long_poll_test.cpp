// The long poll of the company list against the real server: a seat's AguardaAlteracao(N) is
// answered with the number once a change past N is committed (by this server, by another on the
// same PostgreSQL, by any program writing the database), with N when its wait runs out or the
// server stops; the connection then carries the next call, and a client that goes away frees
// its place.
#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "around_the_screen.h"
#include "contract/rdm_empresa.h"
#include "raw_client.h"
#include "server_fixture.h"

using namespace gertest;
using ger::ChangeKind;
using ger::ChangeSet;
using ger::DataPacket;
using ger::Row;
using ger::ServerAnswer;
namespace json = boost::json;
using namespace std::chrono_literals;

namespace {

std::int64_t Number(const ServerAnswer& a) {
  EXPECT_TRUE(a.ok()) << a.error;
  return a.ok() ? a.payload->Value().to_number<std::int64_t>() : -1;
}

// A seat's long poll, on a connection and a thread of its own.
class Waiter {
 public:
  Waiter(int port, std::int64_t held, int seconds = 20) {
    net_.Port = port;
    answer_ = std::async(std::launch::async, [this, held, seconds] {
      return net_.Call("AguardaAlteracao", {held, seconds});
    });
  }
  ~Waiter() {
    if (answer_.valid()) answer_.wait();
  }
  // The answer's number; -1 for an error answer or none within 30 s.
  std::int64_t Number() {
    if (answer_.wait_for(30s) != std::future_status::ready) return -1;
    return ::Number(answer_.get());
  }
  // The connection the answer came on, for the next call.
  ger::TNetConnection& Net() { return net_; }

 private:
  ger::TNetConnection net_;
  std::future<ServerAnswer> answer_;
};

class LongPollTest : public ServerTest {
 protected:
  ger::TRdmEmpresa rdm{net_};

  std::int64_t Now() { return Number(Call("AguardaAlteracao", {0, 0})); }
  long Calls() { return Ok("__calls", {"AguardaAlteracao"}).to_number<long>(); }
  // Waits until `n` calls of AguardaAlteracao have read the number (and so are parked, or about
  // to be, when it was not past theirs).
  void CallsReach(long n) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (Calls() < n && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
    ASSERT_GE(Calls(), n);
  }
  // The server's connections open now (its end, closed by the client or not), from the
  // kernel's table: the database's sockets are not counted.
  int Connections() {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    int n = 0;
    char port[8];
    std::snprintf(port, sizeof port, ":%04X", server_->Port());
    while (std::getline(table, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      if (local.ends_with(port) && state != "0A") ++n;  // not the listening socket
    }
    return n;
  }
};

// This server's own saves answer the waiting calls when committed: the look at the database is
// set far apart here, so only the save can wake them within their wait.
TEST_F(LongPollTest, ASaveOnThisServerAnswersTheWaitingCallsAndTheirConnectionsCarryOn) {
  Start({"--demo", "--test-hooks", "--change-check-ms", "600000"});
  const std::int64_t held = Now();
  // Answered at once: a number behind the database's, or no wait asked for.
  EXPECT_EQ(Number(Call("AguardaAlteracao", {held - 1})), held);
  EXPECT_EQ(Number(Call("AguardaAlteracao", {held, 0})), held);
  const long before = Calls();
  std::vector<std::unique_ptr<Waiter>> waiters;
  for (int i = 0; i < 3; ++i) waiters.push_back(std::make_unique<Waiter>(server_->Port(), held));
  CallsReach(before + 3);
  gertest::RenameThroughServer(rdm, "01", "Salva aqui");
  const std::int64_t saved = Now();
  EXPECT_GT(saved, held);
  for (auto& w : waiters) EXPECT_EQ(w->Number(), saved);
  // The same connection carries the next calls, a plain one and a wait.
  EXPECT_EQ(Number(waiters[0]->Net().Call("AguardaAlteracao", {saved, 0})), saved);
  Waiter again(server_->Port(), saved);
  CallsReach(before + 5);
  ger::TRdmEmpresa seat(waiters[0]->Net());
  gertest::RenameThroughServer(seat, "02", "Salva de novo");
  EXPECT_GT(again.Number(), saved);
}

// Changes written around the server (another program, a script) are seen by the shared look at
// the database while calls wait; a wait that runs out answers the number unchanged.
TEST_F(LongPollTest, AWriteStraightIntoTheDatabaseAnswersTheWaitAndATimeOutAnswersTheSameNumber) {
  Start({"--demo", "--test-hooks"});
  const std::int64_t held = Now();
  EXPECT_EQ(Number(Call("AguardaAlteracao", {held, 1})), held);
  const long before = Calls();
  Waiter waiter(server_->Port(), held);
  CallsReach(before + 1);
  Db().Execute("UPDATE EMPRESA SET NMEMPRESA = 'Por fora' WHERE CDEMPRESA = '02'");
  EXPECT_EQ(waiter.Number(), held + 1);
}

// A client that closes its connection while waiting frees it; the server serves on, and a
// waiting call is answered (its number unchanged) when the server stops.
TEST_F(LongPollTest, AClosedWaitingConnectionIsFreedAndTheStopAnswersTheOthers) {
  Start({"--demo", "--test-hooks"});
  const std::int64_t held = Now();
  const int idle = Connections();
  {
    std::vector<std::unique_ptr<RawClient>> gone;
    const std::string body = R"({"jsonrpc":"2.0","id":1,"method":"AguardaAlteracao","params":[)" +
                             std::to_string(held) + ",20]}";
    const long before = Calls();
    for (int i = 0; i < 20; ++i) {
      gone.push_back(std::make_unique<RawClient>(server_->Port()));
      ASSERT_TRUE(gone.back()->Send(Post(body)));
    }
    CallsReach(before + 20);
    EXPECT_GE(Connections(), idle + 20);
  }
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (Connections() > idle && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  EXPECT_LE(Connections(), idle);
  EXPECT_EQ(Now(), held);
  const long before = Calls();
  Waiter last(server_->Port(), held);
  CallsReach(before + 1);
  EXPECT_EQ(server_->Stop(), 0);
  server_.reset();
  EXPECT_EQ(last.Number(), held);
}

TEST_F(LongPollTest, MalformedArgumentsAreRefused) {
  Start({"--demo", "--test-hooks"});
  for (const json::array& params :
       {json::array{}, json::array{"1"}, json::array{-1}, json::array{1.5}, json::array{nullptr},
        json::array{1, "5"}, json::array{1, 2.5}, json::array{1, 2, 3}}) {
    const ServerAnswer a = Call("AguardaAlteracao", params);
    EXPECT_FALSE(a.ok()) << json::serialize(params);
    EXPECT_NE(a.error.find("AguardaAlteracao"), std::string::npos) << a.error;
  }
  // A wait longer than the longest, or below nothing, is taken as the longest, or none.
  EXPECT_EQ(Number(Call("AguardaAlteracao", {Now(), -5})), Now());
  EXPECT_EQ(Number(Call("AguardaAlteracao", {0, 1e6})), Now());
}

// Two servers on one PostgreSQL: a save through one answers the calls waiting on the other.
TEST_F(LongPollTest, ASaveThroughAnotherServerAnswersTheCallsWaitingOnThisOne) {
  if (gPgUrl.empty()) GTEST_SKIP() << "PostgreSQL only";
  Start({"--demo", "--test-hooks"});
  auto other = StartServer({}, dbUrl_);
  ger::TNetConnection otherNet;
  otherNet.Port = other->Port();
  ger::TRdmEmpresa there{otherNet};
  const std::int64_t held = Now();
  const long before = Calls();
  Waiter waiter(server_->Port(), held);
  CallsReach(before + 1);
  gertest::RenameThroughServer(there, "02", "Pelo outro servidor");
  EXPECT_GT(waiter.Number(), held);
}

}  // namespace
