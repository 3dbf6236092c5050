#pragma once
// The HTTP side of the application server: JSON-RPC 2.0 over HTTP/1.1 with keep-alive,
// POST /GER00200.rdmEmpresa, optional bearer token, one log line per call.
#include <atomic>
#include <memory>
#include <string>

#include "rdm_empresa.h"

namespace httplib {
class Server;
}

namespace ger::server {

struct ServerOptions {
  std::string listen = "127.0.0.1";
  int port = 8200;  // 0: any free port
  std::string token;
  bool testHooks = false;
  int threads = 32;
};

// Answers one JSON-RPC request body; never throws. `outcome` receives "ok" or the error, for
// the log line.
std::string HandleRpc(RdmEmpresa& rdm, std::string_view body, std::string* methodOut,
                      std::string* outcome);

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
  RdmEmpresa& rdm_;
  ServerOptions options_;
  std::unique_ptr<httplib::Server> http_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> served_{false};
};

}  // namespace ger::server
