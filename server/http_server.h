#pragma once
// An event-driven HTTP/1.1 server on Linux epoll: a few event loops, each a thread with its own
// epoll set, handling requests inline (no hand-off to other threads), keep-alive and pipelining,
// bounded sizes and times. What a request means is left to the two callbacks.
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
  int loops = 0;  // 0: one per core, at least 2
  HttpLimits limits;
  int maxConnections = 10000;               // more are closed as soon as they are accepted
  std::chrono::seconds idleTimeout{30};     // a keep-alive connection with no request
  std::chrono::seconds requestTimeout{30};  // for a request (or an answer) to get through whole
  // After a round of work a loop looks for more, yielding the processor, this long before it
  // sleeps: a client that calls again at once is then answered without a wake-up (tens of
  // microseconds on a virtual machine). 0: sleep at once.
  std::chrono::microseconds spin{200};
};

struct HttpRequest {
  std::string_view method;
  std::string_view target;
  std::string_view authorization;
  std::string_view body;  // empty in the admission check
  std::string_view peer;  // the client's address
};

struct HttpReply {
  int status = 200;
  std::string body;
  // Extra header lines, each ending in CRLF.
  std::string_view headers;
  bool json = true;  // Content-Type: application/json
};

class HttpServer {
 public:
  // The admission check: sees every request once its head is in, before the body is read; false
  // refuses it with the reply filled in (the body is then not kept).
  using Admission = std::function<bool(const HttpRequest&, HttpReply&)>;
  // Answers an accepted request, body included. Runs on a loop thread; must not throw.
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

  // Connections open now, for tests and diagnostics.
  int Connections() const { return connections_.load(); }

 private:
  class Loop;
  friend class Loop;

  HttpServerOptions options_;
  Admission admit_;
  Handler handler_;
  int listenFd_ = -1;
  std::vector<std::unique_ptr<Loop>> loops_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
};

}  // namespace ger::server
