#pragma once
// The one database layer: SQLite 3 and PostgreSQL behind one small interface.
//
// Opening: Connection::Open("sqlite:/path/ger.db") or Open("postgresql://user@host:port/db").
// Access::ReadOnly opens for reading only: SQLite opens the file read-only (never creating it)
// with query_only set, PostgreSQL sets default_transaction_read_only for the session; a
// statement that would change something fails, and Begin() raises ReadOnlyError.
// A connection is used by one thread at a time; open one per worker thread.
//
// SQL text names its parameters ":NAME" (letters, digits, underscore; the same name may occur
// several times). They are always bound, never spliced into the text: SQLite binds them by name,
// PostgreSQL as $1..$n with one number per distinct name. Text inside '...' and the "::" cast are
// left alone. A parameter the SQL names but the caller does not supply is an error; supplied
// values the SQL does not name are ignored.
//
// Query results come back as a ger::DataPacket. Column names are reported in upper case (as
// unquoted SQL identifiers are case-insensitive). Kinds and sizes follow the declared column
// types: VARCHAR(n)/CHAR(n) -> string n, TEXT -> memo, DOUBLE PRECISION/REAL/NUMERIC -> float,
// INTEGER/BIGINT/SMALLINT -> integer, TIMESTAMP/DATE -> datetime, BLOB/BYTEA -> blob. A column
// without a declared type (an expression) takes the kind of its first non-null value. Texts come
// back as UTF-8: bytes older programs stored in Windows-1252 are read as that character set (a
// PostgreSQL database in SQL_ASCII passes them through for that).
//
// Statements are prepared once per connection and cached by their SQL text; the cache keeps the
// kStatementCacheSize (db/stmt_cache.h) most recently used ones.
// Errors raise DbError with an English sentence for operators; a violated key or constraint
// raises ConstraintError, so callers can tell "already there" from "broken".
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/value.h"
#include "data/packet.h"

namespace ger::db {

enum class Engine { SQLite, PostgreSQL };
enum class Access { ReadWrite, ReadOnly };

class DbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A unique key, not-null or check constraint refused the statement. `kind` tells which, and a
// refused empty column is named (TABLE.COLUMN, upper case) when the engine says which it was.
class ConstraintError : public DbError {
 public:
  enum class Kind { Unique, NotNull, Other };
  explicit ConstraintError(const std::string& message, Kind kind = Kind::Other,
                           std::string column = {})
      : DbError(message), kind_(kind), column_(std::move(column)) {}
  Kind GetKind() const { return kind_; }
  const std::string& Column() const { return column_; }

 private:
  Kind kind_;
  std::string column_;
};

// The database's files are no longer the ones the connection opened (replaced or removed while it
// ran): nothing more is read or written through it.
class FileChangedError : public DbError {
 public:
  using DbError::DbError;
};

// The database can only be read: a change was refused.
class ReadOnlyError : public DbError {
 public:
  using DbError::DbError;
};

// The database file is damaged (SQLite found a page that is not what it should be, or a file
// that is no database): the statement did nothing.
class DamagedFileError : public DbError {
 public:
  using DbError::DbError;
};

// Beside an SQLite database file "F", the file "F-owner" names (by device and inode) the database
// file that the write-ahead journal "F-wal" was last written for. A journal left behind by a
// program that ran while F was replaced (by an older copy, say) belongs to the file that was
// replaced: opening F would replay it onto F and damage it, so the first open of F in a process
// is refused with a DbError that says what to do while such a journal is there.
inline constexpr const char* kSqliteOwnerSuffix = "-owner";
// The same check, for programs that open such a file with SQLite itself (backups).
void RequireOwnSqliteJournal(const std::string& path);

// Called by a thread that serves requests after each read of them. Between two of its reads, the
// thread looks once per connection at whether an SQLite database's files were replaced: a look
// made after the read covers every request read before it, since whatever was replaced before a
// request was sent had been seen by the watch when the replacing call returned. A thread that
// never calls it looks before every statement. Commits always look again.
void MarkRequestsRead();

// Named parameter values; names without the leading colon, compared case-insensitively.
using Params = std::vector<std::pair<std::string, Value>>;

class Connection {
 public:
  // Raises DbError for an unknown scheme or a database that cannot be opened.
  static std::unique_ptr<Connection> Open(std::string_view url, Access access = Access::ReadWrite);

  virtual ~Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  virtual Engine GetEngine() const = 0;

  // Runs a statement that yields rows.
  virtual DataPacket Query(std::string_view sql, const Params& params = {}) = 0;
  // Runs a statement that yields rows and returns them as packet text, the same text as
  // codec::Encode(Query(sql, params)) after `adjust` has changed the field list (flags). The
  // SQLite engine writes it straight from the cursor, without holding the rows as values.
  virtual std::string QueryEncoded(std::string_view sql, const Params& params,
                                   const std::function<void(std::vector<FieldDef>&)>& adjust);

  // Runs a statement that yields no rows; returns the number of rows it changed.
  virtual std::int64_t Execute(std::string_view sql, const Params& params = {}) = 0;
  // Runs several ';'-separated statements without parameters (schema scripts).
  virtual void ExecuteScript(std::string_view sql) = 0;

  // Transactions; prefer the Transaction guard below. Begin takes the write lock at once on
  // SQLite, so two writers never deadlock on upgrading a read lock.
  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;

  // How many prepared statements the connection holds now.
  virtual std::size_t CachedStatements() const = 0;
  // True when the database was opened, or could only be opened, for reading: Begin() raises
  // ReadOnlyError.
  virtual bool ReadOnly() const { return false; }

  // An answer worked out from committed data, kept for as long as nothing has been committed to
  // the database since: `work` runs when `key` is new here or something may have changed, and
  // every time inside a transaction or where the engine cannot tell at once that nothing changed
  // (PostgreSQL, which other servers may write to). For reads that seats ask again and again;
  // the answer must depend on nothing but the key and the committed rows. Keys longer than
  // kMaxRememberedKey are not kept.
  std::string Remembered(const std::string& key, const std::function<std::string()>& work);
  static constexpr std::size_t kMaxRememberedKey = 512;
  static constexpr std::size_t kMaxRemembered = 1024;

 protected:
  Connection() = default;

  // A mark of the committed state that is equal in two calls only when nothing was committed in
  // between; nullopt when that cannot be told without reading the database. Raises what a
  // statement would raise when the connection can no longer be used.
  using CommittedMark = std::array<std::uint32_t, 12>;
  virtual std::optional<CommittedMark> Committed() { return std::nullopt; }

 private:
  std::optional<CommittedMark> rememberedAt_;  // the mark the remembered answers were read at
  std::unordered_map<std::string, std::string> remembered_;
};

// Begins a transaction; rolls it back on destruction unless Commit() was called.
class Transaction {
 public:
  explicit Transaction(Connection& connection) : connection_(connection) { connection_.Begin(); }
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Connection& connection_;
  bool done_ = false;
};

// SQL with ":NAME" parameters rewritten for an engine: `text` holds "?NNN" (SQLite) or "$n"
// (PostgreSQL) and `names[i]` is the upper-case name of parameter i+1.
struct ParsedSql {
  std::string text;
  std::vector<std::string> names;
};
ParsedSql TranslateParams(std::string_view sql, Engine engine);

// The kind and size a declared column type stands for ("VARCHAR(40)" -> string 40). Kind Memo
// with size 0 for an unknown or empty type.
FieldDef FieldFromDeclType(std::string name, std::string_view declType);

}  // namespace ger::db
