// GetVerifEmpresa from the host's client through one nginx (the shipped configuration) in front
// of one ger-server: over TLS with keep-alive and in the clear, side by side, in alternating
// rounds so that both see the same machine. Also the first call of a new TLS connection (its
// handshake). Each figure is one JSON line, as ger_bench_app prints them.
//
//   ger_bench_tls --server BIN --data DIR --dir TMPDIR --config ger.conf
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "figure.h"
#include "launcher.h"
#include "net/netconnection.h"
#include "nginx_front.h"
#include "tls_files.h"

namespace {

using namespace ger;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

void Report(const std::string& name, double value, const std::string& unit) {
  bench::PrintFigure("tls", name, value, unit);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.at(v.size() / 2);
}

double CallMicros(TNetConnection& net, const boost::json::array& params) {
  const auto start = Clock::now();
  if (!net.Call("GetVerifEmpresa", params).ok()) throw std::runtime_error("GetVerifEmpresa");
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

int Run(const std::map<std::string, std::string>& o) {
  const fs::path dir = o.at("--dir");
  fs::create_directories(dir);
  server::LaunchOptions launch;
  launch.binary = o.at("--server");
  launch.args = {"--db", "sqlite:" + (dir / "tls.db").string(), "--data", o.at("--data"), "--demo"};
  launch.log = "/dev/null";
  server::ServerProcess app(std::move(launch));
  server::MakeAuthority(dir / "ca", "Autoridade do banco de provas");
  server::MakeCertificate(dir / "ca", {"localhost"});
  server::FrontOptions front;
  front.config = o.at("--config");
  front.dir = dir / "nginx";
  front.upstreamPorts = {app.Port()};
  front.listeners = {{dir / "ca" / "localhost.pem", dir / "ca" / "localhost.key"}, {}};
  server::NginxFront nginx(front);

  TNetConnection secure, clear;
  secure.Host = "https://localhost:" + std::to_string(nginx.Port(0));
  secure.CaFile = (dir / "ca" / "ca.pem").string();
  clear.Host = "localhost";
  clear.Port = nginx.Port(1);
  const boost::json::array params{"01"};
  for (int i = 0; i < 300; ++i) {  // warm-up: connections made, nginx's upstream ones too
    CallMicros(secure, params);
    CallMicros(clear, params);
  }
  std::vector<double> tls, plain;
  for (int round = 0; round < 20; ++round)
    for (TNetConnection* net : {&secure, &clear})
      for (int i = 0; i < 250; ++i)
        (net == &secure ? tls : plain).push_back(CallMicros(*net, params));
  const double tlsP50 = Median(tls), plainP50 = Median(plain);
  Report("GetVerifEmpresa_nginx_plain_p50", plainP50, "us");
  Report("GetVerifEmpresa_nginx_tls_p50", tlsP50, "us");
  Report("GetVerifEmpresa_tls_over_plain_p50", tlsP50 / plainP50, "ratio");

  std::vector<double> first;
  for (int i = 0; i < 30; ++i) {
    secure.Disconnect();
    first.push_back(CallMicros(secure, params));
  }
  Report("GetVerifEmpresa_tls_new_connection_p50", Median(first), "us");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options;
  for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ger_bench_tls: %s\n", e.what());
    return 1;
  }
}
