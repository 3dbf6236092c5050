// What the change history costs: a company save with its history rows against the same save
// without them (interleaved rounds, in-process, on the engine of --db), and the history window of
// a company with 10,000 changes opened (the server's query and answer, the client's decoding, the
// window's model and its grid).
//   ger_bench_history --db URL --data DIR --label NAME [--saves N] [--history on|off]
//                     [--logo BYTES]
// --logo gives the company a picture of that size (none by default), which every save carries.
// --history runs the saves one way only (no window), for counting their instructions under
// callgrind apart: SetEmpresa is the function to collect in.
#include <algorithm>
#include <boost/json.hpp>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "Ger00200/ger00200_dados.h"
#include "Ger00200/ger00200_historico.h"
#include "connection_pool.h"
#include "contract/tables.h"
#include "data/packet.h"
#include "figure.h"
#include "history.h"
#include "people.h"
#include "rdm_empresa.h"
#include "schema.h"

namespace {

using namespace ger;
using Clock = std::chrono::steady_clock;
namespace json = boost::json;

std::string gGroup;

void Report(const std::string& name, double value, const std::string& unit) {
  bench::PrintFigure(gGroup, name, value, unit);
}

double CpuMicros() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// SetEmpresa's arguments as the company screen sends them: the whole row as read, with one
// column changed (the name).
json::array SaveArgs(const DataPacket& list, const std::string& from, const std::string& to) {
  ChangeSet cs;
  cs.fields = list.fields;
  const int name = list.IndexOf("NMEMPRESA");
  Row before = list.rows.at(0), after = before;
  before[name] = from;
  after[name] = to;
  cs.changes.push_back({ChangeKind::Update, std::move(before), std::move(after)});
  return {codec::ToJson(cs), false, false, false, false, false, false};
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> o;
  for (int i = 1; i + 1 < argc; i += 2) o[argv[i]] = argv[i + 1];
  if (!o.contains("--db") || !o.contains("--data")) {
    std::fprintf(stderr,
                 "usage: ger_bench_history --db URL --data DIR [--label NAME] [--saves N] "
                 "[--history on|off] [--logo BYTES]\n");
    return 2;
  }
  gGroup = "history_" + (o.contains("--label") ? o["--label"] : std::string("db"));
  const int saves = o.contains("--saves") ? std::stoi(o["--saves"]) : 200;
  try {
    server::ConnectionPool pool(o["--db"]);
    {
      auto c = pool.Acquire();
      server::CreateSchema(*c);
      server::SeedReferenceData(*c, o["--data"]);
    }
    server::RdmEmpresa rdm(pool, false);
    server::CallerScope caller({"bench", "bench-seat"});
    std::string name = "Nome 0";
    {
      ChangeSet cs;
      cs.fields = {record::kEmpresa["CDEMPRESA"].Def(), record::kEmpresa["NMEMPRESA"].Def(),
                   record::kEmpresa["NMRAZSOCEMPR"].Def(),
                   record::kEmpresa["DSARQLOGOEMPCLOB"].Def()};
      const std::size_t logo = o.contains("--logo") ? std::stoul(o["--logo"]) : 0;
      std::string bytes(logo, '\0');
      for (std::size_t i = 0; i < logo; ++i) bytes[i] = static_cast<char>(i * 131 % 251);
      cs.changes.push_back({ChangeKind::Insert,
                            {},
                            {"07", name, "Empresa de medida Ltda",
                             logo ? Value{Bytes{std::move(bytes)}} : Value{}}});
      json::array insert{codec::ToJson(cs), false, false, false, false, false, false};
      rdm.Invoke("SetEmpresa", insert);
    }
    json::array none;
    const DataPacket list = codec::DecodePacket(rdm.Invoke("GetEmpresa", none));
    int n = 0;
    // Wall time and this process's CPU time per save (the second is less disturbed by other
    // work on the machine, but leaves out the waits for the disk and, on PostgreSQL, the
    // database server's work).
    struct Times {
      double wall, cpu;
    };
    auto round = [&](bool history) {
      server::SetHistoryRecording(history);
      const double cpu = CpuMicros();
      const auto start = Clock::now();
      for (int i = 0; i < saves; ++i) {
        std::string next = "Nome " + std::to_string(++n);
        json::array args = SaveArgs(list, name, next);
        rdm.Invoke("SetEmpresa", args);
        name = std::move(next);
      }
      return Times{std::chrono::duration<double, std::micro>(Clock::now() - start).count() / saves,
                   (CpuMicros() - cpu) / saves};
    };
    if (o.contains("--history")) {
      const bool on = o["--history"] == "on";
      round(on);  // warm-up
      std::vector<double> times;
      for (int r = 0; r < 5; ++r) times.push_back(round(on).wall);
      Report(on ? "save_with_history_us" : "save_without_history_us", Median(times), "us");
      return 0;
    }
    round(true);  // warm-up: statements prepared, pages in the cache
    round(false);
    std::vector<double> with, without, withCpu, withoutCpu;
    auto run = [&](bool history) {
      const Times t = round(history);
      (history ? with : without).push_back(t.wall);
      (history ? withCpu : withoutCpu).push_back(t.cpu);
    };
    // Each way first in every other pair: a drift of the machine weighs on both alike.
    for (int r = 0; r < 6; ++r) {
      if (r % 2) run(true);
      run(false);
      if (r % 2 == 0) run(true);
    }
    server::SetHistoryRecording(true);
    const double a = Median(without), b = Median(with);
    const double ac = Median(withoutCpu), bc = Median(withCpu);
    Report("save_without_history_us", a, "us");
    Report("save_with_history_us", b, "us");
    Report("save_history_overhead_pct", (b - a) / a * 100.0, "%");
    Report("save_without_history_cpu_us", ac, "us");
    Report("save_with_history_cpu_us", bc, "us");
    Report("save_history_cpu_overhead_pct", (bc - ac) / ac * 100.0, "%");

    // A company with 10,000 changes, written as saves write them.
    {
      auto c = pool.Acquire();
      db::Transaction tx(*c);
      for (int i = 0; i < 10000; ++i) {
        server::CallerScope who({i % 3 ? "Ana" : "Bruno", "seat-" + std::to_string(i % 7)});
        server::RecordChange(
            *c, "EMPRESA", server::kHistoryUpdate, "08", "08",
            {{i % 2 ? "NMEMPRESA" : "NMRAZSOCEMPR", Value{"antes " + std::to_string(i)},
              Value{"depois " + std::to_string(i)}}});
      }
      tx.Commit();
    }
    std::vector<double> open;
    std::size_t rows = 0;
    for (int r = 0; r < 7; ++r) {
      const auto start = Clock::now();
      json::array args{"08"};
      const std::string answer = rdm.Invoke("GetHistorico", args);
      TfrmHistorico window(codec::DecodePacket(answer), empresa::CatalogoPadrao(), "08");
      rows = static_cast<std::size_t>(window.dbgHistorico.RowCount());
      open.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    if (rows != 10000)
      throw std::runtime_error("the window shows " + std::to_string(rows) + " rows");
    Report("window_10000_changes_ms", Median(open), "ms");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ger_bench_history: %s\n", e.what());
    return 1;
  }
  return 0;
}
