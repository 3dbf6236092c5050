// A save on one seat shown on another: the time from the end of a save (the saving seat's
// SetEmpresa answered) to the moment a second seat's company screen, in a process of its own with
// the live list on, shows the new name. The watching seat wakes on the application's posted calls
// as the desktop's loop does (a waker on a condition variable) and reports each name it shows.
//   ger_bench_live --server BIN --data DIR --db URL --label NAME [--servers 1|2] [--saves N]
//   ger_bench_live watch --port PORT --db URL     (the watching seat, started by the above)
// With --servers 2 the seats are on two servers over the one database (PostgreSQL).
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Ger00200/ger00200.h"
#include "contract/rdm_empresa.h"
#include "data/packet.h"
#include "db/database.h"
#include "figure.h"
#include "launcher.h"
#include "routines/components.h"
#include "ui/dialogs.h"

namespace {

using namespace ger;
using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC: one clock for both processes

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
      .count();
}

std::string NameOf(TfrmEmpresa& f, const std::string& code) {
  TDataSet& d = f.cdsEmpresa;
  for (int i = 0; i < d.RecordCount(); ++i) {
    TDataSet::RowPeek peek(d, i);
    if (d.FieldByName("CDEMPRESA").AsString() == code) return d.FieldByName("NMEMPRESA").AsString();
  }
  return {};
}

// The watching seat: prints "ready", then "NAME MICROSECONDS" whenever company 01's name shown
// changes; ends with its parent.
int Watch(int port, const std::string& db) {
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  Application().SetDialogs(std::make_shared<ui::ScriptedDialogs>());
  Application().Settings.webUrl = "127.0.0.1";
  Application().Settings.webPort = port;
  Application().Settings.databaseUrl = db;
  Application().Settings.liveList = true;
  std::mutex m;
  std::condition_variable cv;
  bool posted = false;
  Application().SetPostedWaker([&] {
    {
      std::lock_guard lock(m);
      posted = true;
    }
    cv.notify_one();
  });
  TfrmEmpresa& form = Application().CreateForm<TfrmEmpresa>(nullptr);
  frmEmpresa = &form;
  form.Show();
  std::string shown = NameOf(form, "01");
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    {
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return posted; });
      posted = false;
    }
    Application().RunPosted();
    const std::string now = NameOf(form, "01");
    if (now != shown) {
      shown = now;
      std::printf("%s %lld\n", now.c_str(), static_cast<long long>(Now()));
      std::fflush(stdout);
    }
  }
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const std::size_t at = std::min(v.size() - 1, static_cast<std::size_t>(p * v.size()));
  return v[at];
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> o;
  const bool watch = argc > 1 && std::string(argv[1]) == "watch";
  for (int i = watch ? 2 : 1; i + 1 < argc; i += 2) o[argv[i]] = argv[i + 1];
  try {
    if (watch) return Watch(std::stoi(o.at("--port")), o.at("--db"));
    if (!o.contains("--server") || !o.contains("--data") || !o.contains("--db")) {
      std::fprintf(stderr,
                   "usage: ger_bench_live --server BIN --data DIR --db URL --label NAME "
                   "[--servers 1|2] [--saves N]\n");
      return 2;
    }
    const std::string group = "live_" + (o.contains("--label") ? o["--label"] : "db");
    const int servers = o.contains("--servers") ? std::stoi(o["--servers"]) : 1;
    const int saves = o.contains("--saves") ? std::stoi(o["--saves"]) : 30;
    const std::string db = o["--db"];
    server::ServerProcess first(
        {o["--server"], {"--db", db, "--data", o["--data"], "--demo"}, "/dev/null"});
    std::optional<server::ServerProcess> second;
    if (servers > 1)
      second.emplace(
          server::LaunchOptions{o["--server"], {"--db", db, "--data", o["--data"]}, "/dev/null"});
    const int watchPort = second ? second->Port() : first.Port();
    // The watching seat, its lines read through a pipe.
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    const std::string portText = std::to_string(watchPort);
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      ::close(out[1]);
      ::execl(argv[0], argv[0], "watch", "--port", portText.c_str(), "--db", db.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(out[1]);
    FILE* seat = ::fdopen(out[0], "r");
    if (child < 0 || !seat) throw std::runtime_error("cannot start the watching seat");
    char line[512];
    if (!std::fgets(line, sizeof line, seat) || std::string(line) != "ready\n")
      throw std::runtime_error("the watching seat did not start");

    TNetConnection net;
    net.Port = first.Port();
    TRdmEmpresa rdm(net);
    std::vector<double> ms;
    for (int i = 1; i <= saves; ++i) {
      ServerAnswer a = rdm.GetEmpresa();
      if (!a.ok()) throw std::runtime_error(a.error);
      DataPacket list = codec::DecodePacket(a.payload->Text());
      const int code = list.IndexOf("CDEMPRESA"), name = list.IndexOf("NMEMPRESA");
      const std::string to = "Medida " + std::to_string(i);
      for (const Row& row : list.rows) {
        if (std::get<std::string>(row[code]) != "01") continue;
        Row now = row;
        now[name] = to;
        ChangeSet delta;
        delta.fields = list.fields;
        delta.changes.push_back({ChangeKind::Update, row, now});
        a = rdm.SetEmpresa(delta, false, false, false, false, false, false);
        if (!a.ok()) throw std::runtime_error(a.error);
      }
      const std::int64_t saved = Now();
      for (;;) {
        if (!std::fgets(line, sizeof line, seat))
          throw std::runtime_error("the watching seat ended");
        const std::string text(line);
        const std::size_t space = text.rfind(' ');
        if (text.substr(0, space) != to) continue;
        ms.push_back(static_cast<double>(std::stoll(text.substr(space + 1)) - saved) / 1000.0);
        break;
      }
      // Saves a user apart: the seat is parked again before the next.
      std::this_thread::sleep_for(std::chrono::milliseconds(50 + (i * 37) % 100));
    }
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    std::fclose(seat);
    const std::string what = servers > 1 ? "save_shown_two_servers" : "save_shown";
    bench::PrintFigure(group, what + "_p50_ms", Percentile(ms, 0.5), "ms");
    bench::PrintFigure(group, what + "_p99_ms", Percentile(ms, 0.99), "ms");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ger_bench_live: %s\n", e.what());
    return 1;
  }
  return 0;
}
