// Packet codec and dataset load at the size of a large company list: 10,000 rows of the company
// record's 71 columns, filled as real companies are (no logo blobs).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <boost/json.hpp>
#include <filesystem>
#include <string>

#include "company_sample.h"
#include "data/dataset.h"
#include "data/packet.h"
#include "db/database.h"

namespace ger {
namespace {

constexpr int kRows = 10'000;
using benchdata::CompanyFields;
using benchdata::Sample;

const DataPacket& CompanyPacket() {
  static const DataPacket packet = [] {
    DataPacket p;
    p.fields = CompanyFields();
    p.rows.reserve(kRows);
    for (int r = 0; r < kRows; ++r) {
      Row row;
      row.reserve(p.fields.size());
      for (std::size_t c = 0; c < p.fields.size(); ++c) row.push_back(Sample(p.fields[c], r));
      p.rows.push_back(std::move(row));
    }
    return p;
  }();
  return packet;
}

const std::string& CompanyText() {
  static const std::string text = codec::Encode(CompanyPacket());
  return text;
}

void BM_EncodeCompanies(benchmark::State& state) {
  const DataPacket& p = CompanyPacket();
  for (auto _ : state) {
    std::string text = codec::Encode(p);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(CompanyText().size()));
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_EncodeCompanies)->Unit(benchmark::kMillisecond);

void BM_DecodeCompanies(benchmark::State& state) {
  const std::string& text = CompanyText();
  for (auto _ : state) {
    DataPacket p = codec::DecodePacket(std::string_view(text));
    benchmark::DoNotOptimize(p.rows.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_DecodeCompanies)->Unit(benchmark::kMillisecond);

// What a screen pays to show a server answer that is already decoded: the rows are copied in.
void BM_LoadDataSetCopy(benchmark::State& state) {
  const DataPacket& p = CompanyPacket();
  TClientDataSet ds;
  for (auto _ : state) {
    ds.SetData(p);
    benchmark::DoNotOptimize(ds.RecordCount());
  }
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_LoadDataSetCopy)->Unit(benchmark::kMillisecond);

// The path of a server answer: the decoded packet is moved in, no row is copied.
void BM_LoadDataSetMove(benchmark::State& state) {
  TClientDataSet ds;
  for (auto _ : state) {
    state.PauseTiming();
    DataPacket copy = CompanyPacket();
    state.ResumeTiming();
    ds.SetData(std::move(copy));
    benchmark::DoNotOptimize(ds.RecordCount());
  }
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_LoadDataSetMove)->Unit(benchmark::kMillisecond);

// The same with persistent fields, as the company screen declares them (columns mapped by name).
void BM_LoadDataSetPersistentFields(benchmark::State& state) {
  const DataPacket& p = CompanyPacket();
  TClientDataSet ds;
  for (const FieldDef& f : p.fields) ds.AddField(f);
  for (auto _ : state) {
    ds.SetData(p);
    benchmark::DoNotOptimize(ds.RecordCount());
  }
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_LoadDataSetPersistentFields)->Unit(benchmark::kMillisecond);

// 1,000 companies, each with a 50 kB logo in DSARQLOGOEMPCLOB (base64 on the wire).
constexpr int kLogoRows = 1'000;
constexpr std::size_t kLogoBytes = 50 * 1024;

const DataPacket& LogoPacket() {
  static const DataPacket packet = [] {
    DataPacket p;
    p.fields = CompanyFields();
    const int logo = p.IndexOf("DSARQLOGOEMPCLOB");
    for (int r = 0; r < kLogoRows; ++r) {
      Row row;
      for (std::size_t c = 0; c < p.fields.size(); ++c) row.push_back(Sample(p.fields[c], r));
      std::string bytes(kLogoBytes, '\0');
      std::uint32_t x = 2463534242u + static_cast<std::uint32_t>(r);
      for (char& b : bytes) {  // xorshift: bytes a compressor could not shrink, like an image
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<char>(x);
      }
      row[static_cast<std::size_t>(logo)] = Bytes{std::move(bytes)};
      p.rows.push_back(std::move(row));
    }
    return p;
  }();
  return packet;
}

void BM_EncodeCompaniesWithLogos(benchmark::State& state) {
  const DataPacket& p = LogoPacket();
  std::size_t size = 0;
  for (auto _ : state) {
    std::string text = codec::Encode(p);
    size = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(size));
  state.counters["rows"] = kLogoRows;
}
BENCHMARK(BM_EncodeCompaniesWithLogos)->Unit(benchmark::kMillisecond);

void BM_DecodeCompaniesWithLogos(benchmark::State& state) {
  static const std::string text = codec::Encode(LogoPacket());
  for (auto _ : state) {
    DataPacket p = codec::DecodePacket(std::string_view(text));
    benchmark::DoNotOptimize(p.rows.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
  state.counters["rows"] = kLogoRows;
}
BENCHMARK(BM_DecodeCompaniesWithLogos)->Unit(benchmark::kMillisecond);

// The client's side of the company list (1,296 rows, every two-character code): the answer's
// text parsed into a JSON value, decoded into a packet and loaded into a dataset (how the screen
// first did it); the streaming decoder on the packet's text; and what the screen does now, the
// answer's envelope split to hand the result's text to the streaming decoder.
const std::string& ListText() {
  static const std::string text = [] {
    DataPacket p;
    p.fields = CompanyFields();
    p.rows.assign(CompanyPacket().rows.begin(), CompanyPacket().rows.begin() + 1296);
    return codec::Encode(p);
  }();
  return text;
}

void BM_ClientListThroughValue(benchmark::State& state) {
  const std::string& text = ListText();
  for (auto _ : state) {
    boost::json::value v = boost::json::parse(
        text, boost::json::make_shared_resource<boost::json::monotonic_resource>());
    TClientDataSet ds;
    ds.SetData(codec::DecodePacket(v));
    benchmark::DoNotOptimize(ds.RecordCount());
  }
  state.counters["rows"] = 1296;
}
BENCHMARK(BM_ClientListThroughValue)->Unit(benchmark::kMillisecond);

void BM_ClientListStreaming(benchmark::State& state) {
  const std::string& text = ListText();
  for (auto _ : state) {
    TClientDataSet ds;
    ds.SetData(codec::DecodePacket(std::string_view(text)));
    benchmark::DoNotOptimize(ds.RecordCount());
  }
  state.counters["rows"] = 1296;
}
BENCHMARK(BM_ClientListStreaming)->Unit(benchmark::kMillisecond);

void BM_ClientListFromAnswer(benchmark::State& state) {
  static const std::string answer = "{\"jsonrpc\":\"2.0\",\"id\":7,\"result\":" + ListText() + "}";
  for (auto _ : state) {
    std::string_view result;
    for (const auto& [key, text] : codec::ObjectMembers(answer))
      if (key == "result") result = text;
    TClientDataSet ds;
    ds.SetData(codec::DecodePacket(result));
    benchmark::DoNotOptimize(ds.RecordCount());
  }
  state.counters["rows"] = 1296;
}
BENCHMARK(BM_ClientListFromAnswer)->Unit(benchmark::kMillisecond);

// The server's side of the company list: 1,296 companies read from SQLite and written as packet
// text straight from the cursor, as GetEmpresa answers.
void BM_ServerListFromSqlite(benchmark::State& state) {
  const std::string path = "/tmp/ger-bench-list-" + std::to_string(getpid()) + ".db";
  std::filesystem::remove(path);
  auto c = db::Connection::Open("sqlite:" + path);
  std::string columns, names, params;
  const std::vector<FieldDef> fields = CompanyFields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const FieldDef& f = fields[i];
    const char* type = f.kind == FieldKind::String     ? "VARCHAR"
                       : f.kind == FieldKind::Memo     ? "TEXT"
                       : f.kind == FieldKind::Float    ? "DOUBLE PRECISION"
                       : f.kind == FieldKind::Integer  ? "INTEGER"
                       : f.kind == FieldKind::DateTime ? "TIMESTAMP"
                                                       : "BLOB";
    columns += (i ? ", " : "") + f.name + " " + type +
               (f.kind == FieldKind::String ? "(" + std::to_string(f.size) + ")" : "");
    names += (i ? ", " : "") + f.name;
    params += (i ? ", :P" : ":P") + std::to_string(i);
  }
  c->ExecuteScript("CREATE TABLE EMPRESA (" + columns + ", PRIMARY KEY (" + fields[0].name + "))");
  {
    db::Transaction tx(*c);
    for (int r = 0; r < 1296; ++r) {
      db::Params p;
      for (std::size_t i = 0; i < fields.size(); ++i) {
        Value v = i == 0 ? Value(std::to_string(10000 + r)) : CompanyPacket().rows[r][i];
        if (std::holds_alternative<Bytes>(v)) v = std::monostate{};
        p.emplace_back("P" + std::to_string(i), std::move(v));
      }
      c->Execute("INSERT INTO EMPRESA (" + names + ") VALUES (" + params + ")", p);
    }
    tx.Commit();
  }
  const std::string sql = "SELECT " + names + " FROM EMPRESA ORDER BY " + fields[0].name;
  std::size_t size = 0;
  for (auto _ : state) {
    std::string text = c->QueryEncoded(sql, {}, nullptr);
    size = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(size));
  state.counters["rows"] = 1296;
  c.reset();
  std::filesystem::remove(path);
}
BENCHMARK(BM_ServerListFromSqlite)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ger
