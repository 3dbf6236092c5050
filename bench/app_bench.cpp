// Whole-program timings: the real ger-server on loopback (keep-alive) against SQLite or
// PostgreSQL, and the company screen of the real module. Each figure is printed as one JSON
// line {"group":..,"name":..,"value":..,"unit":..}; bench/run.sh gathers them into the table
// and bench/results.json.
//
//   ger_bench_app server --server BIN --data DIR --db URL --label NAME
//   ger_bench_app list --server BIN --data DIR --db URL [--seed 0] [--n N]
//   ger_bench_app screen --server BIN --data DIR --dir TMPDIR --companies N [--cycles K]
//   ger_bench_app report --server BIN --data DIR --dir TMPDIR --companies N
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/json/serialize.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Ger00200/ger00200.h"
#include "company_sample.h"
#include "core/consiste_text.h"
#include "core/utf8.h"
#include "data/dataset.h"
#include "data/packet.h"
#include "db/database.h"
#include "figure.h"
#include "forms/relatorio.h"
#include "launcher.h"
#include "module/module.h"
#include "net/netconnection.h"
#include "routines/components.h"
#include "ui/dialogs.h"
#include "ui/gestures.h"
#include "ui/picklist.h"

namespace {

using namespace ger;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string gGroup;

void Report(const std::string& name, double value, const std::string& unit) {
  bench::PrintFigure(gGroup, name, value, unit);
}

double Micros(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::micro>(b - a).count();
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  std::size_t i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v.at(std::min(i, v.size() - 1));
}

// Runs `step` n times; the samples in microseconds.
template <class F>
std::vector<double> Sample(int n, F&& step) {
  std::vector<double> out;
  out.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    auto a = Clock::now();
    step(i);
    out.push_back(Micros(a, Clock::now()));
  }
  return out;
}

// The real server on a free loopback port; its per-call log is not what is measured.
server::ServerProcess StartServer(const std::string& bin, const std::string& data,
                                  const std::string& db) {
  server::LaunchOptions o;
  o.binary = bin;
  o.args = {"--db", db, "--port", "0", "--data", data};
  o.log = "/dev/null";
  return server::ServerProcess(std::move(o));
}

// CPU time used so far, in milliseconds: a whole process (from /proc) and this process. On a
// machine shared with other work the wall-clock figures vary with the load; these do not.
double ProcessCpuMs(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  double utime = 0, stime = 0;
  for (int i = 3; rest >> field; ++i) {  // fields 14 and 15: user and system clock ticks
    if (i == 14) utime = std::stod(field);
    if (i == 15) {
      stime = std::stod(field);
      break;
    }
  }
  return (utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A process's resident memory now, or its peak since it started or since ResetPeakKb, in kB.
long ProcessMemoryKb(pid_t pid, const std::string& field) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  long value = 0;
  while (f >> key) {
    if (key == field + ":") {
      f >> value;
      return value;
    }
    f.ignore(1 << 12, '\n');
  }
  throw std::runtime_error("no " + field + " for process " + std::to_string(pid));
}
void ResetPeakKb(pid_t pid) {
  std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5";
}

double SelfCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

std::string Code(int i) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  return {kDigits[(i / 36) % 36], kDigits[i % 36]};
}

// A 50 kB logo of noise (xorshift), which no compression or cache makes smaller.
std::string NoiseLogo() {
  std::string logo(50 * 1024, '\0');
  std::uint32_t x = 2463534242u;
  for (char& b : logo) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<char>(x);
  }
  return logo;
}

// Fills EMPRESA with `count` companies of every column (no logos), in one transaction.
void SeedCompanies(const std::string& url, const std::vector<FieldDef>& columns, int count) {
  auto c = db::Connection::Open(url);
  std::map<std::string, FieldDef> sample;
  for (const FieldDef& f : benchdata::CompanyFields()) sample[f.name] = f;
  std::string cols, vals;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    cols += (i ? "," : "") + columns[i].name;
    vals += (i ? ",:P" : ":P") + std::to_string(i);
  }
  const std::string sql = "INSERT INTO EMPRESA (" + cols + ") VALUES (" + vals + ")";
  db::Transaction tx(*c);
  for (int r = 0; r < count; ++r) {
    db::Params params;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      Value v;
      if (columns[i].name == "CDEMPRESA") {
        v = Code(r);
      } else if (auto it = sample.find(columns[i].name);
                 it != sample.end() && it->second.kind != FieldKind::Blob) {
        v = benchdata::Sample(it->second, r);
        if (auto* s = std::get_if<std::string>(&v); s && columns[i].kind == FieldKind::String)
          *s = s->substr(0, static_cast<std::size_t>(columns[i].size));  // ASCII-safe cut below
      }
      if (auto* s = std::get_if<std::string>(&v))  // never cut inside a UTF-8 sequence
        while (!s->empty() && (static_cast<unsigned char>(s->back()) & 0xC0) == 0x80) s->pop_back();
      params.emplace_back("P" + std::to_string(i), std::move(v));
    }
    c->Execute(sql, params);
  }
  tx.Commit();
}

DataPacket Companies(TNetConnection& net) {
  ServerAnswer a = net.Call("GetEmpresa");
  if (!a.ok()) throw std::runtime_error("GetEmpresa: " + a.error);
  return codec::DecodePacket(a.payload->Text());
}

// Calls per second of n keep-alive clients calling GetVerifEmpresa for `seconds`.
void Throughput(int port, int clients, double seconds) {
  std::atomic<long> ok{0}, errors{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < clients; ++t)
    threads.emplace_back([&, t] {
      TNetConnection net;
      net.Port = port;
      net.Call("GetVerifEmpresa", {Code(t)});  // connected before the clock starts
      while (!go.load()) std::this_thread::yield();
      const auto end = Clock::now() + std::chrono::duration<double>(seconds);
      const boost::json::array params{Code(t % 36)};
      while (Clock::now() < end) (net.Call("GetVerifEmpresa", params).ok() ? ok : errors)++;
    });
  auto a = Clock::now();
  go = true;
  for (auto& t : threads) t.join();
  double s = Micros(a, Clock::now()) / 1e6;
  Report("throughput_" + std::to_string(clients) + "_clients", static_cast<double>(ok) / s,
         "calls/s");
  Report("throughput_" + std::to_string(clients) + "_clients_errors", static_cast<double>(errors),
         "errors");
}

// The company list loaded into a dataset, as the screen loads it. Not inlined, so that a profiler
// can count it alone (callgrind --toggle-collect='*LoadCompanyList*').
__attribute__((noinline)) void LoadCompanyList(TNetConnection& net) {
  DataPacket p = Companies(net);
  if (p.rows.size() != 1296) throw std::runtime_error("GetEmpresa: wrong row count");
  TClientDataSet ds;
  ds.SetData(std::move(p));
}

// The figures of `n` company lists after a first one.
void CompanyList(TNetConnection& net, server::ServerProcess& server, int n) {
  LoadCompanyList(net);
  const double serverCpu = ProcessCpuMs(server.Pid()), clientCpu = SelfCpuMs();
  auto list = Sample(n, [&](int) { LoadCompanyList(net); });
  Report("GetEmpresa_1296_loaded", Percentile(list, 0.5) / 1000, "ms");
  Report("GetEmpresa_1296_server_cpu", (ProcessCpuMs(server.Pid()) - serverCpu) / n, "ms");
  Report("GetEmpresa_1296_client_cpu", (SelfCpuMs() - clientCpu) / n, "ms");
}

// The company list alone, for comparing builds: --seed 0 takes a database seeded by an earlier
// run, so that a profiled server does only the lists. Not part of ./ger bench.
int ListBench(const std::map<std::string, std::string>& o) {
  server::ServerProcess server = StartServer(o.at("--server"), o.at("--data"), o.at("--db"));
  TNetConnection net;
  net.Port = server.Port();
  if (!o.contains("--seed") || o.at("--seed") != "0")
    SeedCompanies(o.at("--db"), Companies(net).fields, 1296);
  CompanyList(net, server, o.contains("--n") ? std::stoi(o.at("--n")) : 20);
  return 0;
}

int ServerBench(const std::map<std::string, std::string>& o) {
  server::ServerProcess server = StartServer(o.at("--server"), o.at("--data"), o.at("--db"));
  TNetConnection net;
  net.Port = server.Port();
  const std::vector<FieldDef> columns = Companies(net).fields;
  SeedCompanies(o.at("--db"), columns, 1296);

  auto verif = Sample(5200, [&](int i) {
    if (!net.Call("GetVerifEmpresa", {Code(i % 1296)}).ok()) throw std::runtime_error("verif");
  });
  verif.erase(verif.begin(), verif.begin() + 200);  // warm-up
  Report("GetVerifEmpresa_p50", Percentile(verif, 0.5), "us");
  Report("GetVerifEmpresa_p99", Percentile(verif, 0.99), "us");

  CompanyList(net, server, 20);

  auto cnae = Sample(101, [&](int) {
    ServerAnswer a = net.Call("GetCNAE", {"", "T"});
    if (!a.ok() || codec::DecodePacket(a.payload->Text()).rows.size() != 1332)
      throw std::runtime_error("GetCNAE");
  });
  cnae.erase(cnae.begin());
  Report("GetCNAE_all_1332", Percentile(cnae, 0.5) / 1000, "ms");

  // SetEmpresa of one changed row, as the screen sends it after an alteration.
  DataPacket shape = Companies(net);
  const int name = shape.IndexOf("NMEMPRESA");
  Row current = shape.rows.at(7);
  auto save = Sample(201, [&](int i) {
    ChangeSet cs;
    cs.fields = shape.fields;
    Row next = current;
    next[static_cast<std::size_t>(name)] = "Empresa alterada " + std::to_string(i);
    cs.changes.push_back({ChangeKind::Update, current, next});
    boost::json::array args{codec::ToJson(cs)};
    for (int k = 0; k < 6; ++k) args.push_back(false);
    ServerAnswer a = net.Call("SetEmpresa", args);
    if (!a.ok()) throw std::runtime_error("SetEmpresa: " + a.error);
    current = std::move(next);
  });
  save.erase(save.begin());
  Report("SetEmpresa_one_row", Percentile(save, 0.5) / 1000, "ms");

  // The municipalities of one state, read by the host's query component from the database.
  Application().Settings.databaseUrl = o.at("--db");
  TADOIBQuery qry(nullptr, "qryMunicipio");
  qry.SQL =
      "SELECT CDMUNICIPIO, NMMUNICIPIO FROM MUNICIPIO WHERE SGESTADO = :ESTADO "
      "ORDER BY NMMUNICIPIO";
  auto towns = Sample(101, [&](int) {
    qry.Close();
    qry.ParamByName("ESTADO").SetAsString("SP");
    qry.Open();
    if (qry.Query.RecordCount() != 645) throw std::runtime_error("municipalities of SP");
  });
  towns.erase(towns.begin());
  Report("Municipios_SP_TADOIBQuery", Percentile(towns, 0.5) / 1000, "ms");

  for (int clients : {1, 4, 16}) Throughput(server.Port(), clients, 3.0);

  // Small calls while another client keeps sending 60 MB requests: those are answered off the
  // event loops, so a small call waits for the machine, not for the heavy one. The server's
  // memory is measured over the same time: its peak above what it held before, against the
  // request's body.
  {
    std::atomic<bool> stop{false};
    std::atomic<int> heavy{0};
    const boost::json::array params{boost::json::string(60'000'000, 'x')};
    const double body = static_cast<double>(
        boost::json::serialize(
            boost::json::object{
                {"jsonrpc", "2.0"}, {"id", 1}, {"method", "GetVerifEmpresa"}, {"params", params}})
            .size());
    ResetPeakKb(server.Pid());
    const long before = ProcessMemoryKb(server.Pid(), "VmRSS");
    std::thread sender([&] {
      TNetConnection big;
      big.Port = server.Port();
      while (!stop.load()) {
        big.Call("GetVerifEmpresa", params);
        ++heavy;
      }
    });
    std::vector<double> beside;
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
      auto a = Clock::now();
      const bool ok = net.Call("GetVerifEmpresa", {Code(7)}).ok();
      beside.push_back(Micros(a, Clock::now()));
      if (!ok) {
        stop = true;
        sender.join();
        throw std::runtime_error("GetVerifEmpresa beside a heavy request failed");
      }
    }
    stop = true;
    sender.join();
    Report("GetVerifEmpresa_beside_60MB_p99", Percentile(beside, 0.99) / 1000, "ms");
    Report("GetVerifEmpresa_beside_60MB_max", Percentile(beside, 1.0) / 1000, "ms");
    Report("heavy_60MB_requests_answered", static_cast<double>(heavy.load()), "requests");
    const long peak = ProcessMemoryKb(server.Pid(), "VmHWM");
    Report("heavy_60MB_server_peak_rss", static_cast<double>(peak) / 1024, "MiB");
    Report("heavy_60MB_server_memory_per_body", static_cast<double>(peak - before) * 1024 / body,
           "x body");
  }

  // One save whose logo makes a 60 MB request: the server's memory against the request's body.
  {
    DataPacket shape = Companies(net);
    const auto logo = static_cast<std::size_t>(shape.IndexOf("DSARQLOGOEMPCLOB"));
    ChangeSet cs;
    cs.fields = shape.fields;
    Row next = shape.rows.at(9);
    next[logo] = Bytes{std::string(44'000'000, '\x5A')};
    cs.changes.push_back({ChangeKind::Update, shape.rows.at(9), next});
    boost::json::array args{codec::ToJson(cs)};
    for (int k = 0; k < 6; ++k) args.push_back(false);
    const double body = static_cast<double>(
        boost::json::serialize(
            boost::json::object{
                {"jsonrpc", "2.0"}, {"id", 1}, {"method", "SetEmpresa"}, {"params", args}})
            .size());
    // The figure is the memory: on a busy machine the save may take longer than a screen waits.
    TNetConnection patient;
    patient.Port = server.Port();
    patient.TimeoutSeconds = 300;
    ResetPeakKb(server.Pid());
    const long before = ProcessMemoryKb(server.Pid(), "VmRSS");
    ServerAnswer a = patient.Call("SetEmpresa", args);
    if (!a.ok()) throw std::runtime_error("SetEmpresa with a large logo: " + a.error);
    const long peak = ProcessMemoryKb(server.Pid(), "VmHWM");
    Report("SetEmpresa_60MB_body", body / 1e6, "MB");
    Report("SetEmpresa_60MB_server_memory_per_body",
           static_cast<double>(peak - before) * 1024 / body, "x body");
  }

  // The same list with a 50 kB logo in every company.
  {
    auto c = db::Connection::Open(o.at("--db"));
    const std::string logo = NoiseLogo();
    c->Execute("UPDATE EMPRESA SET DSARQLOGOEMPCLOB = :L", {{"L", Bytes{logo}}});
  }
  auto logos = Sample(4, [&](int) { LoadCompanyList(net); });
  logos.erase(logos.begin());
  Report("GetEmpresa_1296_logos_loaded", Percentile(logos, 0.5) / 1000, "ms");
  return 0;
}

long MaxRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

long CurrentRssKb() {
  std::ifstream f("/proc/self/status");
  std::string key;
  long value = 0;
  while (f >> key) {
    if (key == "VmRSS:") {
      f >> value;
      return value;
    }
    f.ignore(1 << 12, '\n');
  }
  return 0;
}

// Pick lists built as the desktop shell builds them, then left without a choice.
class PickListDialogs : public ui::ScriptedDialogs {
 public:
  std::optional<int> PickList(TDataSource& source, const std::string&) override {
    last_ = ui::PickListModel(*source.DataSet());
    return std::nullopt;
  }
  const ui::PickListModel& Last() const { return last_; }

 private:
  ui::PickListModel last_;
};

// The field checks as the user meets them: leaving a box whose check asks the database or the
// server, up to the focus in the next box; opening the municipality list of SP (645 rows); one
// keystroke in the filter of the list of every municipality of the country.
void FieldBench(TfrmEmpresa& f, PickListDialogs& dialogs, const std::string& url) {
  namespace G = ui::Gestures;
  auto fail = [&](const std::string& what) {
    std::string why;
    while (auto m = dialogs.NextMessage()) why += " " + *m;
    throw std::runtime_error(what + " failed:" + why);
  };
  if (!G::Click(f.sbtAlterar) || !G::Click(f.mnuEndereco) || !G::Paste(f.dbeCdPais, "1058") ||
      !G::Paste(f.dbeSgEstado, "SP"))
    fail("filling the address");
  constexpr int kExits = 400;
  // Leaving the country box: the commit, the query of PAIS, the name written back.
  std::vector<double> pais;
  for (int i = 0; i < kExits; ++i) {
    if (!G::Focus(f.dbeCdPais)) fail("entering the country");
    auto a = Clock::now();
    if (!G::Focus(f.dbeSgEstado)) fail("leaving the country");
    pais.push_back(Micros(a, Clock::now()));
  }
  if (f.cdsEmpresa.FieldByName("NMPAIS").AsString() != "Brasil") fail("the country check");
  Report("exit_country_box_to_next_focus_p50", Percentile(pais, 0.5) / 1000, "ms");
  Report("exit_country_box_to_next_focus_p99", Percentile(pais, 0.99) / 1000, "ms");

  // Leaving the CNAE box: the commit, GetCNAE on the server, the description shown.
  if (!G::Click(f.mnuInformacoesOficiais) || !G::Paste(f.dbeCDCNAE, "6201501")) fail("the CNAE");
  std::vector<double> cnae;
  for (int i = 0; i < kExits; ++i) {
    if (!G::Focus(f.dbeCDCNAE)) fail("entering the CNAE");
    auto a = Clock::now();
    if (!G::Focus(f.dbeCDFPAS)) fail("leaving the CNAE");
    cnae.push_back(Micros(a, Clock::now()));
  }
  if (f.dbeDsCnae.Text().empty()) fail("the CNAE check");
  Report("exit_CNAE_box_to_next_focus_p50", Percentile(cnae, 0.5) / 1000, "ms");
  Report("exit_CNAE_box_to_next_focus_p99", Percentile(cnae, 0.99) / 1000, "ms");

  // The municipality search of SP: its query and the pick list's rows.
  if (!G::Click(f.mnuEndereco)) fail("the address page");
  auto open = Sample(20, [&](int) {
    if (!G::Click(f.btnMunicipio) || dialogs.Last().RowCount() != 645) fail("the SP list");
  });
  Report("picklist_municipalities_SP_645_open_p50", Percentile(open, 0.5) / 1000, "ms");

  // Every municipality of the country, filtered as a user types, erases and types again.
  TClientDataSet all("qryMunicipio");
  all.AddField(FieldDef{"CDMUNICIPIO", FieldKind::String, 4}).SetDisplayLabel("Código");
  all.AddField(FieldDef{"NMMUNICIPIO", FieldKind::String, 40}).SetDisplayLabel("Nome");
  all.SetData(db::Connection::Open(url)->Query(
      "SELECT CDMUNICIPIO, NMMUNICIPIO FROM MUNICIPIO ORDER BY NMMUNICIPIO"));
  ui::PickListModel list(all);
  if (list.RowCount() != 5570) fail("the list of every municipality");
  std::vector<std::string> typed;
  for (std::string word : {std::string("sao jose"), std::string("santa"), std::string("agua")}) {
    for (std::size_t n = 1; n <= word.size(); ++n) typed.push_back(word.substr(0, n));
    for (std::size_t n = word.size(); n-- > 0;) typed.push_back(word.substr(0, n));
  }
  std::vector<double> keys;
  for (int round = 0; round < 20; ++round)
    for (const std::string& text : typed) {
      auto a = Clock::now();
      list.SetFilter(text);
      keys.push_back(Micros(a, Clock::now()));
    }
  Report("picklist_filter_keystroke_5570_p50", Percentile(keys, 0.5) / 1000, "ms");
  Report("picklist_filter_keystroke_5570_p99", Percentile(keys, 0.99) / 1000, "ms");
  Report("picklist_filter_keystroke_5570_max", Percentile(keys, 1.0) / 1000, "ms");
  G::Click(f.sbtCancelar);
}

// A server on a new SQLite file in --dir with `companies` companies, and the host pointed at it
// with the given scripted dialogs.
struct SeededHost {
  std::string url;
  server::ServerProcess server;

  SeededHost(const std::map<std::string, std::string>& o, int companies,
             std::shared_ptr<ui::ScriptedDialogs> dialogs)
      : url("sqlite:" + (fs::path(o.at("--dir")) / "ger.db").string()),
        server(StartServer(o.at("--server"), o.at("--data"), url)) {
    {
      TNetConnection net;
      net.Port = server.Port();
      SeedCompanies(url, Companies(net).fields, companies);
    }
    Application().SetDialogs(dialogs);
    Application().Settings.webUrl = "127.0.0.1";
    Application().Settings.webPort = server.Port();
    Application().Settings.databaseUrl = url;
    Application().Settings.moduloAtiv = "G";
  }
};

// The company list as the user searches it: one keystroke in the filter box above the list
// (the filter, the cursor, the count, and the rows the window then reads), a find from the
// toolbar and its next (F3), a click on a column's title (the order and the rows read).
void ListBench(TfrmEmpresa& f, PickListDialogs& dialogs, int companies) {
  namespace G = ui::Gestures;
  auto fail = [&](const std::string& what) {
    std::string why;
    while (auto m = dialogs.NextMessage()) why += " " + *m;
    throw std::runtime_error("list: " + what + ":" + why);
  };
  if (!G::Page(f.tshFolhaDados) || !G::Focus(f.edtFiltro)) fail("the filter box");
  std::vector<std::string> words = {"empresa 12", "sao jose", "11.222.333", "ribeirao", "ltda 9"};
  std::vector<double> keys;
  std::size_t rowsRead = 0;
  for (int round = 0; round < 10; ++round)
    for (const std::string& word : words) {
      for (char32_t ch : utf8::Decode(word)) {
        const std::string typed = utf8::Encode(std::u32string(1, ch));
        auto a = Clock::now();
        const bool ok = G::Type(f.edtFiltro, typed);
        rowsRead += f.dbgPadrao.CellTexts().size();
        keys.push_back(Micros(a, Clock::now()));
        if (!ok) fail("typing into the filter");
      }
      for (std::size_t n = utf8::Length(f.edtFiltro.Text()); n > 0; --n) {
        auto a = Clock::now();
        const bool ok = G::Key(f.edtFiltro, "backspace");
        rowsRead += f.dbgPadrao.CellTexts().size();
        keys.push_back(Micros(a, Clock::now()));
        if (!ok) fail("erasing the filter");
      }
    }
  if (f.dbgPadrao.RowCount() != companies || rowsRead == 0) fail("the filter left rows out");
  const std::string n = std::to_string(companies);
  Report("list_filter_keystroke_" + n + "_p50", Percentile(keys, 0.5) / 1000, "ms");
  Report("list_filter_keystroke_" + n + "_p99", Percentile(keys, 0.99) / 1000, "ms");

  std::vector<double> finds;
  const std::vector<std::string> texts = {"Empresa 1000", "campinas", "11222333", "são joão 7"};
  for (int i = 0; i < 100; ++i) {
    dialogs.Find(texts[static_cast<std::size_t>(i) % texts.size()]);
    auto a = Clock::now();
    const bool ok = G::Click(f.sbtProcurar) && G::Click(f.mnuProcurarProximo);
    finds.push_back(Micros(a, Clock::now()) / 2);
    if (!ok) fail("the find");
  }
  dialogs.ClearLog();
  Report("list_find_" + n + "_p50", Percentile(finds, 0.5) / 1000, "ms");
  Report("list_find_" + n + "_p99", Percentile(finds, 0.99) / 1000, "ms");

  std::vector<double> sorts;
  const std::string current = f.cdsEmpresa.FieldByName("CDEMPRESA").AsString();
  for (int i = 0; i < 20; ++i) {
    auto a = Clock::now();
    const bool ok = G::GridTitle(f.dbgPadrao, i % 4 < 2 ? "NMEMPRESA" : "CDEMPRESA");
    rowsRead += f.dbgPadrao.CellTexts().size();
    sorts.push_back(Micros(a, Clock::now()));
    if (!ok || f.cdsEmpresa.FieldByName("CDEMPRESA").AsString() != current) fail("the sort");
  }
  G::GridTitle(f.dbgPadrao, "CDEMPRESA");
  f.dbgPadrao.SetSortColumn(-1);
  Report("list_sort_" + n + "_p50", Percentile(sorts, 0.5) / 1000, "ms");
  Report("list_sort_" + n + "_max", Percentile(sorts, 1.0) / 1000, "ms");
}

// A confirm of an altered company as the user meets it: every check of the confirm, the post
// with its neighbourhood step, the change set, the reload of the whole list and the return to
// the company's row.
void ConfirmBench(TfrmEmpresa& f, PickListDialogs& dialogs, int companies) {
  namespace G = ui::Gestures;
  const std::string code = Code(companies / 2);
  if (!f.cdsEmpresa.Locate("CDEMPRESA", {Value(code)}))
    throw std::runtime_error("company " + code + " is not listed");
  std::vector<double> confirm;
  for (int i = 0; i < 20; ++i) {
    bool ok = G::Click(f.sbtAlterar) && G::Clear(f.dbeNmEmpresa) &&
              G::Type(f.dbeNmEmpresa, "Alterada " + std::to_string(i));
    auto a = Clock::now();
    ok = ok && G::Click(f.sbtConfirmar);
    confirm.push_back(Micros(a, Clock::now()));
    if (!ok || f.cdsEmpresa.State() != DataSetState::Browse ||
        f.cdsEmpresa.FieldByName("CDEMPRESA").AsString() != code ||
        f.cdsEmpresa.RecordCount() != companies) {
      std::string why;
      while (auto m = dialogs.NextMessage()) why += " " + *m;
      throw std::runtime_error("confirming an altered company failed (round " + std::to_string(i) +
                               ", row " + f.cdsEmpresa.FieldByName("CDEMPRESA").AsString() +
                               ", box \"" + f.dbeArqLogoEmpr.Text() + "\"):" + why);
    }
  }
  Report("Confirmar_altered_" + std::to_string(companies) + "_p50", Percentile(confirm, 0.5) / 1000,
         "ms");
}

int ScreenBench(const std::map<std::string, std::string>& o) {
  namespace G = ui::Gestures;
  const int companies = std::stoi(o.at("--companies"));
  const int cycles = o.contains("--cycles") ? std::stoi(o.at("--cycles")) : 0;
  auto dialogs = std::make_shared<PickListDialogs>();
  SeededHost host(o, companies, dialogs);
  const std::string& url = host.url;
  if (cycles == 0) {
    // The company the confirm is measured on passes every check: codes the reference tables
    // hold, a neighbourhood typed by name, no files to read, no accountant or cost centre.
    db::Connection::Open(url)->Execute(
        "UPDATE EMPRESA SET CDPAIS = '1058', SGESTADO = 'SP', CDMUNICIPIO = '5030', "
        "CDBAIRRO = NULL, NMBAIRRO = 'Centro', CDCNAE = '6201501', CDFPAS = '515', "
        "CDNATUJURI = '2062', CDCENTCUST = NULL, CDCONTADOR2 = NULL, NMCONTADOR = NULL, "
        "CDEMPRCAIXA = NULL, "
        "DTREGJUNCOM = NULL, MEDATABASE = 5, NRPROPRIEMPR = 2, NRCAGED = NULL, "
        "VRPEMULEMPR = 2, VRPEMOREMPR = NULL, DSARQLOGOEMP = NULL, DSARQRECIBO = NULL, "
        "DSARQRECIREC = NULL WHERE CDEMPRESA = '" +
            Code(companies / 2) + "'",
        {});
  }
  TLoadedModule module("Pkg_Ger00200");
  const long before = CurrentRssKb();
  auto a = Clock::now();
  module.Call("CriaEmpresa");
  auto b = Clock::now();
  TfrmEmpresa* form = module.Global<TfrmEmpresa*>("frmEmpresa");
  if (!form || form->cdsEmpresa.RecordCount() != companies || !form->Visible())
    throw std::runtime_error("the screen did not open with every company");
  const std::string n = std::to_string(companies);
  Report("CriaEmpresa_" + n + "_shown", Micros(a, b) / 1000, "ms");
  Report("CriaEmpresa_" + n + "_peak_rss", static_cast<double>(MaxRssKb()) / 1024, "MiB");
  Report("CriaEmpresa_" + n + "_rss_added", static_cast<double>(CurrentRssKb() - before) / 1024,
         "MiB");

  if (cycles > 0) {
    auto cycle = Sample(cycles, [&](int i) {
      TfrmEmpresa& f = *form;
      const std::string code = Code(companies + i);
      // A registration of its own: the screen refuses one another company holds.
      const std::string base = std::to_string(20000000 + companies + i) + "0001";
      const std::string cnpj = base + Consiste::DigitosCNPJ(base);
      bool ok = G::Click(f.sbtIncluir) && G::Paste(f.dbeCdEmpresa, code) &&
                G::Type(f.dbeNmEmpresa, "Nova " + code) &&
                G::Type(f.dbeRazaoSoc, "Nova Empresa " + code + " Ltda") &&
                G::Type(f.dbeCGCEmpresa, cnpj) && G::Click(f.mnuEndereco) &&
                G::Paste(f.dbeCdPais, "1058") && G::Paste(f.dbeSgEstado, "SP") &&
                G::Paste(f.dbeCdMunicipio, "5030") && G::Click(f.sbtConfirmar);
      if (!ok || f.cdsEmpresa.RecordCount() != companies + i + 1) {
        std::string why;
        while (auto m = dialogs->NextMessage()) why += *m + " ";
        throw std::runtime_error("include-confirm cycle failed: " + why);
      }
    });
    Report("IncluirConfirmar_cycle_" + n, Percentile(cycle, 0.5) / 1000, "ms");
    FieldBench(*form, *dialogs, url);
  } else {
    ListBench(*form, *dialogs, companies);
    ConfirmBench(*form, *dialogs, companies);
  }
  module.Unload();
  return 0;
}

// The company screen over 1,296 companies, opened without logos and then with a 50 kB logo in
// every company (stored through the server, so that each has its digest: the server is started
// again over them), in one run; then confirms of an altered company with their refresh, and the
// bytes of the list's answer each confirm reads.
int LogosBench(const std::map<std::string, std::string>& o) {
  namespace G = ui::Gestures;
  const int companies = std::stoi(o.at("--companies"));
  auto dialogs = std::make_shared<PickListDialogs>();
  const std::string url = "sqlite:" + (fs::path(o.at("--dir")) / "ger.db").string();
  // As StartServer does, in place: the server is started again below.
  auto launch = [&] {
    server::LaunchOptions l;
    l.binary = o.at("--server");
    l.args = {"--db", url, "--port", "0", "--data", o.at("--data")};
    l.log = "/dev/null";
    return l;
  };
  std::optional<server::ServerProcess> server;
  server.emplace(launch());
  {
    TNetConnection net;
    net.Port = server->Port();
    SeedCompanies(url, Companies(net).fields, companies);
  }
  Application().SetDialogs(dialogs);
  Application().Settings.webUrl = "127.0.0.1";
  Application().Settings.databaseUrl = url;
  Application().Settings.moduloAtiv = "G";
  TLoadedModule module("Pkg_Ger00200");
  auto open = [&] {
    Application().Settings.webPort = server->Port();
    auto a = Clock::now();
    module.Call("CriaEmpresa");
    const double ms = Micros(a, Clock::now()) / 1000;
    TfrmEmpresa* form = module.Global<TfrmEmpresa*>("frmEmpresa");
    if (!form || form->cdsEmpresa.RecordCount() != companies)
      throw std::runtime_error("the screen did not open with every company");
    return ms;
  };
  auto close = [&] {
    TfrmEmpresa* form = module.Global<TfrmEmpresa*>("frmEmpresa");
    form->Close();
    Application().ProcessReleases();
  };
  const double plain = open();
  close();
  {
    auto c = db::Connection::Open(url);
    const std::string logo = NoiseLogo();
    c->Execute("UPDATE EMPRESA SET DSARQLOGOEMPCLOB = :L", {{"L", Bytes{logo}}});
    c->Execute(
        "UPDATE EMPRESA SET CDPAIS = '1058', SGESTADO = 'SP', CDMUNICIPIO = '5030', "
        "CDBAIRRO = NULL, NMBAIRRO = 'Centro', CDCNAE = '6201501', CDFPAS = '515', "
        "CDNATUJURI = '2062', CDCENTCUST = NULL, CDCONTADOR2 = NULL, NMCONTADOR = NULL, "
        "CDEMPRCAIXA = NULL, DTREGJUNCOM = NULL, MEDATABASE = 5, NRPROPRIEMPR = 2, "
        "NRCAGED = NULL, VRPEMULEMPR = 2, VRPEMOREMPR = NULL, DSARQLOGOEMP = NULL, "
        "DSARQRECIBO = NULL, DSARQRECIREC = NULL WHERE CDEMPRESA = '" +
            Code(companies / 2) + "'",
        {});
  }
  server.reset();
  server.emplace(launch());
  const double withLogos = open();
  const std::string n = std::to_string(companies);
  Report("CriaEmpresa_" + n + "_no_logos_shown", plain, "ms");
  Report("CriaEmpresa_" + n + "_logos_shown", withLogos, "ms");
  Report("CriaEmpresa_" + n + "_logos_ratio", withLogos / plain, "x");

  TfrmEmpresa& f = *module.Global<TfrmEmpresa*>("frmEmpresa");
  TNetConnection net;
  net.Port = server->Port();
  TRdmEmpresa rdm(net);
  ServerAnswer first = rdm.GetEmpresa("N", "");
  if (!first.ok()) throw std::runtime_error("GetEmpresa: " + first.error);
  const std::int64_t number =
      first.payload->Value().as_object().at("numero").to_number<std::int64_t>();
  const std::string code = Code(companies / 2);
  if (!f.cdsEmpresa.Locate("CDEMPRESA", {Value(code)}))
    throw std::runtime_error("company " + code + " is not listed");
  std::vector<double> confirm, bytes;
  for (int i = 0; i < 20; ++i) {
    bool ok = G::Click(f.sbtAlterar) && G::Clear(f.dbeNmEmpresa) &&
              G::Type(f.dbeNmEmpresa, "Alterada " + std::to_string(i));
    auto a = Clock::now();
    ok = ok && G::Click(f.sbtConfirmar);
    confirm.push_back(Micros(a, Clock::now()));
    if (!ok || f.cdsEmpresa.FieldByName("CDEMPRESA").AsString() != code) {
      std::string why;
      while (auto m = dialogs->NextMessage()) why += " " + *m;
      throw std::runtime_error("confirming an altered company with a logo failed:" + why);
    }
    // What this confirm's refresh read: the list's changes since the number before it.
    ServerAnswer read = rdm.GetEmpresa("N", std::to_string(number + i));
    bytes.push_back(static_cast<double>(read.payload->Text().size()));
  }
  Report("Confirmar_altered_" + n + "_logos_p50", Percentile(confirm, 0.5) / 1000, "ms");
  Report("Confirmar_altered_" + n + "_logos_list_bytes", Percentile(bytes, 0.99), "bytes");
  module.Unload();
  return 0;
}

// The company report "Ger002" to a PDF file: the list from the server, the pages, the file.
int ReportBench(const std::map<std::string, std::string>& o) {
  const int companies = std::stoi(o.at("--companies"));
  auto dialogs = std::make_shared<ui::ScriptedDialogs>();
  SeededHost host(o, companies, dialogs);
  server::ServerProcess& server = host.server;
  std::optional<report::Definition> definition = FindReport("Ger002");
  if (!definition) throw std::runtime_error("no definition of the report Ger002 is installed");
  const fs::path file = fs::path(o.at("--dir")) / "empresas.pdf";
  const long before = CurrentRssKb();
  std::size_t pages = 0;
  const double serverCpu = ProcessCpuMs(server.Pid()), clientCpu = SelfCpuMs();
  auto runs = Sample(5, [&](int) {
    auto job = std::make_shared<ReportJob>(*definition);
    job->Write(file, ReportJob::FileKind::Pdf);
    ui::ProgressScope made(*dialogs, "");  // the pages are made already: this only reads them
    pages = job->Pages(made)->pages.size();
  });
  const double cpu = (SelfCpuMs() - clientCpu + ProcessCpuMs(server.Pid()) - serverCpu) / 5;
  if (!fs::exists(file) || dialogs->Log().size() != 5)
    throw std::runtime_error("the report was not written");
  const std::string n = std::to_string(companies);
  // CPU of client and server together: on a machine shared with other work the wall-clock
  // figures vary with the load, this one does not.
  Report("Ger002_pdf_" + n + "_cpu", cpu, "ms");
  Report("Ger002_pdf_" + n + "_first", runs.front() / 1000, "ms");
  Report("Ger002_pdf_" + n, Percentile(runs, 0.5) / 1000, "ms");
  Report("Ger002_pdf_" + n + "_pages", static_cast<double>(pages), "pages");
  Report("Ger002_pdf_" + n + "_size", static_cast<double>(fs::file_size(file)) / 1024, "KiB");
  Report("Ger002_pdf_" + n + "_peak_rss", static_cast<double>(MaxRssKb()) / 1024, "MiB");
  Report("Ger002_pdf_" + n + "_rss_added", static_cast<double>(MaxRssKb() - before) / 1024, "MiB");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ger_bench_app server|list|screen|report --option value ...\n");
    return 2;
  }
  std::map<std::string, std::string> options;
  for (int i = 2; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
  try {
    const std::string mode = argv[1];
    gGroup = options.contains("--label") ? options["--label"] : mode;
    if (mode == "server") return ServerBench(options);
    if (mode == "list") return ListBench(options);
    if (mode == "screen") return ScreenBench(options);
    if (mode == "report") return ReportBench(options);
    if (mode == "logos") return LogosBench(options);
    std::fprintf(stderr, "ger_bench_app: unknown mode %s\n", mode.c_str());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ger_bench_app: %s\n", e.what());
    return 1;
  }
}
