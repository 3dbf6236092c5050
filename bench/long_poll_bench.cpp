// What the long poll costs: `--waiters` idle seats each parked in AguardaAlteracao on a
// keep-alive connection of its own, held `--idle` seconds (the server's CPU time from
// /proc/PID/stat, as a share of one core, and its open sockets), then saves through the server
// (the time from sending a save to each waiter's answer, p50 and p99). With `--second`, the
// waiters sit on a second server over the same database (PostgreSQL), so what answers them is the
// shared look at the database, not the save's own wake-up.
//   ger_bench_longpoll --server BIN --data DIR --db URL --label NAME [--waiters N] [--idle S]
//                      [--rounds N] [--second 1]
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <boost/json.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "contract/rdm_empresa.h"
#include "data/packet.h"
#include "figure.h"
#include "launcher.h"
#include "net/netconnection.h"

namespace {

using namespace ger;
using Clock = std::chrono::steady_clock;
namespace json = boost::json;

std::string gGroup;

void Report(const std::string& name, double value, const std::string& unit) {
  bench::PrintFigure(gGroup, name, value, unit);
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// User and system CPU time of a process so far, in seconds.
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  // The fields after the command's closing parenthesis; utime and stime are the 14th and 15th.
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i)
    if (i >= 14) ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

int OpenSockets(pid_t pid) {
  int n = 0;
  for (const auto& e :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(e.path(), ec).string().starts_with("socket:")) ++n;
  }
  return n;
}

// The waiting seats: plain sockets in one epoll set of this thread, as many as asked.
class Waiters {
 public:
  Waiters(int port, int count) : epoll_(epoll_create1(0)), conns_(static_cast<std::size_t>(count)) {
    for (std::size_t i = 0; i < conns_.size(); ++i) {
      Conn& c = conns_[i];
      c.fd = socket(AF_INET, SOCK_STREAM, 0);
      int one = 1;
      setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_port = htons(static_cast<std::uint16_t>(port));
      addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (connect(c.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0)
        throw std::runtime_error("connect");
      epoll_event ev{};
      ev.events = EPOLLIN;
      ev.data.u64 = i;
      epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &ev);
    }
  }
  ~Waiters() {
    for (Conn& c : conns_) close(c.fd);
    close(epoll_);
  }
  // Each asks to be answered past `held`.
  void Ask(std::int64_t held) {
    const std::string body = R"({"jsonrpc":"2.0","id":1,"method":"AguardaAlteracao","params":[)" +
                             std::to_string(held) + "]}";
    const std::string request =
        "POST /GER00200.rdmEmpresa HTTP/1.1\r\nHost: x\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body;
    for (Conn& c : conns_) {
      c.answered = false;
      if (send(c.fd, request.data(), request.size(), MSG_NOSIGNAL) !=
          static_cast<ssize_t>(request.size()))
        throw std::runtime_error("send");
    }
  }
  // Reads until every seat has its answer (or `limit` passes); the moments the answers came, and
  // the numbers they carried.
  std::vector<std::pair<Clock::time_point, std::int64_t>> Answers(std::chrono::seconds limit) {
    std::vector<std::pair<Clock::time_point, std::int64_t>> out;
    const auto deadline = Clock::now() + limit;
    epoll_event events[256];
    while (out.size() < conns_.size() && Clock::now() < deadline) {
      const int n = epoll_wait(epoll_, events, 256, 100);
      const auto now = Clock::now();
      for (int i = 0; i < n; ++i) {
        Conn& c = conns_[events[i].data.u64];
        char chunk[4096];
        const ssize_t got = read(c.fd, chunk, sizeof chunk);
        if (got <= 0) throw std::runtime_error("a waiter's connection closed");
        c.in.append(chunk, static_cast<std::size_t>(got));
        const auto head = c.in.find("\r\n\r\n");
        const auto length = c.in.find("Content-Length: ");
        if (head == std::string::npos || length == std::string::npos) continue;
        const std::size_t size = std::stoul(c.in.substr(length + 16));
        if (c.in.size() < head + 4 + size) continue;
        const json::value answer = json::parse(c.in.substr(head + 4, size));
        c.in.erase(0, head + 4 + size);
        out.emplace_back(now, answer.at("result").to_number<std::int64_t>());
      }
    }
    return out;
  }
  std::size_t Size() const { return conns_.size(); }

 private:
  struct Conn {
    int fd = -1;
    std::string in;
    bool answered = false;
  };
  int epoll_;
  std::vector<Conn> conns_;
};

// Renames the first company through the server, as a seat saves it.
void Save(TRdmEmpresa& rdm, int round) {
  const DataPacket list = codec::DecodePacket(rdm.GetEmpresa().payload->Text());
  const int name = list.IndexOf("NMEMPRESA");
  Row before = list.rows.at(0), after = before;
  after[name] = "Salva " + std::to_string(round);
  ChangeSet cs;
  cs.fields = list.fields;
  cs.changes.push_back({ChangeKind::Update, std::move(before), std::move(after)});
  const ServerAnswer a = rdm.SetEmpresa(cs, false, false, false, false, false, false);
  if (!a.ok()) throw std::runtime_error("save refused: " + a.error);
}

std::int64_t Calls(TNetConnection& net) {
  return net.Call("__calls", {"AguardaAlteracao"}).payload->Value().to_number<std::int64_t>();
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> o = {
      {"--waiters", "200"}, {"--idle", "10"}, {"--rounds", "20"}, {"--second", "0"}};
  for (int i = 1; i + 1 < argc; i += 2) o[argv[i]] = argv[i + 1];
  if (!o.contains("--server") || !o.contains("--db") || !o.contains("--data")) {
    std::fprintf(stderr,
                 "usage: ger_bench_longpoll --server BIN --data DIR --db URL --label NAME "
                 "[--waiters N] [--idle S] [--rounds N] [--second 1]\n");
    return 2;
  }
  gGroup = o["--label"].empty() ? "longpoll" : o["--label"];
  const int count = std::stoi(o["--waiters"]), idle = std::stoi(o["--idle"]),
            rounds = std::stoi(o["--rounds"]);
  const bool second = o["--second"] == "1";
  try {
    server::ServerProcess saving(
        {o["--server"], {"--db", o["--db"], "--data", o["--data"], "--demo", "--test-hooks"}, {}});
    std::unique_ptr<server::ServerProcess> other;
    if (second)
      other = std::make_unique<server::ServerProcess>(server::LaunchOptions{
          o["--server"], {"--db", o["--db"], "--data", o["--data"], "--test-hooks"}, {}});
    server::ServerProcess& watched = second ? *other : saving;
    TNetConnection net, watchedNet;
    net.Port = saving.Port();
    watchedNet.Port = watched.Port();
    TRdmEmpresa rdm(net);
    std::int64_t held =
        net.Call("AguardaAlteracao", {0, 0}).payload->Value().to_number<std::int64_t>();

    Waiters waiters(watched.Port(), count);
    // Parked: each call has read the number, on the watched server.
    auto parked = [&](std::int64_t calls) {
      const auto deadline = Clock::now() + std::chrono::seconds(20);
      while (Calls(watchedNet) < calls && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    std::int64_t asked = Calls(watchedNet);
    waiters.Ask(held);
    parked(asked += count);
    if (idle > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      const double before = CpuSeconds(watched.Pid());
      const auto start = Clock::now();
      std::this_thread::sleep_for(std::chrono::seconds(idle));
      const double cpu = CpuSeconds(watched.Pid()) - before;
      const double wall = std::chrono::duration<double>(Clock::now() - start).count();
      Report("idle_" + std::to_string(count) + "_waiters_cpu_of_core", 100.0 * cpu / wall, "%");
      Report("idle_" + std::to_string(count) + "_waiters_sockets", OpenSockets(watched.Pid()),
             "sockets");
    }
    std::vector<double> ms;
    std::mt19937 random(7);
    for (int r = 0; r < rounds; ++r) {
      // Saves come at any moment of the server's looks at the database, not in step with them.
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 200));
      const auto sent = Clock::now();
      Save(rdm, r);
      auto answers = waiters.Answers(std::chrono::seconds(30));
      if (answers.size() != waiters.Size())
        throw std::runtime_error("not every waiter was answered after a save");
      const std::int64_t before = held;
      for (const auto& [when, number] : answers) {
        if (number <= before)
          throw std::runtime_error("a waiter was answered without the change: " +
                                   std::to_string(number) + " after " + std::to_string(before));
        ms.push_back(std::chrono::duration<double, std::milli>(when - sent).count());
        held = std::max(held, number);
      }
      waiters.Ask(held);
      parked(asked += count);
    }
    Report("save_to_" + std::to_string(count) + "_waiters_p50", Percentile(ms, 0.5), "ms");
    Report("save_to_" + std::to_string(count) + "_waiters_p99", Percentile(ms, 0.99), "ms");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ger_bench_longpoll: %s\n", e.what());
    return 1;
  }
  return 0;
}
