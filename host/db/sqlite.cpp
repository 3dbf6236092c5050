// SQLite back-end: one file, WAL journal, statements cached per connection.
#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>

#include "core/utf8.h"
#include "db/engines.h"
#include "db/name_watch.h"
#include "db/stmt_cache.h"

namespace ger::db {
namespace {

std::string SqliteDateText(const DateTime& dt) {
  std::string text = dt.ToIso();
  if (auto t = text.find('T'); t != std::string::npos) text[t] = ' ';
  return text;
}

// Which file a path names: device and inode.
struct FileId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const FileId&) const = default;
};

std::optional<FileId> IdOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

// The files (database and -wal journal) a path named when this process opened it first; kept
// while any connection of the process has it open. A database file replaced by another (an older
// copy) while connections are open would have the open journal replayed onto it and take later
// saves that no one reads again; a journal removed would take saves that vanish at the next
// start. So a path whose files are no longer these is never opened, read or written again until
// they are back (or the process starts anew).
struct Identity {
  FileId db;
  std::optional<FileId> wal;  // none when the database had no journal (opened read-only)
};

class Identities {
 public:
  // The identity registered for the path, if a connection of the process has it open.
  std::optional<Identity> Find(const std::string& path) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(path);
    if (it == entries_.end()) return std::nullopt;
    return it->second.identity;
  }
  // Registers one more connection of the path; the first one's identity is kept. Returns it.
  Identity Acquire(const std::string& path, const Identity& opened) {
    std::lock_guard lock(mutex_);
    auto [it, added] = entries_.try_emplace(path, Entry{opened, 0});
    ++it->second.users;
    return it->second.identity;
  }
  void Release(const std::string& path) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(path);
    if (it != entries_.end() && --it->second.users == 0) entries_.erase(it);
  }

 private:
  struct Entry {
    Identity identity;
    int users;
  };
  std::mutex mutex_;
  std::map<std::string, Entry> entries_;
};

// Refuses a journal that belongs to another file than the one the path names now (see
// kSqliteOwnerSuffix). A journal that is empty, or whose owner is not recorded, is SQLite's to
// handle as usual.
void RequireOwnJournal(const std::string& path, const std::string& walPath) {
  const std::optional<FileId> db = IdOf(path);
  struct stat wal {};
  if (!db || ::stat(walPath.c_str(), &wal) != 0 || wal.st_size == 0) return;
  std::ifstream in(path + kSqliteOwnerSuffix);
  unsigned long long dev = 0, ino = 0;
  if (!(in >> dev >> ino)) return;
  if (FileId{static_cast<dev_t>(dev), static_cast<ino_t>(ino)} == *db) return;
  throw DbError(
      "the write-ahead journal '" + walPath + "' belongs to another database file than '" + path +
      "': that file was replaced while a program had it open, and the journal holds "
      "changes made to the file it replaced. Nothing was opened, since applying them to "
      "this file would damage it. Put the original file back, or move '" +
      walPath + "' and '" + path + "-shm' aside to use the file there now without those changes");
}

// Records which file the journal now belongs to; best effort (a folder that can only be read
// keeps no record, and then no check is made).
void RecordJournalOwner(const std::string& path, const FileId& db) {
  const std::string owner = path + kSqliteOwnerSuffix;
  {
    std::ifstream in(owner);
    unsigned long long dev = 0, ino = 0;
    if (in >> dev >> ino && FileId{static_cast<dev_t>(dev), static_cast<ino_t>(ino)} == db) return;
  }
  const std::string partial = owner + ".partial";
  {
    std::ofstream out(partial, std::ios::trunc);
    out << static_cast<unsigned long long>(db.dev) << " " << static_cast<unsigned long long>(db.ino)
        << "\n";
    if (!out.flush()) return;
  }
  std::error_code ec;
  std::filesystem::rename(partial, owner, ec);
  if (ec) std::filesystem::remove(partial, ec);
}

Identities& OpenFiles() {
  static Identities identities;
  return identities;
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
  SqliteConnection(std::string path, Access access)
      : path_(std::move(path)), walPath_(path_ + "-wal"), access_(access) {
    const bool first = !OpenFiles().Find(path_);
    if (first) RequireOwnJournal(path_, walPath_);
    OpenHandle(access_ == Access::ReadWrite);
    std::optional<FileId> db = IdOf(path_);
    if (!db) {
      CloseHandle();
      throw FileChangedError(Changed());
    }
    identity_ = OpenFiles().Acquire(path_, {*db, IdOf(walPath_)});
    registered_ = true;
    // Watched from here on, and found in place once more below: a change between the two is seen.
    names_ = NameWatch::For(path_, {std::filesystem::path(walPath_).filename().string()});
    if (!Intact()) {
      CloseHandle();
      throw FileChangedError(Changed());
    }
    if (first && !readOnly_) RecordJournalOwner(path_, identity_.db);
  }
  ~SqliteConnection() override {
    CloseHandle();
    if (registered_) OpenFiles().Release(path_);
  }

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
      if ((rc & 0xff) == SQLITE_CONSTRAINT) throw Constraint(sqlite3_extended_errcode(db_), msg);
      throw DbError("SQLite script failed: " + msg);
    }
  }

  void Begin() override {
    EnsureFile();
    if (access_ == Access::ReadOnly)
      throw ReadOnlyError("the SQLite database '" + path_ +
                          "' was opened for reading only: a change was refused");
    if (readOnly_) {
      // The file may have been made writable since: a new handle on the same file finds out.
      CloseHandle();
      OpenHandle(false);
      if (readOnly_)
        throw ReadOnlyError("the SQLite database file '" + path_ +
                            "' can only be read (file or folder permissions, or an immutable "
                            "file): a change was refused");
    }
    Execute("BEGIN IMMEDIATE", {});
  }
  void Commit() override {
    // The last look before a save is acknowledged.
    if (!Intact()) {
      Rollback();
      throw FileChangedError(Changed());
    }
    Execute("COMMIT", {});
  }
  void Rollback() override {
    if (db_ && !sqlite3_get_autocommit(db_)) Execute("ROLLBACK", {});
  }

  std::size_t CachedStatements() const override { return cache_.Size(); }
  bool ReadOnly() const override { return readOnly_; }

 private:
  struct Resetter {
    sqlite3_stmt* stmt;
    ~Resetter() {
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);
    }
  };

  void OpenHandle(bool create) {
    // Opening a replaced file would already replay the journal onto it.
    if (auto known = OpenFiles().Find(path_)) {
      identity_ = *known;
      verifiedAt_.reset();
      if (!Intact()) throw FileChangedError(Changed());
    }
    const bool reader = access_ == Access::ReadOnly;
    int flags = (reader ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX |
                (create ? SQLITE_OPEN_CREATE : 0);
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
    // A reader leaves the journal's mode to the writers and refuses any change itself.
    const char* setup =
        reader ? "PRAGMA query_only=1; PRAGMA mmap_size=268435456; PRAGMA cache_size=-16000;"
               : "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; "
                 "PRAGMA mmap_size=268435456; PRAGMA cache_size=-16000; "
                 "PRAGMA journal_size_limit=67108864;";
    char* err = nullptr;
    rc = sqlite3_exec(db_, setup, nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
      std::string msg = err ? err : sqlite3_errstr(rc);
      sqlite3_free(err);
      CloseHandle();
      throw DbError("cannot open SQLite database '" + path_ + "': " + msg);
    }
    readOnly_ = reader || sqlite3_db_readonly(db_, "main") == 1;
    // The journal stays when the last connection closes (emptied, as the size limit above asks
    // for), so that its identity holds for as long as this process has the database open. A
    // first read makes sure it exists.
    int persist = 1;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    sqlite3_exec(db_, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, nullptr);
    // The journal's mode stays while this handle is open: a connection in WAL mode keeps a shared
    // lock on the file, and leaving the mode needs the file to itself.
    wal_ = false;
    sqlite3_exec(
        db_, "PRAGMA journal_mode",
        [](void* wal, int, char** values, char**) {
          *static_cast<bool*>(wal) = values[0] && std::string_view(values[0]) == "wal";
          return 0;
        },
        &wal_, nullptr);
  }

  // Races with a commit by design, as SQLite's own readers do: a copy torn by a writer differs
  // from the other one and is not trusted. Not watched by the thread checker, which would take the
  // writer's copy (through memcpy, in SQLite) and these reads for an unguarded pair.
  __attribute__((no_sanitize("thread"))) static void ReadIndexHeader(
      const volatile std::uint32_t* words, CommittedMark& first, CommittedMark& second) {
    for (std::size_t i = 0; i < first.size(); ++i) first[i] = words[i];
    std::atomic_thread_fence(std::memory_order_acquire);
    for (std::size_t i = 0; i < second.size(); ++i) second[i] = words[first.size() + i];
  }

  // The write-ahead log's index, shared by every connection to the file in every process, starts
  // with a 48-byte header written twice: each commit rewrites it (its change counter, last frame,
  // frame checksum and salts), the second copy first. It is read here the way SQLite's readers do
  // (first copy, barrier, second copy; equal and initialised, or not trusted), without a read
  // transaction: no lock is taken and no system call made.
  std::optional<CommittedMark> Committed() override {
    EnsureFile();
    if (!db_ || !wal_ || readOnly_ || !sqlite3_get_autocommit(db_)) return std::nullopt;
    // The file's handle lives as long as the database handle: asked for once.
    if (!mainFile_ &&
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &mainFile_) != SQLITE_OK)
      mainFile_ = nullptr;
    sqlite3_file* file = mainFile_;
    if (!file || !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap)
      return std::nullopt;
    void volatile* region = nullptr;
    if (file->pMethods->xShmMap(file, 0, 32 * 1024, 0, &region) != SQLITE_OK || !region)
      return std::nullopt;
    CommittedMark first{}, second{};
    ReadIndexHeader(static_cast<const volatile std::uint32_t*>(region), first, second);
    unsigned char initialised = 0;  // the byte after the change counter
    std::memcpy(&initialised, reinterpret_cast<const unsigned char*>(first.data()) + 12, 1);
    if (first != second || !initialised) return std::nullopt;
    return first;
  }

  void CloseHandle() {
    cache_.Clear();  // statements before the handle
    sqlite3_close(db_);
    db_ = nullptr;
    mainFile_ = nullptr;
  }

  // Between transactions every statement first checks that the path still names the files the
  // process opened (a transaction is checked at its start and before its commit).
  void EnsureFile() {
    if (db_ && !sqlite3_get_autocommit(db_)) return;
    if (!Intact(true)) throw FileChangedError(Changed());
    if (!db_) OpenHandle(false);
  }

  // Looking the files up costs a lookup of the whole path each; while no name on the way has
  // changed since they were last found in place, they still are.
  // `forRequests`: a look since the serving thread's last read of requests stands (a statement's
  // check); a commit's is always a new look.
  bool Intact(bool forRequests = false) {
    std::optional<std::uint64_t> changes;
    if (names_) {
      changes = forRequests ? names_->ChangesForRequestsRead() : names_->Changes();
      if (changes && changes == verifiedAt_) return true;
    }
    if (IdOf(path_) != std::optional<FileId>(identity_.db)) return false;
    if (identity_.wal && IdOf(walPath_) != identity_.wal) return false;
    verifiedAt_ = changes;
    return true;
  }

  std::string Changed() const {
    return "the SQLite database file '" + path_ +
           "' (or its -wal journal) is not the one this server opened: it was replaced or "
           "removed while the server ran. Nothing is read or written until the original files are "
           "back in place; restart the server to use the file that is there now";
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

  // SQLite names the column of a refused empty value: "NOT NULL constraint failed: T.C".
  static ConstraintError Constraint(int rc, const std::string& msg) {
    if (rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT_UNIQUE)
      return ConstraintError(msg, ConstraintError::Kind::Unique);
    if (rc == SQLITE_CONSTRAINT_NOTNULL) {
      const auto colon = msg.rfind(": ");
      return ConstraintError(
          msg, ConstraintError::Kind::NotNull,
          colon == std::string::npos ? "" : utf8::ToUpper(msg.substr(colon + 2)));
    }
    return ConstraintError(msg);
  }

  [[noreturn]] void Fail(int rc, std::string_view sql) {
    std::string msg = sqlite3_errmsg(db_);
    if ((rc & 0xff) == SQLITE_CONSTRAINT) throw Constraint(rc, msg);
    if ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB)
      throw DamagedFileError("the SQLite database file '" + path_ + "' is damaged (SQLite: " + msg +
                             ", in: " + std::string(sql.substr(0, 200)) + ")");
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
    // Texts and blobs are bound where they are (SQLITE_STATIC): the parameters outlive the
    // statement's run, and every caller clears the bindings before returning (Resetter), so a
    // large value is not copied once more.
    for (std::size_t i = 0; i < names.size(); ++i) {
      const Value& v = RequireParam(params, names[i], i);
      int index = static_cast<int>(i + 1);
      int rc = std::visit(
          [&](const auto& x) -> int {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
              return sqlite3_bind_null(stmt, index);
            } else if constexpr (std::is_same_v<T, std::string>) {
              return sqlite3_bind_text64(stmt, index, x.data(), x.size(), SQLITE_STATIC,
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
              return sqlite3_bind_blob64(stmt, index, x.data.data(), x.data.size(), SQLITE_STATIC);
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

  std::string path_, walPath_;
  bool wal_ = false;  // the handle's journal is the write-ahead log
  Access access_;
  Identity identity_;
  // The names the path is looked up through, watched while the connection is open; none when
  // they cannot be (the files are then looked up every time).
  std::unique_ptr<NameWatch> names_;
  std::optional<std::uint64_t> verifiedAt_;  // the count of name changes when last found intact
  bool registered_ = false;
  sqlite3* db_ = nullptr;
  sqlite3_file* mainFile_ = nullptr;  // the database file's handle in db_, once asked for
  bool readOnly_ = false;             // the file could only be opened for reading
  StatementCache<Prepared> cache_;
};

}  // namespace

std::unique_ptr<Connection> OpenSqlite(std::string_view path, Access access) {
  if (path.empty()) throw DbError("sqlite: URL without a file path");
  return std::make_unique<SqliteConnection>(std::string(path), access);
}

void RequireOwnSqliteJournal(const std::string& path) {
  RequireOwnJournal(path, path + "-wal");
}

}  // namespace ger::db
