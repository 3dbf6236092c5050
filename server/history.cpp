#include "history.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "core/utf8.h"
#include "people.h"

namespace ger::server {

namespace {

std::atomic<bool> gRecording{true};

constexpr std::string_view kColumns =
    "DTHISTORICO, NMUSUARIO, NMESTACAOHISTORICO, NMTABELAHISTORICO, DSCHAVEHISTORICO, CDEMPRESA, "
    "IDOPERACAOHISTORICO, NMCOLUNAHISTORICO, DSANTESHISTORICO, DSDEPOISHISTORICO";
constexpr std::size_t kSeatSize = 64;
constexpr std::size_t kKeySize = 120;
// Rows of one change written by one statement.
constexpr std::size_t kBatch = 50;

// Only its last two digits: enough to tell two people apart in the history, not to know them.
std::string MaskedCpf(std::string_view cpf) {
  std::size_t digits = 0;
  for (char ch : cpf) digits += ch >= '0' && ch <= '9';
  std::string out;
  std::size_t seen = 0;
  for (char ch : cpf) {
    if (ch >= '0' && ch <= '9') {
      ++seen;
      out += seen + 2 > digits ? ch : '*';
    } else {
      out += ch;
    }
  }
  return out;
}

std::string Cut(std::string_view text, std::size_t size) {
  std::string out;
  for (unsigned char ch : text)
    if (ch >= 0x20 && ch != 0x7f) out += static_cast<char>(ch);
  return std::string(utf8::Left(out, size));
}

// The parameter names of the i-th row of one statement (C<i>, B<i>, A<i>), made once.
struct Names {
  std::string column, before, after;
};
const std::vector<Names>& RowNames() {
  static const std::vector<Names> names = [] {
    std::vector<Names> out;
    for (std::size_t i = 0; i < kBatch; ++i) {
      const std::string n = std::to_string(i);
      out.push_back({"C" + n, "B" + n, "A" + n});
    }
    return out;
  }();
  return names;
}

// The INSERT of `rows` rows of one change (1..kBatch). Each is the start of the longest one,
// made once: the same text finds the connection's prepared statement again.
std::string_view InsertSql(std::size_t rows) {
  struct Texts {
    std::string longest;
    std::vector<std::size_t> end;  // of the text of i rows
  };
  static const Texts texts = [] {
    Texts t;
    t.longest = "INSERT INTO HISTORICO (" + std::string(kColumns) + ") VALUES ";
    t.end.push_back(0);
    for (std::size_t i = 0; i < kBatch; ++i) {
      const std::string n = std::to_string(i);
      t.longest += i == 0 ? "(" : ",(";
      t.longest += ":P0,:P1,:P2,:P3,:P4,:P5,:P6,:C" + n + ",:B" + n + ",:A" + n + ")";
      t.end.push_back(t.longest.size());
    }
    return t;
  }();
  return std::string_view(texts.longest).substr(0, texts.end.at(rows));
}

}  // namespace

bool IsPeopleOrHistoryTable(std::string_view name) {
  return utf8::SameText(name, "USUARIO") || utf8::SameText(name, "HISTORICO");
}

void SetHistoryRecording(bool on) {
  gRecording = on;
}

bool HistoryRecording() {
  return gRecording;
}

std::string HistorySchemaSql(db::Engine engine) {
  const bool pg = engine == db::Engine::PostgreSQL;
  std::string sql = "CREATE TABLE IF NOT EXISTS HISTORICO (\n  NRHISTORICO ";
  sql += pg ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY";
  sql +=
      ",\n  DTHISTORICO VARCHAR(19) NOT NULL,\n"
      "  NMUSUARIO VARCHAR(40) NOT NULL,\n"
      "  NMESTACAOHISTORICO VARCHAR(64),\n"
      "  NMTABELAHISTORICO VARCHAR(30) NOT NULL,\n"
      "  DSCHAVEHISTORICO VARCHAR(120) NOT NULL,\n"
      "  CDEMPRESA VARCHAR(20),\n"
      "  IDOPERACAOHISTORICO VARCHAR(1) NOT NULL,\n"
      "  NMCOLUNAHISTORICO VARCHAR(30),\n"
      "  DSANTESHISTORICO TEXT,\n"
      "  DSDEPOISHISTORICO TEXT);\n"
      // The window reads one company's rows; a person's or a day's (ger-admin) are read whole.
      "CREATE INDEX IF NOT EXISTS IXHISTORICOEMPRESA ON HISTORICO (CDEMPRESA, NRHISTORICO);\n";
  if (!pg) {
    sql +=
        "CREATE TRIGGER IF NOT EXISTS HISTORICO_SEM_ALTERACAO BEFORE UPDATE ON HISTORICO BEGIN "
        "SELECT RAISE(ABORT, 'the change history only grows: its rows are not changed'); END;\n"
        "CREATE TRIGGER IF NOT EXISTS HISTORICO_SEM_EXCLUSAO BEFORE DELETE ON HISTORICO BEGIN "
        "SELECT RAISE(ABORT, 'the change history only grows: its rows are not removed'); END;\n";
    return sql;
  }
  // Made only when missing: servers starting together must not replace each other's.
  sql +=
      "CREATE OR REPLACE FUNCTION HISTORICO_SO_CRESCE() RETURNS trigger LANGUAGE plpgsql AS $$ "
      "BEGIN RAISE EXCEPTION 'the change history only grows: its rows are not changed nor "
      "removed'; END $$;\n"
      "DO $$ BEGIN\n"
      "  IF NOT EXISTS (SELECT 1 FROM pg_trigger WHERE tgname = 'historico_sem_alteracao' AND "
      "tgrelid = 'historico'::regclass) THEN\n"
      "    CREATE TRIGGER HISTORICO_SEM_ALTERACAO BEFORE UPDATE OR DELETE ON HISTORICO FOR EACH "
      "ROW EXECUTE FUNCTION HISTORICO_SO_CRESCE();\n"
      "  END IF;\n"
      "  IF NOT EXISTS (SELECT 1 FROM pg_trigger WHERE tgname = 'historico_sem_truncate' AND "
      "tgrelid = 'historico'::regclass) THEN\n"
      "    CREATE TRIGGER HISTORICO_SEM_TRUNCATE BEFORE TRUNCATE ON HISTORICO FOR EACH "
      "STATEMENT EXECUTE FUNCTION HISTORICO_SO_CRESCE();\n"
      "  END IF;\n"
      "END $$;\n";
  return sql;
}

std::string HistoryText(std::string_view column, const Value& value) {
  return std::visit(
      [&](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return {};
        } else if constexpr (std::is_same_v<T, std::string>) {
          if (column.find("CPF") != std::string_view::npos) return MaskedCpf(v);
          return v;
        } else if constexpr (std::is_same_v<T, double>) {
          char text[32];
          std::snprintf(text, sizeof text, "%.15g", v);
          return text;
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          return std::to_string(v);
        } else if constexpr (std::is_same_v<T, DateTime>) {
          return v.ToIso();
        } else {
          if (v.data.empty()) return {};
          return std::to_string(v.data.size()) + " bytes, SHA-256 " + Sha256Hex(v.data);
        }
      },
      value);
}

void RecordChange(db::Connection& c, std::string_view table, char operation, std::string_view key,
                  std::string_view company, const std::vector<ColumnChange>& columns) {
  if (!gRecording) return;
  const Caller& caller = CurrentCaller();
  const std::size_t rows = std::max<std::size_t>(columns.size(), 1);
  // The values every row of the change shares go once, as P0..P6.
  db::Params params = {{"P0", UtcNow()},
                       {"P1", caller.person},
                       {"P2", Cut(caller.seat, kSeatSize)},
                       {"P3", std::string(table)},
                       {"P4", Cut(key, kKeySize)},
                       {"P5", std::string(company)},
                       {"P6", std::string(1, operation)}};
  params.reserve(7 + 3 * std::min(rows, kBatch));
  for (std::size_t start = 0; start < rows; start += kBatch) {
    const std::size_t count = std::min(rows - start, kBatch);
    params.resize(7);
    for (std::size_t i = 0; i < count; ++i) {
      const Names& n = RowNames()[i];
      if (columns.empty()) {
        params.emplace_back(n.column, std::monostate{});
        params.emplace_back(n.before, std::monostate{});
        params.emplace_back(n.after, std::monostate{});
        continue;
      }
      const ColumnChange& ch = columns[start + i];
      params.emplace_back(n.column, ch.column);
      params.emplace_back(n.before, HistoryText(ch.column, ch.before));
      params.emplace_back(n.after, HistoryText(ch.column, ch.after));
    }
    c.Execute(InsertSql(count), params);
  }
}

DataPacket HistoryRows(db::Connection& c, const HistoryFilter& filter) {
  std::string sql = "SELECT " + std::string(kColumns) + " FROM HISTORICO WHERE 1 = 1";
  db::Params params;
  if (!filter.company.empty()) {
    sql += " AND CDEMPRESA = :EMPRESA";
    params.emplace_back("EMPRESA", filter.company);
  }
  if (!filter.person.empty()) {
    sql += " AND NMUSUARIO = :PESSOA";
    params.emplace_back("PESSOA", filter.person);
  }
  if (!filter.since.empty()) {
    auto date = DateTime::FromIso(filter.since);
    if (!date || filter.since.size() != 10)
      throw std::runtime_error("--since takes a date as YYYY-MM-DD, not '" + filter.since + "'");
    sql += " AND DTHISTORICO >= :DESDE";
    params.emplace_back("DESDE", filter.since);
  }
  sql += " ORDER BY NRHISTORICO DESC";
  return c.Query(sql, params);
}

std::string HistoryCsv(const DataPacket& rows) {
  auto field = [](std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char ch : text) {
      if (ch == '"') out += '"';
      out += ch;
    }
    return out + "\"";
  };
  std::string out = "when_utc,person,seat,table,key,company,operation,column,old,new\n";
  for (const Row& r : rows.rows) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      const auto* s = std::get_if<std::string>(&r[i]);
      if (i) out += ',';
      out += field(s ? *s : std::string());
    }
    out += '\n';
  }
  return out;
}

}  // namespace ger::server
