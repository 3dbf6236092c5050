#pragma once
// An event-driven HTTP/1.1 server on Linux epoll: a few event loops, each a thread with its own
// epoll set, handling requests inline (no hand-off to other threads), keep-alive and pipelining,
// bounded sizes and times. What a request means is left to the two callbacks.
//
// What holds under load and abuse:
// - memory: the bodies of all requests in flight together stay below maxBodiesInFlight (a request
//   that would pass it is answered 503), and a failed allocation closes the connection it
//   happened on, never the server;
// - time: a request whose body is larger than offloadBody is answered by a worker thread (at a
//   lower priority), so that the loop's other clients are not kept waiting behind it; so is one
//   whose handler, called on the loop, asks for it (HttpReply::offload) because it may wait;
// - a worker's request holds the bytes read for it, never a copy, and the handler may give them
//   back as soon as it has read them (HttpRequest::releaseBody);
// - connections: one that has not yet made an admitted request is pending; pending ones have
//   pendingTimeout to make it and a share of the connections of their own (the oldest gives way
//   to a new one), so idle or unauthorised floods cannot keep admitted clients out;
// - waiting: a request that waits for an event (a long poll) is parked on its loop, without a
//   thread and without reading the connection, until HttpServer::WakeParked() or its time is up.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "http_parser.h"

namespace ger::server {

struct HttpServerOptions {
  std::string listen = "127.0.0.1";
  int port = 0;   // 0: any free port
  int loops = 0;  // 0: one fewer than the cores, at least one
  HttpLimits limits;
  int maxConnections = 10000;               // more are closed as soon as they are accepted
  std::chrono::seconds idleTimeout{30};     // a keep-alive connection with no request
  std::chrono::seconds requestTimeout{30};  // for a request (or an answer) to get through whole
  // After a round of work a loop looks for more, yielding the processor, this long before it
  // sleeps: a client that calls again at once is then answered without a wake-up (tens of
  // microseconds on a virtual machine). 0: sleep at once.
  std::chrono::microseconds spin{200};
  std::size_t maxBodiesInFlight = std::size_t{256} << 20;
  int maxPending = 0;                      // 0: half of maxConnections
  std::chrono::seconds pendingTimeout{5};  // for a new connection's first admitted request
  std::size_t offloadBody = std::size_t{256} << 10;
  int workers = 2;  // 0: every request is answered on its loop
};

struct HttpRequest {
  std::string_view method;
  std::string_view target;
  std::string_view authorization;
  std::string_view body;  // empty in the admission check
  std::string_view peer;  // the client's address
  bool onLoop = false;    // on an event loop that has workers to hand the request to
  // On a worker: frees the body's bytes (`body` then dangles), for a handler done reading them.
  std::function<void()> releaseBody;
};

struct HttpReply {
  int status = 200;
  std::string body;
  // Extra header lines, each ending in CRLF.
  std::string_view headers;
  bool json = true;    // Content-Type: application/json
  bool close = false;  // end the connection after this answer
  // Set by a handler called on a loop (HttpRequest::onLoop) for a request that may wait (a save
  // behind another writer's lock): nothing is answered, and a worker calls the handler again.
  bool offload = false;
  // Set by a handler for a request that waits for something to happen: nothing is answered now,
  // and the connection stays on its loop (no thread, nothing read from it) until `park` fills in
  // the reply. The loop calls it after each HttpServer::WakeParked() with `last` false (it
  // returns false to wait on), and at `parkUntil` or when the server stops with `last` true (it
  // must answer then). A client that closes the connection meanwhile frees it; `park` is then
  // destroyed without being called.
  std::function<bool(HttpReply&, bool last)> park;
  std::chrono::steady_clock::time_point parkUntil{};
};

class HttpServer {
 public:
  // The admission check: sees every request once its head is in, before the body is read; false
  // refuses it with the reply filled in (the body is then not kept).
  using Admission = std::function<bool(const HttpRequest&, HttpReply&)>;
  // Answers an accepted request, body included. Runs on a loop thread, or on a worker thread for a
  // large body.
  using Handler = std::function<void(const HttpRequest&, HttpReply&)>;

  HttpServer(HttpServerOptions options, Admission admit, Handler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and listens; returns the port. std::runtime_error when it cannot.
  int Bind();
  // Runs the loops (the calling thread is one of them) until Stop().
  void Serve();
  // From any thread, also before Serve(): the loops finish the answers in hand and return.
  void Stop();

  // Connections open now, and those of them still pending, for tests and diagnostics.
  int Connections() const { return connections_.load(); }
  int Pending() const { return pending_.load(); }
  // Requests parked now.
  int Parked() const { return parked_.load(); }
  // From any thread: each loop asks its parked requests whether they can be answered now.
  void WakeParked();

 private:
  class Loop;
  friend class Loop;
  class Workers;
  struct Job;

  HttpServerOptions options_;
  Admission admit_;
  Handler handler_;
  int listenFd_ = -1;
  std::vector<std::unique_ptr<Loop>> loops_;
  std::unique_ptr<Workers> workers_;  // stopped before the loops they answer to go
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> pending_{0};
  std::atomic<int> parked_{0};
  std::atomic<std::size_t> bodyBytes_{0};  // reserved by the requests in flight
};

}  // namespace ger::server
