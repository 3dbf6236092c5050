// The HTTP layer in this process, over real sockets, with a handler that echoes the body: what
// happens to pipelined, slow, truncated, oversized and stalled requests, and to many clients.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "http_server.h"
#include "raw_client.h"

using namespace gertest;
using ger::server::HttpReply;
using ger::server::HttpRequest;
using ger::server::HttpServer;
using ger::server::HttpServerOptions;
using namespace std::chrono_literals;

namespace {

// A request whose body starts with "wait:" is answered once the test opens the gate (or after 20
// s); one starting with "offload:" is handed to a worker by its handler on the loop, and waits
// for the gate there.
std::atomic<bool> gGateOpen{false};
// A request "park:MS" is parked: answered "woken" by a WakeParked() once gRaised is past what it
// was when the request came, else "last" after MS milliseconds or at the stop.
std::atomic<int> gRaised{0};

// A server on a free port, serving on its own thread until the test ends.
class Running {
 public:
  explicit Running(HttpServerOptions options = {})
      : server_(
            std::move(options),
            [](const HttpRequest& req, HttpReply& reply) {
              if (req.target != "/refused") return true;
              reply.status = 404;
              reply.json = false;
              return false;
            },
            [](const HttpRequest& req, HttpReply& reply) {
              if (req.body.starts_with("park:")) {
                const int ms = std::stoi(std::string(req.body.substr(5)));
                reply.parkUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
                reply.park = [raised = gRaised.load()](HttpReply& answer, bool last) {
                  if (gRaised.load() == raised && !last) return false;
                  answer.body = gRaised.load() == raised ? "last" : "woken";
                  return true;
                };
                return;
              }
              if (req.body.starts_with("size:")) {  // the body's size, without a copy of it
                reply.body = std::to_string(req.body.size());
                return;
              }
              if (req.body.starts_with("offload:") && req.onLoop) {
                reply.offload = true;
                return;
              }
              if (req.body.starts_with("wait:") || req.body.starts_with("offload:")) {
                const auto until = std::chrono::steady_clock::now() + 20s;
                while (!gGateOpen && std::chrono::steady_clock::now() < until)
                  std::this_thread::sleep_for(1ms);
              }
              reply.body = std::string(req.method) + " " + std::string(req.body);
              if (req.body.starts_with("big:"))
                reply.body = std::string(std::stoul(std::string(req.body.substr(4))), 'z');
              if (req.releaseBody) req.releaseBody();  // on a worker: read, so given back
            }) {
    port_ = server_.Bind();
    thread_ = std::thread([this] { server_.Serve(); });
  }
  ~Running() {
    server_.Stop();
    thread_.join();
  }
  int Port() const { return port_; }
  HttpServer& Server() { return server_; }

  // Waits for the parked requests to come to `n`; false after 30 s.
  bool ParkedCome(int n) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (server_.Parked() != n && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
    return server_.Parked() == n;
  }
  // Waits for the pending connections to come to `n`; false after 30 s.
  bool PendingComesTo(int n) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (server_.Pending() != n && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
    return server_.Pending() == n;
  }
  // Waits for the open connections to come down to `n`; false after 30 s.
  bool ConnectionsFallTo(int n) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (server_.Connections() > n && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(10ms);
    return server_.Connections() <= n;
  }

 private:
  HttpServer server_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace

TEST(HttpServer, PipelinedAndByteByByteRequestsAreAnsweredInOrder) {
  Running s;
  RawClient c(s.Port());
  ASSERT_TRUE(c.Send(Post("one") + Post("two") + "GET /x HTTP/1.1\r\n\r\n" + Post("three")));
  for (const char* expected : {"POST one", "POST two", "GET ", "POST three"}) {
    auto a = c.Read();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->status, 200);
    EXPECT_EQ(a->body, expected);
    EXPECT_TRUE(a->HasHeader("Content-Type: application/json\r\n"));
  }
  // A client that sends one byte at a time, on the same connection.
  for (char ch : Post("slow")) {
    ASSERT_TRUE(c.Send(std::string_view(&ch, 1)));
    std::this_thread::sleep_for(200us);
  }
  auto a = c.Read();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->body, "POST slow");
}

TEST(HttpServer, ConnectionEndsAsTheClientAsks) {
  Running s;
  {
    RawClient c(s.Port());
    ASSERT_TRUE(c.Send(Post("a", "Connection: close\r\n") + Post("never answered")));
    auto a = c.Read();
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->HasHeader("Connection: close\r\n"));
    EXPECT_TRUE(c.ClosedByServer());
  }
  {
    RawClient c(s.Port());
    ASSERT_TRUE(c.Send("POST / HTTP/1.0\r\nContent-Length: 1\r\n\r\nx"));
    ASSERT_TRUE(c.Read());
    EXPECT_TRUE(c.ClosedByServer());
  }
  {
    RawClient c(s.Port());
    const std::string keep =
        "POST / HTTP/1.0\r\nConnection: keep-alive\r\nContent-Length: 1\r\n\r\nx";
    ASSERT_TRUE(c.Send(keep));
    auto a = c.Read();
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->HasHeader("Connection: keep-alive\r\n"));
    ASSERT_TRUE(c.Send(keep));
    EXPECT_TRUE(c.Read());
  }
  {
    // Requests sent before the client shuts its side are still answered.
    RawClient c(s.Port());
    ASSERT_TRUE(c.Send(Post("a") + Post("b")));
    c.ShutdownWrite();
    ASSERT_TRUE(c.Read());
    auto b = c.Read();
    ASSERT_TRUE(b);
    EXPECT_EQ(b->body, "POST b");
    EXPECT_TRUE(c.ClosedByServer());
  }
  EXPECT_TRUE(s.ConnectionsFallTo(0));
}

TEST(HttpServer, MalformedAndOversizedRequestsGetTheirStatusAndTheConnectionCloses) {
  HttpServerOptions o;
  o.limits.maxBody = 100000;
  Running s(o);
  {
    RawClient c(s.Port());
    ASSERT_TRUE(c.Send("GARBAGE\r\n\r\n"));
    auto a = c.Read();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->status, 400);
    EXPECT_TRUE(c.ClosedByServer());
  }
  {
    // The client writes its whole oversized body (more than the socket buffers hold) before
    // reading: it still gets the answer. The request is made before connecting: a connection
    // that sends nothing for seconds is closed as idle, and 16 MiB take that long to build in a
    // sanitizer's build.
    const std::string oversized = Post(std::string(16u << 20, 'x'));
    RawClient c(s.Port());
    ASSERT_TRUE(c.Send(oversized));
    auto a = c.Read();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->status, 413);
    EXPECT_TRUE(c.ClosedByServer());
  }
  {
    // Refused at the head: the body that follows is not taken for the next request.
    RawClient c(s.Port());
    ASSERT_TRUE(c.Send(Post(std::string(90000, 'y'), {}, "/refused")));
    auto a = c.Read();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->status, 404);
    EXPECT_TRUE(c.ClosedByServer());
  }
  {
    // A small refused body is read past, and the connection serves on.
    RawClient c(s.Port());
    ASSERT_TRUE(c.Send(Post("tiny", {}, "/refused") + Post("next")));
    EXPECT_EQ(c.ReadStatus(), 404);
    auto a = c.Read();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->body, "POST next");
  }
  EXPECT_TRUE(s.ConnectionsFallTo(0));
}

TEST(HttpServer, ContinueComesBeforeTheBodyIsSent) {
  Running s;
  RawClient c(s.Port());
  ASSERT_TRUE(
      c.Send("POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 5\r\nHost: x\r\n\r\n"));
  auto interim = c.Read();
  ASSERT_TRUE(interim);
  EXPECT_EQ(interim->status, 100);
  ASSERT_TRUE(c.Send("hello"));
  auto a = c.Read();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->body, "POST hello");
}

TEST(HttpServer, LargeAnswersReachAClientThatReadsSlowly) {
  Running s;
  RawClient c(s.Port());
  // Two large answers pipelined behind each other, then a small one; the client reads late.
  ASSERT_TRUE(c.Send(Post("big:8000000") + Post("big:3000000") + Post("end")));
  std::this_thread::sleep_for(300ms);
  auto a = c.Read();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->body.size(), 8000000u);
  EXPECT_EQ(a->body.find_first_not_of('z'), std::string::npos);
  auto b = c.Read();
  ASSERT_TRUE(b);
  EXPECT_EQ(b->body.size(), 3000000u);
  auto e = c.Read();
  ASSERT_TRUE(e);
  EXPECT_EQ(e->body, "POST end");
}

TEST(HttpServer, StalledAndIdleConnectionsAreClosed) {
  HttpServerOptions o;
  o.idleTimeout = 2s;
  o.requestTimeout = 2s;
  Running s(o);
  RawClient idle(s.Port(), 10);
  ASSERT_TRUE(idle.Send(Post("x")));
  ASSERT_TRUE(idle.Read());
  RawClient stalled(s.Port(), 10);
  ASSERT_TRUE(stalled.Send("POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc"));

  RawClient halfHead(s.Port(), 10);
  ASSERT_TRUE(halfHead.Send("POST / HTTP/1.1\r\nHost"));
  EXPECT_TRUE(idle.ClosedByServer());
  // A request that does not come whole in time is told so before the connection ends.
  for (RawClient* c : {&stalled, &halfHead}) {
    auto timedOut = c->Read();
    ASSERT_TRUE(timedOut);
    EXPECT_EQ(timedOut->status, 408);
    EXPECT_TRUE(timedOut->HasHeader("Connection: close\r\n"));
    EXPECT_TRUE(c->ClosedByServer());
  }
  EXPECT_TRUE(s.ConnectionsFallTo(0));
  RawClient fresh(s.Port());
  ASSERT_TRUE(fresh.Send(Post("again")));
  auto a = fresh.Read();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->body, "POST again");
}

// The limit, not a timeout, closes the surplus connection: the time limits here are far beyond
// how long the clients wait for the close.
TEST(HttpServer, ConnectionsBeyondTheLimitAreClosedAtOnceAndTheOthersServeOn) {
  HttpServerOptions o;
  o.idleTimeout = 600s;
  o.requestTimeout = 600s;
  o.maxConnections = 3;
  Running s(o);
  std::vector<std::unique_ptr<RawClient>> held;
  for (int i = 0; i < 3; ++i) {
    held.push_back(std::make_unique<RawClient>(s.Port(), 30));
    ASSERT_TRUE(held.back()->Send(Post("held")));  // accepted and served: counted as open
    ASSERT_TRUE(held.back()->Read());
  }
  RawClient surplus(s.Port(), 30);
  EXPECT_TRUE(surplus.ClosedByServer());
  for (auto& c : held) {
    ASSERT_TRUE(c->Send(Post("still")));
    auto a = c->Read();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->body, "POST still");
  }
  // Room again once one has gone.
  held.pop_back();
  ASSERT_TRUE(s.ConnectionsFallTo(2));
  RawClient fresh(s.Port(), 30);
  ASSERT_TRUE(fresh.Send(Post("again")));
  auto a = fresh.Read();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->body, "POST again");
}

TEST(HttpServer, ManyClientsAtOnceAreAllServed) {
  HttpServerOptions o;
  o.loops = 3;
  Running s(o);
  constexpr int kClients = 300;
  std::vector<std::unique_ptr<RawClient>> clients;
  for (int i = 0; i < kClients; ++i) clients.push_back(std::make_unique<RawClient>(s.Port()));
  // Some leave in the middle of a request; the rest are answered on every round.
  for (int i = 0; i < kClients; i += 10) {
    ASSERT_TRUE(clients[i]->Send("POST / HTTP/1.1\r\nContent-Length: 50\r\n\r\npartial"));
    clients[i].reset();
  }
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < kClients; ++i) {
      if (clients[i]) {
        ASSERT_TRUE(clients[i]->Send(Post(std::to_string(i))));
      }
    }
    for (int i = 0; i < kClients; ++i) {
      if (!clients[i]) continue;
      auto a = clients[i]->Read();
      ASSERT_TRUE(a) << i;
      EXPECT_EQ(a->body, "POST " + std::to_string(i));
    }
  }
  EXPECT_TRUE(s.ConnectionsFallTo(kClients - kClients / 10));
  clients.clear();
  EXPECT_TRUE(s.ConnectionsFallTo(0));
}

TEST(HttpServer, StopEndsServeWithConnectionsOpenAndIsNotLostBeforeServe) {
  {
    HttpServer early(
        {}, [](auto&, auto&) { return true; }, [](auto&, auto&) {});
    early.Bind();
    early.Stop();
    early.Serve();  // returns at once
  }
  auto s = std::make_unique<Running>();
  RawClient busy(s->Port());
  ASSERT_TRUE(busy.Send(Post("x")));
  ASSERT_TRUE(busy.Read());
  RawClient partial(s->Port());
  ASSERT_TRUE(partial.Send("POST / HTTP/1.1\r\n"));
  s.reset();  // Stop() and join
  EXPECT_TRUE(busy.ClosedByServer());
  EXPECT_TRUE(partial.ClosedByServer());
}

// Connections that never make an admitted request (idle, or refused) have a share of the places
// of their own: a flood of them gives way, oldest first, to whoever comes next, and the clients
// already served keep their connections.
TEST(HttpServer, AFloodOfPendingConnectionsDoesNotKeepClientsOut) {
  HttpServerOptions o;
  o.idleTimeout = 600s;
  o.requestTimeout = 600s;
  o.pendingTimeout = 600s;  // the share, not the time limit, makes room here
  o.maxConnections = 12;
  o.maxPending = 6;
  o.loops = 1;
  Running s(o);
  std::vector<std::unique_ptr<RawClient>> served;
  for (int i = 0; i < 3; ++i) {
    served.push_back(std::make_unique<RawClient>(s.Port(), 30));
    ASSERT_TRUE(served.back()->Send(Post("served")));
    ASSERT_TRUE(served.back()->Read());
  }
  std::vector<std::unique_ptr<RawClient>> flood;
  for (int i = 0; i < 40; ++i) flood.push_back(std::make_unique<RawClient>(s.Port(), 30));
  // The server takes connections in the order they came, so once a later client is answered it
  // has taken the whole flood; the counts are then final, whatever the timing. The late client
  // took a pending place (the oldest flood connection gave way) and left the share when admitted.
  RawClient late(s.Port(), 30);
  ASSERT_TRUE(late.Send(Post("late")));
  auto a = late.Read();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->body, "POST late");
  EXPECT_EQ(s.Server().Pending(), 5);
  EXPECT_EQ(s.Server().Connections(), 3 + 1 + 5);  // served, late, the rest of the share
  EXPECT_TRUE(flood.front()->ClosedByServer());    // the oldest went first
  for (auto& c : served) {
    ASSERT_TRUE(c->Send(Post("still")));
    auto b = c->Read();
    ASSERT_TRUE(b);
    EXPECT_EQ(b->body, "POST still");
  }
}

// A connection pushed out of the pending share by a newcomer may have its own event in the same
// wait, after the newcomer's: it is gone, and nothing of it is touched again.
TEST(HttpServer, AConnectionPushedOutInTheMiddleOfAWaitIsNotTouchedAgain) {
  HttpServerOptions o;
  o.idleTimeout = 600s;
  o.requestTimeout = 600s;
  o.pendingTimeout = 600s;
  o.maxPending = 1;
  o.loops = 1;
  Running s(o);
  RawClient holder(s.Port(), 30);
  ASSERT_TRUE(holder.Send(Post("first")));
  ASSERT_TRUE(holder.Read());  // admitted: out of the pending share
  for (int round = 0; round < 5; ++round) {
    RawClient partial(s.Port(), 30);
    ASSERT_TRUE(partial.Send("POST / HTTP/1.1\r\n"));
    ASSERT_TRUE(s.PendingComesTo(1));
    // The loop held by a request, while a newcomer knocks and then the pending one writes: both
    // are in the loop's next wait, the newcomer first.
    gGateOpen = false;
    ASSERT_TRUE(holder.Send(Post("wait:")));
    std::this_thread::sleep_for(50ms);
    RawClient newcomer(s.Port(), 30);
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(partial.Send("Host: x\r\nContent-Length: 0\r\n\r\n"));
    std::this_thread::sleep_for(20ms);
    gGateOpen = true;
    ASSERT_TRUE(holder.Read());
    EXPECT_TRUE(partial.ClosedByServer());
    ASSERT_TRUE(newcomer.Send(Post("late")));
    auto a = newcomer.Read();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->body, "POST late");
  }
}

TEST(HttpServer, APendingConnectionHasAShortTimeToMakeItsFirstRequest) {
  HttpServerOptions o;
  o.idleTimeout = 600s;
  o.requestTimeout = 600s;
  o.pendingTimeout = 1s;
  Running s(o);
  RawClient silent(s.Port(), 30);
  RawClient refused(s.Port(), 30);  // a refused request does not make it an admitted client
  ASSERT_TRUE(refused.Send(Post("x", {}, "/refused")));
  EXPECT_EQ(refused.ReadStatus(), 404);
  RawClient served(s.Port(), 30);
  ASSERT_TRUE(served.Send(Post("x")));
  ASSERT_TRUE(served.Read());
  EXPECT_TRUE(silent.ClosedByServer());
  EXPECT_TRUE(refused.ClosedByServer());
  ASSERT_TRUE(s.ConnectionsFallTo(1));
  ASSERT_TRUE(served.Send(Post("y")));
  auto a = served.Read();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->body, "POST y");
}

// The bodies being received at once share one budget: a request whose body would pass it is
// answered 503 before its body is taken, and is served once the others are through.
TEST(HttpServer, BodiesInFlightShareOneBudget) {
  HttpServerOptions o;
  o.maxBodiesInFlight = 1u << 20;
  o.loops = 1;
  Running s(o);
  const std::string body(800'000, 'b');
  const std::string head =
      "POST / HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  RawClient first(s.Port(), 30);
  ASSERT_TRUE(first.Send(head + body.substr(0, 1000)));
  // The server has taken the first head (and its share) once it answers a call on the same loop.
  RawClient probe(s.Port(), 30);
  ASSERT_TRUE(probe.Send(Post("x")));
  ASSERT_TRUE(probe.Read());
  RawClient second(s.Port(), 30);
  ASSERT_TRUE(second.Send(head));
  auto refused = second.Read();
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 503);
  EXPECT_TRUE(refused->HasHeader("Retry-After: 1\r\n"));
  ASSERT_TRUE(first.Send(body.substr(1000)));
  auto whole = first.Read();
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->body.size(), body.size() + 5);
  RawClient third(s.Port(), 30);
  ASSERT_TRUE(third.Send(head + body));
  auto served = third.Read();
  ASSERT_TRUE(served);
  EXPECT_EQ(served->status, 200);
}

// An allocation that fails on the read path (a body of 1 PiB announced, more than the address
// space, and allowed here) costs that connection, not the server.
TEST(HttpServer, AFailedAllocationClosesItsConnectionOnly) {
  HttpServerOptions o;
  o.limits.maxBody = std::size_t{1} << 52;
  o.maxBodiesInFlight = std::size_t{1} << 52;
  o.loops = 1;
  Running s(o);
  RawClient greedy(s.Port(), 30);
  ASSERT_TRUE(greedy.Send("POST / HTTP/1.1\r\nContent-Length: 1125899906842624\r\n\r\nabc"));
  // Once a call on the same loop is answered, the head has been read; the next bytes make the
  // loop find room for the body.
  RawClient probe(s.Port(), 30);
  ASSERT_TRUE(probe.Send(Post("x")));
  ASSERT_TRUE(probe.Read());
  ASSERT_TRUE(greedy.Send("more"));
  EXPECT_TRUE(greedy.ClosedByServer());
  RawClient other(s.Port(), 30);
  ASSERT_TRUE(other.Send(Post("after")));
  auto a = other.Read();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->body, "POST after");
}

// A large request is answered off the loop: the loop's other clients are served meanwhile, and
// what the same client sent behind it is answered after it, in order.
// This process's memory in kB, from /proc/self/status ("VmRSS", "VmHWM").
long MemoryKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with(field + ":")) return std::stol(line.substr(field.size() + 1));
  return -1;
}

// A large body whose last bytes come late is read into a buffer of its size: asking for room for
// a whole read chunk when less remained doubled the full buffer, copying all of it.
TEST(HttpServer, TheLastBytesOfALargeBodyDoNotGrowItsBuffer) {
  HttpServerOptions o;
  o.loops = 1;
  Running s(o);
  const std::size_t size = 48u << 20;
  const std::string body = "size:" + std::string(size, 'p');
  const std::string request = Post(body);
  RawClient client(s.Port(), 60);
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak from here
  const long before = MemoryKb("VmRSS");
  ASSERT_TRUE(client.Send(std::string_view(request).substr(0, request.size() - 100)));
  std::this_thread::sleep_for(300ms);  // all of it read but the last hundred bytes
  ASSERT_TRUE(client.Send(std::string_view(request).substr(request.size() - 100)));
  auto a = client.Read();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->body, std::to_string(body.size()));
  // The body once, where it was read; a doubled buffer took a copy of it.
  const double taken = static_cast<double>(MemoryKb("VmHWM") - before) * 1024;
  EXPECT_LT(taken, 1.5 * size) << taken / size << " times the body";
}

TEST(HttpServer, ALargeRequestDoesNotHoldUpTheOtherClientsOfItsLoop) {
  HttpServerOptions o;
  o.loops = 1;
  o.offloadBody = 1000;
  Running s(o);
  gGateOpen = false;
  const std::string large = "wait:" + std::string(5000, 'L');
  RawClient heavy(s.Port(), 30);
  ASSERT_TRUE(heavy.Send(Post(large) + Post("behind")));
  RawClient light(s.Port(), 30);
  ASSERT_TRUE(light.Send(Post("light")));
  auto quick = light.Read();  // with the loop blocked by the large one, this would time out
  gGateOpen = true;
  ASSERT_TRUE(quick);
  EXPECT_EQ(quick->body, "POST light");
  auto first = heavy.Read();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->body, "POST " + large);
  auto second = heavy.Read();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->body, "POST behind");
  // A client gone before its large answer is ready costs nothing once the answer is done.
  gGateOpen = false;
  {
    RawClient gone(s.Port(), 30);
    ASSERT_TRUE(gone.Send(Post(large)));
  }
  gGateOpen = true;
  ASSERT_TRUE(s.ConnectionsFallTo(2));
  ASSERT_TRUE(light.Send(Post("again")));
  auto again = light.Read();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->body, "POST again");
}

// A handler on a loop may hand a small request to a worker (a save that may wait for another
// writer's lock): the loop serves its other clients meanwhile, and the same client's next request
// is answered after it.
TEST(HttpServer, ARequestItsHandlerHandsToAWorkerDoesNotHoldUpTheLoop) {
  HttpServerOptions o;
  o.loops = 1;
  Running s(o);
  gGateOpen = false;
  RawClient saver(s.Port(), 30);
  ASSERT_TRUE(saver.Send(Post("offload:save") + Post("behind")));
  // With the handler waiting on the loop (for the gate's 20 s), this read would time out.
  RawClient light(s.Port(), 10);
  ASSERT_TRUE(light.Send(Post("light")));
  auto quick = light.Read();
  gGateOpen = true;
  ASSERT_TRUE(quick);
  EXPECT_EQ(quick->body, "POST light");
  auto first = saver.Read();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->body, "POST offload:save");
  auto second = saver.Read();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->body, "POST behind");
}

// A long poll: requests parked on the loops take no thread and are not read further; a wake-up
// answers those whose event came (not the others), each connection then carries its pipelined
// and next requests; a client that goes away frees its connection at once.
TEST(HttpServer, ParkedRequestsWaitOnTheLoopsUntilWokenAndTheirConnectionsCarryOn) {
  HttpServerOptions o;
  o.loops = 2;
  o.workers = 1;
  Running s(o);
  constexpr int kClients = 40;
  std::vector<std::unique_ptr<RawClient>> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<RawClient>(s.Port(), 10));
    // The first also sends its next request behind the parked one.
    ASSERT_TRUE(clients.back()->Send(Post("park:20000") + (i == 0 ? Post("behind") : "")));
  }
  ASSERT_TRUE(s.ParkedCome(kClients));
  // The loops still answer others meanwhile.
  RawClient other(s.Port(), 10);
  ASSERT_TRUE(other.Send(Post("plain")));
  ASSERT_EQ(other.Read()->body, "POST plain");
  // A wake-up without the event answers no one.
  s.Server().WakeParked();
  ASSERT_TRUE(other.Send(Post("plain")));  // the loops have been round since
  ASSERT_TRUE(other.Read());
  EXPECT_EQ(s.Server().Parked(), kClients);
  // Clients that go away free their connections, parked no more.
  clients.resize(kClients - 10);
  EXPECT_TRUE(s.ParkedCome(kClients - 10));
  EXPECT_TRUE(s.ConnectionsFallTo(kClients - 10 + 1));
  ++gRaised;
  s.Server().WakeParked();
  for (auto& c : clients) {
    auto a = c->Read();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->status, 200);
    EXPECT_EQ(a->body, "woken");
  }
  EXPECT_EQ(clients[0]->Read()->body, "POST behind");
  EXPECT_EQ(s.Server().Parked(), 0);
  // Kept alive: the next request, plain or parked again, on the same connections.
  ASSERT_TRUE(clients[1]->Send(Post("next")));
  EXPECT_EQ(clients[1]->Read()->body, "POST next");
  ASSERT_TRUE(clients[2]->Send(Post("park:20000")));
  ASSERT_TRUE(s.ParkedCome(1));
  ++gRaised;
  s.Server().WakeParked();
  EXPECT_EQ(clients[2]->Read()->body, "woken");
}

// A parked request is answered at its time, though that is past the idle and request timeouts
// (the server is the one waiting), and when the server stops.
TEST(HttpServer, ParkedRequestsAreAnsweredAtTheirTimeAndAtTheStop) {
  HttpServerOptions o;
  o.idleTimeout = 1s;
  o.requestTimeout = 1s;
  auto s = std::make_unique<Running>(o);
  RawClient timed(s->Port(), 10);
  ASSERT_TRUE(timed.Send(Post("park:1500")));
  auto a = timed.Read();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->body, "last");
  ASSERT_TRUE(timed.Send(Post("again")));
  EXPECT_EQ(timed.Read()->body, "POST again");
  RawClient stopped(s->Port(), 10);
  ASSERT_TRUE(stopped.Send(Post("park:20000")));
  ASSERT_TRUE(s->ParkedCome(1));
  s.reset();  // Stop() and join
  auto last = stopped.Read();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->body, "last");
  EXPECT_TRUE(stopped.ClosedByServer());
}
