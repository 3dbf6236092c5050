// SQLite back-end: one file, WAL journal, statements cached per connection.
#include <sqlite3.h>

#include <filesystem>

#include "core/utf8.h"
#include "db/engines.h"
#include "db/stmt_cache.h"

namespace ger::db {
namespace {

std::string SqliteDateText(const DateTime& dt) {
  std::string text = dt.ToIso();
  if (auto t = text.find('T'); t != std::string::npos) text[t] = ' ';
  return text;
}

struct StmtDeleter {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

struct Prepared {
  StmtPtr stmt;
  std::vector<std::string> names;
  // The result's field list, worked out on the first query and kept: declared types do not
  // change for a prepared statement. Columns without one take their kind from the first row.
  bool described = false;
  std::vector<FieldDef> fields;
  std::vector<bool> undeclared;
  std::size_t lastEncodedSize = 0;
};

class SqliteConnection final : public Connection {
 public:
  explicit SqliteConnection(std::string path) : path_(std::move(path)) { OpenHandle(true); }
  ~SqliteConnection() override { CloseHandle(); }

  Engine GetEngine() const override { return Engine::SQLite; }

  DataPacket Query(std::string_view sql, const Params& params) override {
    EnsureFile();
    Prepared& prepared = Bind(sql, params);
    sqlite3_stmt* stmt = prepared.stmt.get();
    Resetter reset{stmt};
    const int columns = Describe(prepared);
    DataPacket packet;
    packet.fields = prepared.fields;
    bool first = true;
    for (;;) {
      int rc = sqlite3_step(stmt);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) Fail(rc, sql);
      if (first) {
        KindsFromFirstRow(prepared, packet.fields);
        first = false;
      }
      Row row;
      row.reserve(columns);
      for (int c = 0; c < columns; ++c) row.push_back(Read(stmt, c, packet.fields[c]));
      packet.rows.push_back(std::move(row));
    }
    return packet;
  }

  std::string QueryEncoded(std::string_view sql, const Params& params,
                           const std::function<void(std::vector<FieldDef>&)>& adjust) override {
    EnsureFile();
    Prepared& prepared = Bind(sql, params);
    sqlite3_stmt* stmt = prepared.stmt.get();
    Resetter reset{stmt};
    const int columns = Describe(prepared);
    std::vector<FieldDef> fields = prepared.fields;
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(rc, sql);
    if (rc == SQLITE_ROW) KindsFromFirstRow(prepared, fields);
    std::vector<FieldKind> kinds;
    for (const FieldDef& f : fields) kinds.push_back(f.kind);
    if (adjust) adjust(fields);
    // The last answer's size: a list read again is about as long as the last time.
    codec::PacketWriter out(fields, prepared.lastEncodedSize + prepared.lastEncodedSize / 16);
    for (; rc == SQLITE_ROW; rc = sqlite3_step(stmt)) {
      out.BeginRow();
      for (int c = 0; c < columns; ++c) Write(stmt, c, kinds[c], fields[c].name, out);
      out.EndRow();
    }
    if (rc != SQLITE_DONE) Fail(rc, sql);
    std::string text = out.Finish();
    prepared.lastEncodedSize = text.size();
    return text;
  }

  std::int64_t Execute(std::string_view sql, const Params& params) override {
    EnsureFile();
    sqlite3_stmt* stmt = Bind(sql, params).stmt.get();
    Resetter reset{stmt};
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) Fail(rc, sql);
    return sqlite3_changes64(db_);
  }

  void ExecuteScript(std::string_view sql) override {
    EnsureFile();
    std::string text(sql);
    char* err = nullptr;
    int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
      std::string msg = err ? err : sqlite3_errstr(rc);
      sqlite3_free(err);
      if ((rc & 0xff) == SQLITE_CONSTRAINT) throw ConstraintError(msg);
      throw DbError("SQLite script failed: " + msg);
    }
  }

  void Begin() override { Execute("BEGIN IMMEDIATE", {}); }
  void Commit() override { Execute("COMMIT", {}); }
  void Rollback() override {
    if (db_ && !sqlite3_get_autocommit(db_)) Execute("ROLLBACK", {});
  }

  std::size_t CachedStatements() const override { return cache_.Size(); }

 private:
  struct Resetter {
    sqlite3_stmt* stmt;
    ~Resetter() {
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);
    }
  };

  void OpenHandle(bool create) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      db_ = nullptr;
      throw DbError("cannot open SQLite database '" + path_ + "': " + msg);
    }
    sqlite3_busy_timeout(db_, 10000);
    sqlite3_extended_result_codes(db_, 1);
    // WAL lets readers run beside the writer; NORMAL syncs at checkpoints, so a commit survives
    // a killed process (not a power cut between checkpoints). Reads go through a memory map.
    const char* setup =
        "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; "
        "PRAGMA mmap_size=268435456; PRAGMA cache_size=-16000;";
    char* err = nullptr;
    rc = sqlite3_exec(db_, setup, nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
      std::string msg = err ? err : sqlite3_errstr(rc);
      sqlite3_free(err);
      CloseHandle();
      throw DbError("cannot open SQLite database '" + path_ + "': " + msg);
    }
    readOnly_ = sqlite3_db_readonly(db_, "main") == 1;
  }

  void CloseHandle() {
    cache_.Clear();  // statements before the handle
    sqlite3_close(db_);
    db_ = nullptr;
  }

  // A database file removed or replaced while open would take every later write into a file
  // no one will ever read again, each reported as a success. Between transactions the handle
  // checks that its path still names the file it has open; when it does not, the handle is
  // closed and the path opened again (never created: the schema would be missing), so the
  // service returns by itself once the file is back. A file that could only be opened for
  // reading (its writes fail with the database error) is opened again on each use until it can
  // be written.
  void EnsureFile() {
    if (db_) {
      if (!sqlite3_get_autocommit(db_)) return;  // inside a transaction: checked at its start
      if (!readOnly_) {
        int moved = 0;
        if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK ||
            !moved)
          return;
      }
      CloseHandle();
    }
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec))
      throw DbError("the SQLite database file '" + path_ + "' was removed or moved");
    OpenHandle(false);
  }

  // The statement's field list from the declared column types, worked out once.
  int Describe(Prepared& prepared) {
    sqlite3_stmt* stmt = prepared.stmt.get();
    const int columns = sqlite3_column_count(stmt);
    if (!prepared.described || !SameColumns(stmt, prepared.fields)) {
      prepared.fields.clear();
      prepared.undeclared.assign(columns, false);
      for (int c = 0; c < columns; ++c) {
        const char* decl = sqlite3_column_decltype(stmt, c);
        prepared.fields.push_back(
            FieldFromDeclType(sqlite3_column_name(stmt, c), decl ? decl : ""));
        prepared.undeclared[c] = decl == nullptr;
      }
      prepared.described = true;
    }
    return columns;
  }

  // Columns without a declared type (expressions) take the kind of the first row's value.
  static void KindsFromFirstRow(const Prepared& prepared, std::vector<FieldDef>& fields) {
    sqlite3_stmt* stmt = prepared.stmt.get();
    for (std::size_t c = 0; c < fields.size(); ++c) {
      if (!prepared.undeclared[c]) continue;
      switch (sqlite3_column_type(stmt, static_cast<int>(c))) {
        case SQLITE_INTEGER:
          fields[c].kind = FieldKind::Integer;
          break;
        case SQLITE_FLOAT:
          fields[c].kind = FieldKind::Float;
          break;
        case SQLITE_BLOB:
          fields[c].kind = FieldKind::Blob;
          break;
        default:
          break;
      }
    }
  }

  // One cell as Read() would take it, written straight to the packet text.
  static void Write(sqlite3_stmt* stmt, int c, FieldKind kind, const std::string& name,
                    codec::PacketWriter& out) {
    if (kind == FieldKind::String || kind == FieldKind::Memo) {
      // Nearly every cell: one call instead of asking the type first. No text is a null, unless
      // SQLite ran out of memory converting the value.
      const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
      if (!text) {
        if (sqlite3_errcode(sqlite3_db_handle(stmt)) == SQLITE_NOMEM)
          throw DbError("SQLite: out of memory reading column " + name);
        return out.Null();
      }
      return out.Text(
          std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, c))));
    }
    if (sqlite3_column_type(stmt, c) == SQLITE_NULL) return out.Null();
    switch (kind) {
      case FieldKind::Integer:
        return out.Integer(static_cast<std::int64_t>(sqlite3_column_int64(stmt, c)));
      case FieldKind::Float:
        return out.Float(sqlite3_column_double(stmt, c));
      case FieldKind::Blob: {
        const void* data = sqlite3_column_blob(stmt, c);
        int size = sqlite3_column_bytes(stmt, c);
        return out.Blob(
            std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size)));
      }
      case FieldKind::DateTime: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        if (auto dt = DateTime::FromIso(text ? text : "")) return out.Date(*dt);
        throw DbError("column " + name + " holds '" + std::string(text ? text : "") +
                      "', which is not a date");
      }
      default: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        int size = sqlite3_column_bytes(stmt, c);
        return out.Text(std::string_view(text ? text : "", static_cast<std::size_t>(size)));
      }
    }
  }

  // A schema change re-prepares a statement behind our back; its columns then differ.
  static bool SameColumns(sqlite3_stmt* stmt, const std::vector<FieldDef>& fields) {
    if (static_cast<int>(fields.size()) != sqlite3_column_count(stmt)) return false;
    for (int c = 0; c < static_cast<int>(fields.size()); ++c)
      if (sqlite3_stricmp(sqlite3_column_name(stmt, c), fields[c].name.c_str()) != 0) return false;
    return true;
  }

  [[noreturn]] void Fail(int rc, std::string_view sql) {
    std::string msg = sqlite3_errmsg(db_);
    if ((rc & 0xff) == SQLITE_CONSTRAINT) throw ConstraintError(msg);
    throw DbError("SQLite: " + msg + " (in: " + std::string(sql.substr(0, 200)) + ")");
  }

  Prepared& Prepare(std::string_view sql) {
    if (Prepared* cached = cache_.Find(sql)) return *cached;
    ParsedSql parsed = TranslateParams(sql, Engine::SQLite);
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v3(db_, parsed.text.c_str(), static_cast<int>(parsed.text.size()),
                                SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    if (rc != SQLITE_OK) Fail(rc, sql);
    if (!raw) throw DbError("SQLite: empty statement");
    Prepared* added = nullptr;
    // A dropped statement is finalised here; none is running, as calls do not nest.
    Prepared fresh;
    fresh.stmt.reset(raw);
    fresh.names = std::move(parsed.names);
    cache_.Insert(std::string(sql), std::move(fresh), &added);
    return *added;
  }

  Prepared& Bind(std::string_view sql, const Params& params) {
    Prepared& prepared = Prepare(sql);
    sqlite3_stmt* stmt = prepared.stmt.get();
    const auto& names = prepared.names;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const Value& v = RequireParam(params, names[i]);
      int index = static_cast<int>(i + 1);
      int rc = std::visit(
          [&](const auto& x) -> int {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
              return sqlite3_bind_null(stmt, index);
            } else if constexpr (std::is_same_v<T, std::string>) {
              return sqlite3_bind_text64(stmt, index, x.data(), x.size(), SQLITE_TRANSIENT,
                                         SQLITE_UTF8);
            } else if constexpr (std::is_same_v<T, double>) {
              return sqlite3_bind_double(stmt, index, x);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
              return sqlite3_bind_int64(stmt, index, x);
            } else if constexpr (std::is_same_v<T, DateTime>) {
              std::string text = SqliteDateText(x);
              return sqlite3_bind_text64(stmt, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                         SQLITE_UTF8);
            } else {
              return sqlite3_bind_blob64(stmt, index, x.data.data(), x.data.size(),
                                         SQLITE_TRANSIENT);
            }
          },
          v);
      if (rc != SQLITE_OK) {
        sqlite3_clear_bindings(stmt);
        Fail(rc, sql);
      }
    }
    return prepared;
  }

  Value Read(sqlite3_stmt* stmt, int c, const FieldDef& field) {
    int type = sqlite3_column_type(stmt, c);
    if (type == SQLITE_NULL) return std::monostate{};
    switch (field.kind) {
      case FieldKind::Integer:
        return static_cast<std::int64_t>(sqlite3_column_int64(stmt, c));
      case FieldKind::Float:
        return sqlite3_column_double(stmt, c);
      case FieldKind::Blob: {
        const void* data = sqlite3_column_blob(stmt, c);
        int size = sqlite3_column_bytes(stmt, c);
        return Bytes{std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))};
      }
      case FieldKind::DateTime: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        if (auto dt = DateTime::FromIso(text ? text : "")) return *dt;
        throw DbError("column " + field.name + " holds '" + std::string(text ? text : "") +
                      "', which is not a date");
      }
      default: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        int size = sqlite3_column_bytes(stmt, c);
        return utf8::FromLegacy(std::string_view(text ? text : "", static_cast<std::size_t>(size)));
      }
    }
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  bool readOnly_ = false;  // the file could only be opened for reading
  StatementCache<Prepared> cache_;
};

}  // namespace

std::unique_ptr<Connection> OpenSqlite(std::string_view path) {
  if (path.empty()) throw DbError("sqlite: URL without a file path");
  return std::make_unique<SqliteConnection>(std::string(path));
}

}  // namespace ger::db
