// The HTTP layer in this process, over real sockets, with a handler that echoes the body: what
// happens to pipelined, slow, truncated, oversized and stalled requests, and to many clients.
#include <gtest/gtest.h>

#include <chrono>
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
              reply.body = std::string(req.method) + " " + std::string(req.body);
              if (req.body.starts_with("big:"))
                reply.body = std::string(std::stoul(std::string(req.body.substr(4))), 'z');
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
    // reading: it still gets the answer.
    RawClient c(s.Port());
    ASSERT_TRUE(c.Send(Post(std::string(16u << 20, 'x'))));
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
  EXPECT_TRUE(stalled.ClosedByServer());
  EXPECT_TRUE(halfHead.ClosedByServer());
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
