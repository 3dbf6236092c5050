#pragma once
// nginx in front of ger-server processes, started as an ordinary process of the caller's (not
// the system's service) for the tests and benchmarks: its configuration is the shipped
// deploy/nginx/ger.conf with the servers' loopback ports in its upstream block, and its server
// block repeated for each listener wanted, TLS with a given certificate or plain HTTP, each on a
// free loopback port. The process dies with the one that started it.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ger::server {

struct FrontListener {
  std::filesystem::path certificate, key;  // both empty: plain HTTP
};

struct FrontOptions {
  std::filesystem::path binary = "/usr/sbin/nginx";
  std::filesystem::path config;  // the shipped ger.conf
  std::filesystem::path dir;     // its configuration, logs and temporary files go here
  std::vector<int> upstreamPorts;
  std::vector<FrontListener> listeners;
};

// The configuration nginx runs with (exposed for a look at what was made of ger.conf).
std::string FrontConfiguration(const FrontOptions& options, const std::vector<int>& ports);

class NginxFront {
 public:
  // Returns once every listener accepts connections; std::runtime_error with nginx's own log
  // when it does not start.
  explicit NginxFront(FrontOptions options);
  ~NginxFront();
  NginxFront(const NginxFront&) = delete;
  NginxFront& operator=(const NginxFront&) = delete;

  int Port(std::size_t listener) const { return ports_.at(listener); }

 private:
  void Stop();
  pid_t pid_ = -1;
  std::vector<int> ports_;
};

}  // namespace ger::server
