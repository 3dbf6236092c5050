#include "backup.h"

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "change_feed.h"
#include "contract/tables.h"
#include "core/utf8.h"
#include "data/packet.h"
#include "db/database.h"
#include "history.h"
#include "schema.h"

extern char** environ;

namespace fs = std::filesystem;

namespace ger::server {
namespace {

[[noreturn]] void Fail(const std::string& sentence) {
  throw std::runtime_error(sentence);
}

bool IsSqliteUrl(const std::string& url) {
  return url.starts_with("sqlite:");
}
bool IsPgUrl(const std::string& url) {
  return url.starts_with("postgresql://") || url.starts_with("postgres://");
}
fs::path SqlitePath(const std::string& url) {
  fs::path p = url.substr(7);
  if (p.empty()) Fail("the database URL '" + url + "' names no file");
  return p;
}

// A backup file says what it is in its first bytes.
enum class FileKind { SQLite, PgDump, Other };
FileKind KindOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) Fail("the backup file " + file.string() + " cannot be read");
  char head[16] = {};
  in.read(head, sizeof head);
  if (in.gcount() == 16 && std::memcmp(head, "SQLite format 3", 16) == 0) return FileKind::SQLite;
  if (in.gcount() >= 5 && std::memcmp(head, "PGDMP", 5) == 0) return FileKind::PgDump;
  return FileKind::Other;
}

// The sqlite3 handle is used directly here: VACUUM INTO, the backup interface and an immutable
// read-only open of a file that is not a live database are beyond the project's database layer.
struct SqliteHandle {
  sqlite3* db = nullptr;
  SqliteHandle(const std::string& name, int flags) {
    int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
      std::string why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
      sqlite3_close(db);
      db = nullptr;
      Fail("cannot open " + name + ": " + why);
    }
    sqlite3_busy_timeout(db, 10000);
  }
  ~SqliteHandle() { sqlite3_close_v2(db); }
  SqliteHandle(const SqliteHandle&) = delete;
  SqliteHandle& operator=(const SqliteHandle&) = delete;

  // The first column of each row.
  std::vector<std::string> Column(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
      Fail(std::string("SQLite: ") + sqlite3_errmsg(db));
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> guard(st, sqlite3_finalize);
    std::vector<std::string> out;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      auto text = sqlite3_column_text(st, 0);
      out.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    if (rc != SQLITE_DONE) Fail(std::string("SQLite: ") + sqlite3_errmsg(db));
    return out;
  }
  // Every column of each row, as text ("" for NULL); `binds` fill ?1, ?2...
  std::vector<std::vector<std::string>> Rows(const std::string& sql,
                                             const std::vector<std::string>& binds = {}) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
      Fail(std::string("SQLite: ") + sqlite3_errmsg(db));
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> guard(st, sqlite3_finalize);
    for (std::size_t i = 0; i < binds.size(); ++i)
      sqlite3_bind_text(st, static_cast<int>(i + 1), binds[i].c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::vector<std::string>> out;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        auto text = sqlite3_column_text(st, c);
        row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
      }
      out.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) Fail(std::string("SQLite: ") + sqlite3_errmsg(db));
    return out;
  }
  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string why = error ? error : sqlite3_errmsg(db);
      sqlite3_free(error);
      Fail("SQLite: " + why);
    }
  }
};

std::string Lower(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void CheckIntegrity(SqliteHandle& h, const fs::path& file) {
  std::vector<std::string> check = h.Column("PRAGMA integrity_check");
  if (check.empty() || check.front() != "ok")
    Fail(file.string() + " is damaged (" +
         (check.empty() ? std::string("no answer") : check.front()) + ")");
}

void SyncFile(const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    if (fd >= 0) ::close(fd);
    Fail("cannot write " + path.string() + " to disk: " + std::strerror(errno));
  }
  ::close(fd);
}

// Puts a finished file under its final name, durably.
void Publish(const fs::path& partial, const fs::path& file) {
  SyncFile(partial);
  std::error_code ec;
  fs::rename(partial, file, ec);
  if (ec) Fail("cannot rename " + partial.string() + " to " + file.string() + ": " + ec.message());
  fs::path dir = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  SyncFile(dir);
}

fs::path PartialOf(const fs::path& file) {
  return file.string() + ".partial";
}

// The files SQLite and the database layer keep beside a database file.
void RemoveCompanions(const fs::path& path) {
  std::error_code ec;
  for (const char* suffix : {"-journal", "-wal", "-shm", db::kSqliteOwnerSuffix})
    fs::remove(path.string() + suffix, ec);
}

// Removes a half-written file unless the work finished.
struct PartialFile {
  fs::path path;
  bool keep = false;
  explicit PartialFile(fs::path p) : path(std::move(p)) {
    std::error_code ec;
    fs::remove(path, ec);
  }
  ~PartialFile() {
    if (keep) return;
    std::error_code ec;
    fs::remove(path, ec);
    RemoveCompanions(path);
  }
};

void BackupSqlite(const fs::path& db, const fs::path& file) {
  if (!fs::exists(db)) Fail("the database file " + db.string() + " does not exist");
  // Closing the last handle would replay a journal of a replaced file onto this one.
  db::RequireOwnSqliteJournal(db.string());
  PartialFile partial(PartialOf(file));
  {
    SqliteHandle source(db.string(), SQLITE_OPEN_READWRITE);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(source.db, "VACUUM INTO ?1", -1, &st, nullptr) != SQLITE_OK)
      Fail(std::string("SQLite: ") + sqlite3_errmsg(source.db));
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> guard(st, sqlite3_finalize);
    sqlite3_bind_text(st, 1, partial.path.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_DONE)
      Fail("the backup of " + db.string() + " failed: " + sqlite3_errmsg(source.db));
  }
  {
    // One self-contained file (no write-ahead log beside it), checked before it is published.
    SqliteHandle copy(partial.path.string(), SQLITE_OPEN_READWRITE);
    copy.Exec("PRAGMA journal_mode=DELETE");
    CheckIntegrity(copy, partial.path);
  }
  Publish(partial.path, file);
  partial.keep = true;
}

// A name as an SQL identifier, for names read from a backup's own catalogue.
std::string Quoted(std::string_view name) {
  std::string out = "\"";
  for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

const char* kNothingRestored = "; nothing was restored";

// What a restore takes from a backup: the declared columns of each declared table, row by row,
// in the order of the declaration. Whatever else the backup holds (triggers, views, functions,
// indexes, other tables) is never brought into the database; `notes` says what was left out.
class BackupRows {
 public:
  virtual ~BackupRows() = default;
  virtual void Read(const record::Table& table, const std::function<void(Row&&)>& take) = 0;
  std::vector<std::string> notes;
};

// A column of a declared table that the backup holds and this version does not declare: a
// backup of a newer version, refused when the column cannot be empty or holds data that would
// be lost.
void CheckExtraColumn(const fs::path& file, const record::Table& table, const std::string& column,
                      bool notNull, std::vector<std::string>& notes) {
  if (notNull)
    Fail(file.string() + " is a backup of a newer version: its table " + std::string(table.name) +
         " has a column " + column + " that cannot be empty and that this version does not know" +
         kNothingRestored);
  notes.push_back("left out the column " + std::string(table.name) + "." + column +
                  ", which this version does not know");
}

void RefuseDataInExtraColumn(const fs::path& file, const record::Table& table,
                             const std::string& column) {
  Fail(file.string() + " is a backup of a newer version: its column " + std::string(table.name) +
       "." + column + " holds data this version does not keep" + kNothingRestored);
}

// A text longer than its column is refused as PostgreSQL refuses it, on both engines.
void RequireFits(const fs::path& file, const record::Table& table, const Row& row) {
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const record::Column& c = table.columns[i];
    const auto* text = std::get_if<std::string>(&row[i]);
    if (c.kind != FieldKind::String || !text) continue;
    if (std::size_t n = utf8::Length(*text); n > static_cast<std::size_t>(c.size))
      Fail(file.string() + ": a value of column " + std::string(table.name) + "." +
           std::string(c.name) + " has " + std::to_string(n) + " characters, more than its " +
           std::to_string(c.size) + kNothingRestored);
  }
}

// Rows of one table inserted many at a time: one statement, and on PostgreSQL one round trip,
// for up to kRows rows, kParams values or kBytes of texts and pictures, whichever comes first.
class RowBatch {
 public:
  RowBatch(db::Connection& target, const record::Table& table, const fs::path& file)
      : target_(target), table_(table), file_(file) {
    head_ = "INSERT INTO " + std::string(table.name) + " (";
    for (std::size_t i = 0; i < table.columns.size(); ++i)
      head_ += (i ? ", " : "") + std::string(table.columns[i].name);
    head_ += ") VALUES ";
    maxRows_ =
        std::clamp<std::size_t>(kParams / std::max<std::size_t>(table.columns.size(), 1), 1, kRows);
  }

  void Add(Row&& row) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (const auto* text = std::get_if<std::string>(&row[c])) bytes_ += text->size();
      if (const auto* picture = std::get_if<Bytes>(&row[c])) bytes_ += picture->data.size();
      params_.emplace_back(Name(rows_, c), std::move(row[c]));
    }
    if (++rows_ == maxRows_ || bytes_ >= kBytes) Flush();
  }

  void Flush() {
    if (rows_ == 0) return;
    std::string sql = head_;
    const std::size_t width = table_.columns.size();
    for (std::size_t r = 0; r < rows_; ++r) {
      sql += r ? ", (" : "(";
      for (std::size_t c = 0; c < width; ++c) sql += (c ? ", :" : ":") + Name(r, c);
      sql += ')';
    }
    try {
      target_.Execute(sql, params_);
    } catch (const db::ConstraintError& e) {
      Fail(file_.string() + ": a row of table " + std::string(table_.name) +
           " is refused by the declared table (" + e.what() + ")" + kNothingRestored);
    }
    params_.clear();
    rows_ = bytes_ = 0;
  }

 private:
  static constexpr std::size_t kRows = 500, kParams = 250, kBytes = std::size_t{8} << 20;
  static std::string Name(std::size_t row, std::size_t column) {
    return "R" + std::to_string(row) + "C" + std::to_string(column);
  }
  db::Connection& target_;
  const record::Table& table_;
  const fs::path& file_;
  std::string head_;
  std::size_t maxRows_ = 1, rows_ = 0, bytes_ = 0;
  db::Params params_;
};

// Puts the backup's rows into `target` in one transaction: the declared tables are dropped with
// whatever hangs on them and made again from the declaration, then filled.
void LoadRows(db::Connection& target, BackupRows& backup, const fs::path& file) {
  db::Transaction tx(target);
  if (target.GetEngine() == db::Engine::SQLite) {
    // Triggers, views and indexes an earlier restore or another program left go too.
    for (const Row& r :
         target
             .Query(
                 "SELECT type, name FROM sqlite_master WHERE type IN ('trigger', 'view', 'index') "
                 "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'")
             .rows) {
      const std::string type = std::get<std::string>(r[0]);
      std::string what = type == "trigger" ? "TRIGGER" : type == "view" ? "VIEW" : "INDEX";
      target.Execute("DROP " + what + " IF EXISTS " + Quoted(std::get<std::string>(r[1])));
    }
    for (const record::Table* table : record::ServerTables())
      target.Execute("DROP TABLE IF EXISTS " + std::string(table->name));
  } else {
    for (const record::Table* table : record::ServerTables())
      target.Execute("DROP TABLE IF EXISTS " + std::string(table->name) + " CASCADE");
  }
  target.ExecuteScript(SchemaSql(target.GetEngine()));
  // The history's triggers went with the others above; it only grows again from here.
  target.ExecuteScript(HistorySchemaSql(target.GetEngine()));
  for (const record::Table* table : record::ServerTables()) {
    RowBatch batch(target, *table, file);
    backup.Read(*table, [&](Row&& row) {
      RequireFits(file, *table, row);
      batch.Add(std::move(row));
    });
    batch.Flush();
  }
  // Made after the rows: the restored rows are no changes to number.
  target.ExecuteScript(ChangeTriggerSql(target.GetEngine()));
  // The restored logos' stored sizes and digests, checked against their bytes.
  PrepareChangeFeed(target);
  tx.Commit();
}

// An SQLite backup, opened as an immutable file that is read, never written, and whose schema is
// not trusted: nothing in it runs but the reading of the declared tables.
class SqliteBackupRows final : public BackupRows {
 public:
  explicit SqliteBackupRows(const fs::path& file)
      : file_(file), h_(ImmutableUri(file), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI) {
    sqlite3_db_config(h_.db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(h_.db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    try {
      Check();
    } catch (const std::runtime_error& e) {
      Fail(std::string(e.what()) + kNothingRestored);
    }
  }

  void Read(const record::Table& table, const std::function<void(Row&&)>& take) override {
    auto kept = tables_.find(std::string(table.name));
    if (kept == tables_.end()) return;  // a table the server rebuilds, absent from older backups
    const Found& found = kept->second;
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < table.columns.size(); ++i)
      sql += (i ? ", " : "") + Quoted(table.columns[i].name);
    sql += " FROM " + Quoted(found.name);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h_.db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
      Fail(file_.string() + ": " + sqlite3_errmsg(h_.db) + kNothingRestored);
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> guard(st, sqlite3_finalize);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      Row row;
      row.reserve(table.columns.size());
      for (int c = 0; c < static_cast<int>(table.columns.size()); ++c) {
        switch (sqlite3_column_type(st, c)) {
          case SQLITE_NULL:
            row.emplace_back();
            break;
          case SQLITE_INTEGER:
            row.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(st, c)));
            break;
          case SQLITE_FLOAT:
            row.emplace_back(sqlite3_column_double(st, c));
            break;
          case SQLITE_BLOB: {
            auto p = static_cast<const char*>(sqlite3_column_blob(st, c));
            row.emplace_back(Bytes{std::string(p, p + sqlite3_column_bytes(st, c))});
            break;
          }
          default:
            row.emplace_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                         static_cast<std::size_t>(sqlite3_column_bytes(st, c))));
        }
      }
      take(std::move(row));
    }
    if (rc != SQLITE_DONE) Fail(file_.string() + ": " + sqlite3_errmsg(h_.db) + kNothingRestored);
  }

 private:
  struct Found {
    std::string name;
  };

  static std::string ImmutableUri(const fs::path& file) {
    std::string uri = "file:";
    for (char c : fs::absolute(file).string()) {
      if (c == '?' || c == '#' || c == '%') {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
        uri += hex;
      } else {
        uri += c;
      }
    }
    return uri + "?immutable=1";
  }

  // Refuses a file that is damaged, lacks a declared table or column, or is a newer version's;
  // notes what it holds besides.
  void Check() {
    CheckIntegrity(h_, file_);
    const std::string notThis = file_.string() + " is not a backup of this database: ";
    std::vector<std::vector<std::string>> objects =
        h_.Rows("SELECT type, name, tbl_name, COALESCE(sql, '') FROM sqlite_master");
    std::set<std::string> declaredIndexes;
    for (const record::Table* table : record::ServerTables())
      for (const record::Index& index : table->indexes) declaredIndexes.insert(Lower(index.name));
    for (const record::Table* table : record::ServerTables()) {
      const std::vector<std::string>* entry = nullptr;
      for (const auto& o : objects)
        if (utf8::SameText(o[1], table->name)) entry = &o;
      if (!entry && RebuiltWhenMissing(table->name)) continue;
      if (!entry) Fail(notThis + "it has no table " + std::string(table->name));
      if ((*entry)[0] != "table" || Lower((*entry)[3]).starts_with("create virtual"))
        Fail(notThis + "its " + std::string(table->name) + " is a " + (*entry)[0] +
             ", not a table");
      tables_[std::string(table->name)] = Found{(*entry)[1]};
      std::set<std::string> declared;
      for (const record::Column& c : table->columns) declared.insert(Lower(c.name));
      std::set<std::string> present;
      for (const auto& c :
           h_.Rows("SELECT name, \"notnull\", hidden FROM pragma_table_xinfo(?1)", {(*entry)[1]})) {
        present.insert(Lower(c[0]));
        if (declared.count(Lower(c[0]))) {
          if (c[2] != "0")
            Fail(notThis + "its column " + std::string(table->name) + "." + c[0] +
                 " is computed, not stored");
          continue;
        }
        CheckExtraColumn(file_, *table, c[0], c[1] == "1", notes);
        if (!h_.Column("SELECT 1 FROM " + Quoted((*entry)[1]) + " WHERE " + Quoted(c[0]) +
                       " IS NOT NULL LIMIT 1")
                 .empty())
          RefuseDataInExtraColumn(file_, *table, c[0]);
      }
      for (const record::Column& c : table->columns)
        if (!present.count(Lower(c.name)))
          Fail(notThis + "table " + std::string(table->name) + " has no column " +
               std::string(c.name));
    }
    for (const auto& o : objects) {
      const bool ownTable = o[0] == "table" && tables_.count(utf8::ToUpper(o[1]));
      const bool ownIndex = o[0] == "index" && (declaredIndexes.count(Lower(o[1])) ||
                                                Lower(o[1]).starts_with("sqlite_autoindex"));
      if (ownTable || ownIndex || Lower(o[1]).starts_with("sqlite_")) continue;
      notes.push_back("left out the " + o[0] + " " + o[1] + " (only the rows of the tables are " +
                      "restored)");
    }
  }

  fs::path file_;
  SqliteHandle h_;
  std::map<std::string, Found> tables_;
};

// The database to restore into must be this project's, or empty: never a link to another file,
// nor another program's database.
void RequireOwnSqliteTarget(const fs::path& db) {
  if (fs::is_symlink(db))
    Fail(db.string() + " is a symbolic link; restore into the database file itself or a new " +
         "file" + kNothingRestored);
  if (!fs::exists(db)) return;
  if (!fs::is_regular_file(db)) Fail(db.string() + " is not a file" + kNothingRestored);
  if (fs::file_size(db) == 0) return;
  if (KindOf(db) != FileKind::SQLite)
    Fail(db.string() + " is not a database of this system" + kNothingRestored);
  db::RequireOwnSqliteJournal(db.string());
  SqliteHandle h(db.string(), SQLITE_OPEN_READONLY);
  for (const std::string& name :
       h.Column("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                "'sqlite\\_%' ESCAPE '\\'")) {
    const auto tables = record::ServerTables();
    if (!IsPeopleOrHistoryTable(name) &&
        std::none_of(tables.begin(), tables.end(),
                     [&](const record::Table* t) { return utf8::SameText(t->name, name); }))
      Fail(db.string() + " is another program's database (it holds a table " + name +
           " this system does not have)" + kNothingRestored);
  }
}

std::vector<std::string> RestoreSqlite(const fs::path& db, const fs::path& file) {
  SqliteBackupRows source(file);
  RequireOwnSqliteTarget(db);
  if (!fs::exists(db)) {
    PartialFile partial(PartialOf(db));
    {
      auto dest = db::Connection::Open("sqlite:" + partial.path.string());
      LoadRows(*dest, source, file);
    }
    {
      // One self-contained file, without a write-ahead log beside it.
      SqliteHandle dest(partial.path.string(), SQLITE_OPEN_READWRITE);
      dest.Exec("PRAGMA journal_mode=DELETE");
    }
    Publish(partial.path, db);
    partial.keep = true;
    RemoveCompanions(partial.path);
    return source.notes;
  }
  // In place, so a server that has the file open keeps serving it and sees the restored rows.
  auto dest = db::Connection::Open("sqlite:" + db.string());
  LoadRows(*dest, source, file);
  return source.notes;
}

void RequirePgTool(const ProgramResult& r, const std::string& what) {
  if (r.status == 0) return;
  std::string out = r.output;
  while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back()))) out.pop_back();
  Fail(what + (out.empty() ? std::string(" (the program could not be run)") : ": " + out));
}

// pg_dump and pg_restore with the connection string given to them; a password in it goes through
// the environment instead, out of the process list every local user can read.
ProgramResult RunPgTool(std::vector<std::string> argv, const std::string& url) {
  std::string bare = url;
  std::vector<std::string> env;
  const auto scheme = url.find("://");
  const auto at = url.find('@', scheme + 3);
  const auto colon = url.find(':', scheme + 3);
  if (scheme != std::string::npos && at != std::string::npos && colon < at) {
    std::string password;
    for (std::size_t i = colon + 1; i < at; ++i) {
      if (url[i] == '%' && i + 2 < at) {
        password += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        password += url[i];
      }
    }
    bare = url.substr(0, colon) + url.substr(at);
    env.push_back("PGPASSWORD=" + password);
  }
  argv.push_back("--dbname=" + bare);
  return RunProgram(argv, env);
}

void BackupPg(const std::string& url, const fs::path& file) {
  PartialFile partial(PartialOf(file));
  ProgramResult r = RunPgTool({"pg_dump", "--format=custom", "--no-owner", "--no-privileges",
                               "--file=" + partial.path.string()},
                              url);
  RequirePgTool(r, "pg_dump failed");
  Publish(partial.path, file);
  partial.keep = true;
}

// One field of a COPY text line, its escapes undone.
std::string CopyUnescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    char c = field[i];
    if (c != '\\' || i + 1 == field.size()) {
      out += c;
      continue;
    }
    char n = field[++i];
    switch (n) {
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'v':
        out += '\v';
        break;
      case 'x': {
        int value = 0, digits = 0;
        while (digits < 2 && i + 1 < field.size() &&
               std::isxdigit(static_cast<unsigned char>(field[i + 1]))) {
          value = value * 16 + std::stoi(std::string(1, field[++i]), nullptr, 16);
          ++digits;
        }
        out += static_cast<char>(value);
        break;
      }
      default:
        if (n >= '0' && n <= '7') {
          int value = n - '0';
          for (int d = 0;
               d < 2 && i + 1 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '7'; ++d)
            value = value * 8 + (field[++i] - '0');
          out += static_cast<char>(value);
        } else {
          out += n;
        }
    }
  }
  return out;
}

std::vector<std::string> SplitOn(std::string_view text, char separator) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(separator, from)) != std::string_view::npos; from = at + 1)
    out.emplace_back(text.substr(from, at - from));
  out.emplace_back(text.substr(from));
  return out;
}

std::string Unquoted(std::string name) {
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front()))) name.erase(0, 1);
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    std::string out;
    for (std::size_t i = 1; i + 1 < name.size(); ++i) {
      out += name[i];
      if (name[i] == '"') ++i;
    }
    return out;
  }
  return Lower(name);
}

// A pg_dump archive, read with pg_restore's help as text only: its table of contents, its
// tables' definitions (to know their columns) and their COPY data. Nothing of it is ever run
// against a database.
class PgBackupRows final : public BackupRows {
 public:
  explicit PgBackupRows(const fs::path& file) : file_(file) {
    ProgramResult list = RunProgram({"pg_restore", "--list", file.string()});
    RequirePgTool(list, file.string() + " is not a readable PostgreSQL backup");
    std::set<std::string> declaredIndexes;
    for (const record::Table* table : record::ServerTables())
      for (const record::Index& index : table->indexes) declaredIndexes.insert(Lower(index.name));
    // Lines of the table of contents read "ID; OID OID KIND schema name owner" (a KIND may be
    // two words).
    std::istringstream lines(list.output);
    for (std::string line; std::getline(lines, line);) {
      if (line.empty() || line[0] == ';') continue;
      std::istringstream words(line);
      std::vector<std::string> w;
      for (std::string x; words >> x;) w.push_back(x);
      if (w.size() < 6) continue;
      const std::vector<std::string> rest(w.begin() + 3, w.end());
      const std::string& kind = rest[0];
      const bool data = kind == "TABLE" && rest.size() >= 5 && rest[1] == "DATA";
      if (kind == "TABLE" && !data) {
        tables_[Lower(rest[2])].push_back(rest[1]);
        continue;
      }
      if (data && Declared(rest[3])) continue;
      if (kind == "SCHEMA" || kind == "COMMENT" || kind == "ACL" || kind == "ENCODING" ||
          kind == "STDSTRINGS" || kind == "SEARCHPATH" || kind == "DATABASE")
        continue;
      if (kind == "CONSTRAINT" && rest.size() >= 4 && Lower(rest[3]).ends_with("_pkey") &&
          Declared(rest[2]))
        continue;
      if (kind == "INDEX" && rest.size() >= 3 && declaredIndexes.count(Lower(rest[2]))) continue;
      std::string what;
      for (std::size_t i = 0; i + 1 < rest.size(); ++i) what += (i ? " " : "") + rest[i];
      notes.push_back("left out " + what + " (only the rows of the tables are restored)");
    }
    for (const auto& [name, schemas] : tables_)
      if (!Declared(name))
        notes.push_back("left out the table " + schemas.front() + "." + name +
                        " (this system has no such table)");
    const std::string notThis = file.string() + " is not a backup of this database: ";
    for (const record::Table* table : record::ServerTables()) {
      auto it = tables_.find(Lower(std::string(table->name)));
      if (it == tables_.end() && RebuiltWhenMissing(table->name)) continue;
      if (it == tables_.end())
        Fail(notThis + "it has no table " + std::string(table->name) + kNothingRestored);
      if (it->second.size() != 1)
        Fail(notThis + "it has a table " + std::string(table->name) + " in " +
             std::to_string(it->second.size()) + " schemas" + kNothingRestored);
    }
    ReadDefinitions();
  }

  void Read(const record::Table& table, const std::function<void(Row&&)>& take) override {
    if (!dataRead_) ReadData();
    auto section = data_.find(Lower(std::string(table.name)));
    if (section == data_.end()) return;  // a table without rows
    std::string_view lines = section->second, line;
    NextLine(lines, line);
    std::vector<std::string> columns;
    std::size_t nameEnd = 0;
    LastName(line.substr(5), nameEnd);
    const std::string_view rest = line.substr(5 + nameEnd);
    constexpr std::string_view kTail = ") FROM stdin;";
    if (!rest.starts_with(" (") || !rest.ends_with(kTail))
      Fail(file_.string() + ": cannot read the data of table " + std::string(table.name) +
           kNothingRestored);
    for (const std::string& c : SplitOn(rest.substr(2, rest.size() - 2 - kTail.size()), ','))
      columns.push_back(Unquoted(c));
    std::vector<int> at;
    for (const record::Column& c : table.columns) {
      auto it = std::find(columns.begin(), columns.end(), Lower(std::string(c.name)));
      if (it == columns.end())
        Fail(file_.string() + " is not a backup of this database: table " +
             std::string(table.name) + " has no column " + std::string(c.name) + kNothingRestored);
      at.push_back(static_cast<int>(it - columns.begin()));
    }
    while (NextLine(lines, line)) {
      std::vector<std::string> fields = SplitOn(line, '\t');
      if (fields.size() != columns.size())
        Fail(file_.string() + ": a row of table " + std::string(table.name) + " has " +
             std::to_string(fields.size()) + " fields, not " + std::to_string(columns.size()) +
             kNothingRestored);
      for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i] != "\\N" && std::find(at.begin(), at.end(), static_cast<int>(i)) == at.end())
          RefuseDataInExtraColumn(file_, table, columns[i]);
      Row row;
      row.reserve(at.size());
      for (std::size_t c = 0; c < at.size(); ++c) {
        const std::string& field = fields[static_cast<std::size_t>(at[c])];
        if (field == "\\N") {
          row.emplace_back();
        } else if (table.columns[c].kind == FieldKind::Blob) {
          row.emplace_back(ByteaFromCopy(table, CopyUnescape(field)));
        } else {
          row.emplace_back(CopyUnescape(field));
        }
      }
      take(std::move(row));
    }
  }

 private:
  static bool Declared(std::string_view name) {
    const auto tables = record::ServerTables();
    return std::any_of(tables.begin(), tables.end(),
                       [&](const record::Table* t) { return utf8::SameText(t->name, name); });
  }

  Bytes ByteaFromCopy(const record::Table& table, const std::string& text) const {
    auto digit = [](char c) {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    if (!text.starts_with("\\x") || text.size() % 2 != 0)
      Fail(file_.string() + ": a picture of table " + std::string(table.name) +
           " is not in the hex form" + kNothingRestored);
    Bytes out;
    out.data.reserve(text.size() / 2 - 1);
    for (std::size_t i = 2; i < text.size(); i += 2) {
      const int high = digit(text[i]), low = digit(text[i + 1]);
      if (high < 0 || low < 0)
        Fail(file_.string() + ": a picture of table " + std::string(table.name) +
             " is not in the hex form" + kNothingRestored);
      out.data.push_back(static_cast<char>(high * 16 + low));
    }
    return out;
  }

  // pg_restore, reading the archive as text, for the declared tables only: one run for all of
  // them, as each run costs about as much as reading a small database's rows.
  ProgramResult ReadAsText(const std::string& part) const {
    std::vector<std::string> argv = {"pg_restore", part, "--file=-"};
    std::set<std::string> schemas;
    for (const record::Table* table : record::ServerTables()) {
      const std::string name = Lower(std::string(table->name));
      auto found = tables_.find(name);
      if (found == tables_.end()) continue;  // rebuilt by the server, absent from older backups
      schemas.insert(found->second.front());
      argv.push_back("--table=" + name);
    }
    // Each declared table is in one schema (checked): the other schemas have none of them.
    for (const std::string& schema : schemas) argv.push_back("--schema=" + schema);
    argv.push_back(file_.string());
    ProgramResult r = RunProgram(argv);
    RequirePgTool(r, file_.string() + " cannot be read");
    return r;
  }

  // The tables' definitions in the archive, read as text: every declared column must be there,
  // and a column this version does not know must be one that may stay empty.
  void ReadDefinitions() {
    const ProgramResult r = ReadAsText("--schema-only");
    std::map<std::string, std::set<std::string>> present;  // table: its columns
    std::set<std::string>* columns = nullptr;
    const record::Table* table = nullptr;
    std::string_view lines = r.output, line;
    while (NextLine(lines, line)) {
      if (!columns) {
        if (line.starts_with("CREATE TABLE ") && line.ends_with("(")) {
          std::size_t end = 0;
          const std::string name = LastName(line.substr(13), end);
          columns = &present[name];
          table = nullptr;
          for (const record::Table* t : record::ServerTables())
            if (Lower(std::string(t->name)) == name) table = t;
        }
        continue;
      }
      if (line.starts_with(")")) {
        columns = nullptr;
        continue;
      }
      std::string text(line);
      while (!text.empty() &&
             (text.back() == ',' || std::isspace(static_cast<unsigned char>(text.back()))))
        text.pop_back();
      std::size_t start = text.find_first_not_of(' ');
      if (start == std::string::npos) continue;
      text.erase(0, start);
      if (text.starts_with("CONSTRAINT ")) continue;
      std::size_t end = 0;
      const std::string name = LastName(text, end);
      columns->insert(name);
      if (table && !table->Find(name))
        CheckExtraColumn(file_, *table, name, text.find(" NOT NULL") != std::string::npos, notes);
    }
    for (const record::Table* t : record::ServerTables()) {
      if (RebuiltWhenMissing(t->name) && !tables_.count(Lower(std::string(t->name)))) continue;
      const std::set<std::string>& found = present[Lower(std::string(t->name))];
      for (const record::Column& c : t->columns)
        if (!found.count(Lower(std::string(c.name))))
          Fail(file_.string() + " is not a backup of this database: table " + std::string(t->name) +
               " has no column " + std::string(c.name) + kNothingRestored);
    }
  }

  // The rows of every declared table, kept as the archive's COPY text; each table's part runs
  // from its COPY line to the line before its end mark.
  void ReadData() {
    dataRead_ = true;
    dataText_ = ReadAsText("--data-only").output;
    std::string_view lines = dataText_, line;
    while (NextLine(lines, line)) {
      if (!line.starts_with("COPY ")) continue;
      std::size_t end = 0;
      const std::string name = LastName(line.substr(5), end);
      const char* from = line.data();
      const char* to = lines.data() + lines.size();
      while (NextLine(lines, line))
        if (line == "\\.") {
          to = line.data();
          break;
        }
      if (!data_.emplace(name, std::string_view(from, static_cast<std::size_t>(to - from))).second)
        Fail(file_.string() + ": the data of table " + name + " is there twice" + kNothingRestored);
    }
  }

  // Takes the next line (without its end) from `text`; false at its end.
  static bool NextLine(std::string_view& text, std::string_view& line) {
    if (text.empty()) return false;
    const std::size_t end = text.find('\n');
    line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    return true;
  }

  // The last name of the (qualified) SQL name `text` starts with ("public.empresa",
  // "\"Odd\".\"Name\"") as Unquoted gives it; `end` gets where the name ends.
  static std::string LastName(std::string_view text, std::size_t& end) {
    std::size_t i = 0;
    for (;;) {
      const std::size_t start = i;
      if (i < text.size() && text[i] == '"') {
        ++i;
        while (i < text.size() && !(text[i] == '"' && (i + 1 == text.size() || text[i + 1] != '"')))
          i += text[i] == '"' ? 2 : 1;
        i = std::min(i + 1, text.size());
      } else {
        while (i < text.size() && text[i] != '.' && text[i] != ' ' && text[i] != '(') ++i;
      }
      std::string name = Unquoted(std::string(text.substr(start, i - start)));
      if (i < text.size() && text[i] == '.') {
        ++i;
        continue;
      }
      end = i;
      return name;
    }
  }

  fs::path file_;
  std::map<std::string, std::vector<std::string>> tables_;  // lower-case name: schemas
  bool dataRead_ = false;
  std::string dataText_;
  std::map<std::string, std::string_view> data_;  // lower-case name: its part of dataText_
};

// The database to restore into must be this project's, or empty: its schema holds no table
// this system does not have.
void RequireOwnPgTarget(db::Connection& target) {
  for (const Row& r :
       target
           .Query("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                  "current_schema() AND table_type = 'BASE TABLE'")
           .rows) {
    const std::string name = std::get<std::string>(r[0]);
    const auto tables = record::ServerTables();
    if (!IsPeopleOrHistoryTable(name) &&
        std::none_of(tables.begin(), tables.end(),
                     [&](const record::Table* t) { return utf8::SameText(t->name, name); }))
      Fail("the database to restore into is another program's database (it holds a table " + name +
           " this system does not have)" + kNothingRestored);
  }
}

std::vector<std::string> RestorePg(const std::string& url, const fs::path& file) {
  PgBackupRows source(file);
  auto target = db::Connection::Open(url);
  RequireOwnPgTarget(*target);
  LoadRows(*target, source, file);
  return source.notes;
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env) {
  ProgramResult result;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    result.output = argv[0] + ": " + std::strerror(rc);
    return result;
  }
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    result.output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

void BackupDatabase(const std::string& dbUrl, const fs::path& file) {
  if (file.empty()) Fail("give the backup file's name");
  if (fs::exists(file)) Fail("the backup file " + file.string() + " exists already");
  if (IsSqliteUrl(dbUrl)) return BackupSqlite(SqlitePath(dbUrl), file);
  if (IsPgUrl(dbUrl)) return BackupPg(dbUrl, file);
  Fail("unknown database URL '" + dbUrl + "': expected sqlite:PATH or postgresql://...");
}

std::vector<std::string> RestoreDatabase(const std::string& dbUrl, const fs::path& file) {
  if (!fs::is_regular_file(file)) Fail("the backup file " + file.string() + " does not exist");
  FileKind kind = KindOf(file);
  if (IsSqliteUrl(dbUrl)) {
    if (kind == FileKind::PgDump)
      Fail(file.string() + " is a PostgreSQL backup; restore it into a postgresql:// database");
    if (kind != FileKind::SQLite)
      Fail(file.string() + " is not a backup of this database; nothing was restored");
    return RestoreSqlite(SqlitePath(dbUrl), file);
  }
  if (IsPgUrl(dbUrl)) {
    if (kind == FileKind::SQLite)
      Fail(file.string() + " is an SQLite backup; restore it into a sqlite: database");
    if (kind != FileKind::PgDump)
      Fail(file.string() + " is not a backup of this database; nothing was restored");
    return RestorePg(dbUrl, file);
  }
  Fail("unknown database URL '" + dbUrl + "': expected sqlite:PATH or postgresql://...");
}

}  // namespace ger::server
