// PostgreSQL back-end through libpq: text parameters and results, statements prepared once per
// connection under generated names.
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include "core/utf8.h"
#include "data/packet.h"
#include "db/engines.h"
#include "db/stmt_cache.h"

namespace ger::db {
namespace {

// Type OIDs of the built-in types the schema uses (pg_type.h).
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25,
              kFloat4 = 700, kFloat8 = 701, kBpchar = 1042, kVarchar = 1043, kDate = 1082,
              kTimestamp = 1114, kTimestampTz = 1184, kNumeric = 1700;

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string ByteaDecode(std::string_view text) {
  std::string out;
  if (text.starts_with("\\x")) {
    out.reserve((text.size() - 2) / 2);
    for (std::size_t i = 2; i + 1 < text.size(); i += 2)
      out.push_back(static_cast<char>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1])));
  } else {
    out.assign(text);  // escape format is never configured by this layer
  }
  return out;
}

FieldDef FieldFromOid(std::string name, Oid type, int typmod) {
  FieldDef def;
  def.name = utf8::ToUpper(name);
  switch (type) {
    case kVarchar:
    case kBpchar:
      if (typmod > 4) {
        def.kind = FieldKind::String;
        def.size = typmod - 4;
      } else {
        def.kind = FieldKind::Memo;
      }
      break;
    case kInt2:
    case kInt4:
    case kInt8:
      def.kind = FieldKind::Integer;
      break;
    case kFloat4:
    case kFloat8:
    case kNumeric:
      def.kind = FieldKind::Float;
      break;
    case kDate:
    case kTimestamp:
    case kTimestampTz:
      def.kind = FieldKind::DateTime;
      break;
    case kBytea:
      def.kind = FieldKind::Blob;
      break;
    case kBool:
      def.kind = FieldKind::String;
      def.size = 1;
      break;
    default:
      def.kind = FieldKind::Memo;
      break;
  }
  return def;
}

std::optional<DateTime> ParsePgDate(std::string_view text) {
  // "2005-02-28 13:45:00.123456+00": milliseconds are all a DateTime keeps; the zone is dropped.
  std::string t(text);
  if (t.size() > 19) {
    std::size_t zone = t.find_first_of("+-", 19);
    if (zone != std::string::npos) t.resize(zone);
    if (auto dot = t.find('.', 19); dot != std::string::npos && t.size() > dot + 4)
      t.resize(dot + 4);
  }
  return DateTime::FromIso(t);
}

class PgConnection final : public Connection {
 public:
  PgConnection(std::string url, Access access) : url_(std::move(url)), access_(access) {
    conn_ = PQconnectdb(url_.c_str());
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::string msg = PQerrorMessage(conn_);
      PQfinish(conn_);
      conn_ = nullptr;
      throw DbError("cannot connect to PostgreSQL: " + Trimmed(msg));
    }
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    Setup();
  }
  ~PgConnection() override { PQfinish(conn_); }

  Engine GetEngine() const override { return Engine::PostgreSQL; }

  DataPacket Query(std::string_view sql, const Params& params) override {
    ResultPtr res = Run(sql, params);
    DataPacket packet;
    int columns = PQnfields(res.get());
    int rows = PQntuples(res.get());
    for (int c = 0; c < columns; ++c)
      packet.fields.push_back(
          FieldFromOid(PQfname(res.get(), c), PQftype(res.get(), c), PQfmod(res.get(), c)));
    packet.rows.reserve(rows);
    for (int r = 0; r < rows; ++r) {
      Row row;
      row.reserve(columns);
      for (int c = 0; c < columns; ++c) {
        if (PQgetisnull(res.get(), r, c)) {
          row.emplace_back(std::monostate{});
          continue;
        }
        std::string_view text(PQgetvalue(res.get(), r, c),
                              static_cast<std::size_t>(PQgetlength(res.get(), r, c)));
        row.push_back(Convert(text, PQftype(res.get(), c), packet.fields[c]));
      }
      packet.rows.push_back(std::move(row));
    }
    return packet;
  }

  // The result written straight to packet text: texts (nearly every cell of a list) go from the
  // result to the text without becoming values first.
  std::string QueryEncoded(std::string_view sql, const Params& params,
                           const std::function<void(std::vector<FieldDef>&)>& adjust) override {
    ResultPtr res = Run(sql, params);
    const int columns = PQnfields(res.get());
    const int rows = PQntuples(res.get());
    std::vector<FieldDef> fields;
    std::vector<Oid> types;
    for (int c = 0; c < columns; ++c) {
      types.push_back(PQftype(res.get(), c));
      fields.push_back(FieldFromOid(PQfname(res.get(), c), types.back(), PQfmod(res.get(), c)));
    }
    const std::vector<FieldDef> read = fields;  // the kinds the values are read as
    if (adjust) adjust(fields);
    std::size_t estimate = 0;
    for (int c = 0; rows > 0 && c < columns; ++c)
      estimate += static_cast<std::size_t>(PQgetlength(res.get(), 0, c)) + 8;
    codec::PacketWriter out(fields, estimate * static_cast<std::size_t>(rows) * 9 / 8);
    for (int r = 0; r < rows; ++r) {
      out.BeginRow();
      for (int c = 0; c < columns; ++c) {
        if (PQgetisnull(res.get(), r, c)) {
          out.Null();
          continue;
        }
        std::string_view text(PQgetvalue(res.get(), r, c),
                              static_cast<std::size_t>(PQgetlength(res.get(), r, c)));
        const FieldDef& f = read[static_cast<std::size_t>(c)];
        if ((f.kind == FieldKind::String || f.kind == FieldKind::Memo) && types[c] != kBool) {
          out.Text(text);
          continue;
        }
        out.Put(Convert(text, types[c], f));
      }
      out.EndRow();
    }
    return out.Finish();
  }

  std::int64_t Execute(std::string_view sql, const Params& params) override {
    ResultPtr res = Run(sql, params);
    const char* n = PQcmdTuples(res.get());
    return n && *n ? std::atoll(n) : 0;
  }

  void ExecuteScript(std::string_view sql) override {
    ResultPtr res(PQexec(conn_, std::string(sql).c_str()));
    Check(res.get(), sql);
  }

  void Begin() override {
    if (access_ == Access::ReadOnly)
      throw ReadOnlyError(
          "the PostgreSQL connection was opened for reading only: a change was "
          "refused");
    ExecuteScript("BEGIN");
  }
  void Commit() override { ExecuteScript("COMMIT"); }
  void Rollback() override { ExecuteScript("ROLLBACK"); }

  std::size_t CachedStatements() const override { return cache_.Size(); }
  bool ReadOnly() const override { return access_ == Access::ReadOnly; }

 private:
  struct Prepared {
    std::string name;
    std::vector<std::string> names;
  };

  // The session settings, again after a reconnect. A database in SQL_ASCII keeps the bytes older
  // programs stored (Windows-1252); PostgreSQL cannot convert them, so they come through as they
  // are and are read as Windows-1252 here.
  void Setup() {
    settingUp_ = true;
    struct Done {
      bool& flag;
      ~Done() { flag = false; }
    } done{settingUp_};
    const char* encoding = PQparameterStatus(conn_, "server_encoding");
    const bool bytes = encoding && std::string_view(encoding) == "SQL_ASCII";
    ExecuteScript(bytes ? "SET client_encoding = 'SQL_ASCII'; SET extra_float_digits = 3;"
                        : "SET client_encoding = 'UTF8'; SET extra_float_digits = 3;");
    // Also after a reconnect: every transaction of a reader is a read-only one.
    if (access_ == Access::ReadOnly) ExecuteScript("SET default_transaction_read_only = on");
  }

  static std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
  }

  void Check(PGresult* res, std::string_view sql) {
    ExecStatusType st = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK || st == PGRES_EMPTY_QUERY) return;
    std::string msg = Trimmed(res ? PQresultErrorMessage(res) : PQerrorMessage(conn_));
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    if (PQstatus(conn_) == CONNECTION_BAD) {
      // The server went away: reconnect for the next call; the prepared statements are gone.
      cache_.Clear();
      PQreset(conn_);
      if (PQstatus(conn_) == CONNECTION_OK && !settingUp_) {
        try {
          Setup();
        } catch (const DbError&) {
          // Reported by the next use of the connection.
        }
      }
      throw DbError("PostgreSQL connection lost: " + msg);
    }
    if (state && std::string_view(state) == "23505")
      throw ConstraintError(msg, ConstraintError::Kind::Unique);
    if (state && std::string_view(state) == "23502") {
      const char* table = PQresultErrorField(res, PG_DIAG_TABLE_NAME);
      const char* column = PQresultErrorField(res, PG_DIAG_COLUMN_NAME);
      throw ConstraintError(
          msg, ConstraintError::Kind::NotNull,
          column ? utf8::ToUpper(std::string(table ? table : "") + (table ? "." : "") + column)
                 : "");
    }
    if (state && std::string_view(state).starts_with("23")) throw ConstraintError(msg);
    throw DbError("PostgreSQL: " + msg + " (in: " + std::string(sql.substr(0, 200)) + ")");
  }

  const Prepared& Prepare(std::string_view sql) {
    if (const Prepared* cached = cache_.Find(sql)) return *cached;
    ParsedSql parsed = TranslateParams(sql, Engine::PostgreSQL);
    std::string name = "ger_" + std::to_string(++counter_);
    ResultPtr res(PQprepare(conn_, name.c_str(), parsed.text.c_str(), 0, nullptr));
    Check(res.get(), sql);
    Prepared* added = nullptr;
    auto evicted = cache_.Insert(std::string(sql), Prepared{name, std::move(parsed.names)}, &added);
    if (evicted) {
      // Outside a failed transaction this cannot fail; if it does, the statement only lingers
      // until the connection closes.
      std::string drop = "DEALLOCATE " + evicted->second.name;
      ResultPtr gone(PQexec(conn_, drop.c_str()));
    }
    return *added;
  }

  ResultPtr Run(std::string_view sql, const Params& params) {
    const Prepared& prepared = Prepare(sql);
    std::size_t n = prepared.names.size();
    // Texts are sent from where they are and pictures as their bytes (binary format), so that a
    // large value is not copied, or written out in hex at twice its size, before libpq's own copy.
    std::vector<std::string> texts(n);
    std::vector<const char*> values(n, nullptr);
    std::vector<int> lengths(n, 0), formats(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
      const Value& v = RequireParam(params, prepared.names[i], i);
      bool isNull = false;
      std::visit(
          [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
              isNull = true;
            } else if constexpr (std::is_same_v<T, std::string>) {
              if (x.find('\0') != std::string::npos)
                throw DbError("parameter :" + prepared.names[i] +
                              " holds a NUL character, which PostgreSQL text cannot store");
              values[i] = x.c_str();
            } else if constexpr (std::is_same_v<T, double>) {
              char buf[40];
              std::snprintf(buf, sizeof buf, "%.17g", x);
              texts[i] = buf;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
              texts[i] = std::to_string(x);
            } else if constexpr (std::is_same_v<T, DateTime>) {
              texts[i] = x.ToIso();
            } else {
              values[i] = x.data.data();
              lengths[i] = static_cast<int>(x.data.size());
              formats[i] = 1;
            }
          },
          v);
      if (isNull)
        values[i] = nullptr;
      else if (!values[i])
        values[i] = texts[i].c_str();
    }
    ResultPtr res(PQexecPrepared(conn_, prepared.name.c_str(), static_cast<int>(n), values.data(),
                                 lengths.data(), formats.data(), 0));
    Check(res.get(), sql);
    return res;
  }

  Value Convert(std::string_view text, Oid type, const FieldDef& field) {
    switch (field.kind) {
      case FieldKind::Integer:
        return static_cast<std::int64_t>(std::strtoll(text.data(), nullptr, 10));
      case FieldKind::Float:
        return std::strtod(text.data(), nullptr);
      case FieldKind::Blob:
        return Bytes{ByteaDecode(text)};
      case FieldKind::DateTime:
        if (auto dt = ParsePgDate(text)) return *dt;
        throw DbError("column " + field.name + " holds '" + std::string(text) +
                      "', which is not a date this layer reads");
      default:
        if (type == kBool) return std::string(text == "t" ? "S" : "N");
        return utf8::FromLegacy(text);
    }
  }

  std::string url_;
  PGconn* conn_ = nullptr;
  StatementCache<Prepared> cache_;
  unsigned counter_ = 0;
  bool settingUp_ = false;  // a reconnect inside Setup() does not set up again
  Access access_;
};

}  // namespace

std::unique_ptr<Connection> OpenPostgres(std::string_view url, Access access) {
  return std::make_unique<PgConnection>(std::string(url), access);
}

}  // namespace ger::db
