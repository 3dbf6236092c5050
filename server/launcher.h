#pragma once
// Starts ger-server as a child process on a free loopback port and stops it again: what the
// scenario runner and the test programs need to put a real server behind the module.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace ger::server {

struct LaunchOptions {
  std::filesystem::path binary;   // the ger-server program
  std::vector<std::string> args;  // its options; "--port 0" is added when no --port is given
  std::filesystem::path log;      // the server's standard error goes here (empty: inherited)
  std::chrono::milliseconds startTimeout{120000};  // seeding a new database takes a moment
};

// The child dies with the process that started it, however that ends, so a crashed test never
// leaves a server holding its output open.
class ServerProcess {
 public:
  // Waits for the server's "listening on HOST:PORT" line; std::runtime_error (naming the log when
  // there is one) when it exits or stays silent instead.
  explicit ServerProcess(LaunchOptions options);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  bool Running() const { return pid_ > 0; }

  // SIGTERM, then SIGKILL after the grace time; the exit status, or -1 when it had to be killed
  // (or was not running).
  int Stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
  // SIGKILL at once, as a crash would end it.
  void Kill();

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace ger::server
