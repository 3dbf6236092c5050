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
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "db/database.h"
#include "record/tables.h"

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
  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string why = error ? error : sqlite3_errmsg(db);
      sqlite3_free(error);
      Fail("SQLite: " + why);
    }
  }
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void CheckIntegrity(SqliteHandle& h, const fs::path& file) {
  std::vector<std::string> check = h.Column("PRAGMA integrity_check");
  if (check.empty() || check.front() != "ok")
    Fail(file.string() + " is damaged (" +
         (check.empty() ? std::string("no answer") : check.front()) + ")");
}

// Refuses a file that is damaged or does not hold every table and column the server declares.
void CheckSqliteBackup(SqliteHandle& h, const fs::path& file) {
  CheckIntegrity(h, file);
  for (const record::Table* table : record::ServerTables()) {
    std::vector<std::string> columns =
        h.Column("SELECT name FROM pragma_table_info('" + std::string(table->name) + "')");
    if (columns.empty())
      Fail(file.string() + " is not a backup of this database: it has no table " +
           std::string(table->name));
    std::set<std::string> present;
    for (auto& c : columns) present.insert(Lower(c));
    for (const record::Column& c : table->columns)
      if (!present.count(Lower(std::string(c.name))))
        Fail(file.string() + " is not a backup of this database: table " +
             std::string(table->name) + " has no column " + std::string(c.name));
  }
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
    fs::remove(path.string() + "-journal", ec);
  }
};

void BackupSqlite(const fs::path& db, const fs::path& file) {
  if (!fs::exists(db)) Fail("the database file " + db.string() + " does not exist");
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

// Copies `source` over the whole of `dest` in one write transaction (retrying while a server
// holds the write lock for one of its saves).
void CopyInto(SqliteHandle& source, SqliteHandle& dest, const std::string& what) {
  sqlite3_backup* b = sqlite3_backup_init(dest.db, "main", source.db, "main");
  if (!b) Fail("cannot restore into " + what + ": " + sqlite3_errmsg(dest.db));
  int rc;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while ((rc = sqlite3_backup_step(b, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) {
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  sqlite3_backup_finish(b);
  if (rc != SQLITE_DONE)
    Fail("cannot restore into " + what + " (" + sqlite3_errstr(rc) +
         "); the database was left as it was");
}

void RestoreSqlite(const fs::path& db, const fs::path& file) {
  // Opened as an immutable file: a backup is read, never written, and needs no lock.
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
  SqliteHandle source(uri + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  try {
    CheckSqliteBackup(source, file);
  } catch (const std::runtime_error& e) {
    Fail(std::string(e.what()) + "; nothing was restored");
  }
  if (!fs::exists(db)) {
    PartialFile partial(PartialOf(db));
    {
      SqliteHandle dest(partial.path.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
      CopyInto(source, dest, db.string());
    }
    Publish(partial.path, db);
    partial.keep = true;
    return;
  }
  // In place, so a server that has the file open keeps serving it and sees the restored rows.
  SqliteHandle dest(db.string(), SQLITE_OPEN_READWRITE);
  CopyInto(source, dest, db.string());
  std::vector<std::string> check = dest.Column("PRAGMA quick_check");
  if (check.empty() || check.front() != "ok")
    Fail("the restored database " + db.string() + " does not pass its check (" +
         (check.empty() ? std::string("no answer") : check.front()) + ")");
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

void RestorePg(const std::string& url, const fs::path& file) {
  ProgramResult list = RunProgram({"pg_restore", "--list", file.string()});
  RequirePgTool(list, file.string() + " is not a readable PostgreSQL backup");
  // Lines of the table of contents read "ID; OID OID TABLE schema name owner".
  std::set<std::string> tables;
  std::istringstream lines(list.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == ';') continue;
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string x; words >> x;) w.push_back(x);
    if (w.size() >= 6 && w[3] == "TABLE") tables.insert(Lower(w[5]));
  }
  for (const record::Table* table : record::ServerTables())
    if (!tables.count(Lower(std::string(table->name))))
      Fail(file.string() + " is not a backup of this database: it has no table " +
           std::string(table->name) + "; nothing was restored");
  // A database that cannot be reached is reported as such, not as a failed restore.
  db::Connection::Open(url);
  ProgramResult r = RunPgTool({"pg_restore", "--clean", "--if-exists", "--single-transaction",
                               "--exit-on-error", "--no-owner", "--no-privileges", file.string()},
                              url);
  RequirePgTool(r, "the restore failed and was rolled back, the database is as it was");
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

void RestoreDatabase(const std::string& dbUrl, const fs::path& file) {
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
