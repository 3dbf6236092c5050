#pragma once
// The HTTP side of the application server: JSON-RPC 2.0 over HTTP/1.1 with keep-alive,
// POST /GER00200.rdmEmpresa, optional bearer token, one log line per call.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "log_sink.h"
#include "people.h"
#include "rdm_empresa.h"

namespace ger::server {

class ChangeWatch;
class HttpServer;
struct HttpRequest;
struct HttpReply;

struct ServerOptions {
  std::string listen = "127.0.0.1";
  int port = 8200;  // 0: any free port
  std::string token;
  // The database of the people's accesses: with it every call is signed in as a person (or the
  // service token's), asked of the database on each call; without it only `token` is checked.
  ConnectionPool* people = nullptr;
  bool testHooks = false;
  int threads = 0;       // event loops; 0: see --threads
  int spinMicros = 200;  // how long a loop looks for more work before it sleeps
  // While calls of AguardaAlteracao wait, how often the database's change number is looked at
  // for the changes of other servers and programs.
  int changeCheckMs = 150;
};

// A call of AguardaAlteracao that has to wait: what HandleRpc gives back instead of an answer.
struct WaitingCall {
  std::string id;         // the request's id, JSON text
  std::int64_t held = 0;  // the seat's number
  std::int64_t seen = 0;  // the number when the call came, not past `held`
  std::chrono::seconds longest{};
};

// Answers one JSON-RPC request body; never throws. `outcome` receives "ok" or the error, for
// the log line. `releaseBody`, when given, is called once the body has been read, before the
// method runs, so that its bytes are not held beside what was read from them. With `offload`
// (the caller is an event loop) a method that writes is not run: it may wait for another
// writer's lock, so *offload is set and nothing is answered, for a worker to call again. With
// `waiting`, a call of AguardaAlteracao whose number is not yet past the seat's is not answered
// either: *waiting tells what it waits for.
std::string HandleRpc(RdmEmpresa& rdm, std::string_view body, std::string* methodOut,
                      std::string* outcome, const std::function<void()>& releaseBody = {},
                      bool* offload = nullptr, std::optional<WaitingCall>* waiting = nullptr);

// The shortest token accepted for a listener that is not loopback.
constexpr std::size_t kMinNetworkToken = 16;

// The path of a request target, in origin form ("/path?query") or absolute form
// ("http://host/path?query"), without its query.
std::string_view OriginPath(std::string_view target);

// True for 127.0.0.0/8, ::1 and "localhost".
bool IsLoopback(const std::string& address);

class AppServer {
 public:
  AppServer(RdmEmpresa& rdm, ServerOptions options);
  ~AppServer();
  // Binds; returns the port actually bound. Raises std::runtime_error when it cannot.
  int Bind();
  // Serves until Stop() (callable from another thread).
  void Serve();
  void Stop();

 private:
  // Token, path and method; false refuses the request with the reply filled in.
  bool Admit(const HttpRequest& req, HttpReply& reply);
  // Parks a call of AguardaAlteracao on its loop until the number moves past the seat's.
  void Park(WaitingCall call, const std::string& person, HttpReply& reply);

  RdmEmpresa& rdm_;
  ServerOptions options_;
  // The person a call is from; nullopt after refusing it with the reply filled in.
  std::optional<std::string> SignIn(const HttpRequest& req, HttpReply& reply);

  std::string expectedAuth_;  // "Bearer <token>", empty without a token
  std::unique_ptr<Gate> gate_;
  LogLimiter refusedLog_;
  std::unique_ptr<ChangeWatch> watch_;  // its tickets are held by calls parked in http_
  std::unique_ptr<HttpServer> http_;
};

}  // namespace ger::server
