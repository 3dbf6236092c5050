// The database layer on SQLite (a temporary file) and, when GER_TEST_PG names a server, on
// PostgreSQL in a schema of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "db/database.h"

using namespace ger;
using namespace ger::db;

TEST(TranslateParams, RepeatedNamesShareOneNumberAndLiteralsStayAlone) {
  ParsedSql pg = TranslateParams(
      "SELECT ':NOT_A' AS X FROM PAIS WHERE (CDPAIS = :P_CDPAIS OR 'T' = :p_tcdpais) "
      "AND CDPAIS = :P_CDPAIS AND X::text = :Y -- :COMMENT\n",
      Engine::PostgreSQL);
  EXPECT_EQ(pg.text,
            "SELECT ':NOT_A' AS X FROM PAIS WHERE (CDPAIS = $1 OR 'T' = $2) AND CDPAIS = $1 AND "
            "X::text = $3 -- :COMMENT\n");
  EXPECT_EQ(pg.names, (std::vector<std::string>{"P_CDPAIS", "P_TCDPAIS", "Y"}));
  ParsedSql lite =
      TranslateParams("SELECT 'it''s :X' FROM T WHERE A = :A AND B = :A", Engine::SQLite);
  EXPECT_EQ(lite.text, "SELECT 'it''s :X' FROM T WHERE A = ?1 AND B = ?1");
  EXPECT_EQ(lite.names, std::vector<std::string>{"A"});
}

TEST(FieldFromDeclType, KindsAndSizes) {
  EXPECT_EQ(FieldFromDeclType("nm", "VARCHAR(40)"), (FieldDef{"NM", FieldKind::String, 40}));
  EXPECT_EQ(FieldFromDeclType("x", "TEXT").kind, FieldKind::Memo);
  EXPECT_EQ(FieldFromDeclType("x", "DOUBLE PRECISION").kind, FieldKind::Float);
  EXPECT_EQ(FieldFromDeclType("x", "BIGINT").kind, FieldKind::Integer);
  EXPECT_EQ(FieldFromDeclType("x", "TIMESTAMP").kind, FieldKind::DateTime);
  EXPECT_EQ(FieldFromDeclType("x", "BLOB").kind, FieldKind::Blob);
  EXPECT_EQ(FieldFromDeclType("x", "").kind, FieldKind::Memo);
}

TEST(Open, UnknownSchemeIsRefused) {
  EXPECT_THROW(Connection::Open("mysql://x"), DbError);
  EXPECT_THROW(Connection::Open("sqlite:/nonexistent-dir/sub/ger.db"), DbError);
}

// The same tests on each engine.
class EngineTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "sqlite") {
      path_ = std::filesystem::temp_directory_path() /
              ("ger-db-test-" + std::to_string(getpid()) + ".db");
      std::filesystem::remove(path_);
      url_ = "sqlite:" + path_.string();
    } else {
      const char* url = std::getenv("GER_TEST_PG");
      if (!url) GTEST_SKIP() << "GER_TEST_PG not set";
      std::string schema = "dbtest_" + std::to_string(getpid());
      auto admin = Connection::Open(url);
      admin->ExecuteScript("DROP SCHEMA IF EXISTS " + schema + " CASCADE; CREATE SCHEMA " + schema);
      std::string u = url;
      url_ =
          u + (u.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + schema;
    }
    db_ = Connection::Open(url_);
    std::string blob = db_->GetEngine() == Engine::PostgreSQL ? "BYTEA" : "BLOB";
    db_->ExecuteScript(
        "CREATE TABLE T (K VARCHAR(4) NOT NULL PRIMARY KEY, S VARCHAR(10), M TEXT, "
        "F DOUBLE PRECISION, I BIGINT, D TIMESTAMP, B " +
        blob + ")");
  }
  void TearDown() override {
    db_.reset();
    if (!path_.empty()) {
      std::filesystem::remove(path_);
      std::filesystem::remove(path_.string() + "-wal");
      std::filesystem::remove(path_.string() + "-shm");
    }
  }
  std::int64_t Insert(const std::string& k, Value s) {
    return db_->Execute("INSERT INTO T (K, S) VALUES (:K, :S)", {{"K", k}, {"S", std::move(s)}});
  }
  std::filesystem::path path_;
  std::string url_;
  std::unique_ptr<Connection> db_;
};

TEST_P(EngineTest, EveryKindRoundTripsWithItsDeclaredTypeAndSize) {
  const DateTime when = DateTime::FromParts(2005, 2, 28, 13, 45, 7, 123);
  const std::string bytes("\0\x01\xff\x80zz", 6);
  db_->Execute("INSERT INTO T (K, S, M, F, I, D, B) VALUES (:K, :S, :M, :F, :I, :D, :B)",
               {{"K", std::string("k1")},
                {"S", std::string("São Paulo")},
                {"M", std::string(5000, 'x')},
                {"F", 0.1},
                {"I", std::int64_t{1} << 40},
                {"D", when},
                {"B", Bytes{bytes}}});
  Insert("k2", std::monostate{});
  DataPacket p =
      db_->Query("SELECT K, S, M, F, I, D, B FROM T WHERE K = :K", {{"k", std::string("k1")}});
  ASSERT_EQ(p.fields.size(), 7u);
  EXPECT_EQ(p.fields[1], (FieldDef{"S", FieldKind::String, 10}));
  EXPECT_EQ(p.fields[2].kind, FieldKind::Memo);
  EXPECT_EQ(p.fields[3].kind, FieldKind::Float);
  EXPECT_EQ(p.fields[4].kind, FieldKind::Integer);
  EXPECT_EQ(p.fields[5].kind, FieldKind::DateTime);
  EXPECT_EQ(p.fields[6].kind, FieldKind::Blob);
  ASSERT_EQ(p.rows.size(), 1u);
  const Row& r = p.rows[0];
  EXPECT_EQ(std::get<std::string>(r[1]), "São Paulo");
  EXPECT_EQ(std::get<std::string>(r[2]).size(), 5000u);
  EXPECT_EQ(std::get<double>(r[3]), 0.1);
  EXPECT_EQ(std::get<std::int64_t>(r[4]), std::int64_t{1} << 40);
  EXPECT_EQ(std::get<DateTime>(r[5]), when);
  EXPECT_EQ(std::get<Bytes>(r[6]).data, bytes);
  DataPacket nulls = db_->Query("SELECT S, D FROM T WHERE K = 'k2'");
  EXPECT_TRUE(IsNull(nulls.rows.at(0)[0]));
  EXPECT_TRUE(IsNull(nulls.rows.at(0)[1]));
}

TEST_P(EngineTest, HostileTextIsStoredNotExecuted) {
  const std::string hostile = "x'); DROP TABLE T; --";
  db_->Execute("INSERT INTO T (K, M) VALUES ('h', :M)", {{"M", hostile}});
  DataPacket p = db_->Query("SELECT M FROM T WHERE M = :M", {{"M", hostile}});
  ASSERT_EQ(p.rows.size(), 1u);
  EXPECT_EQ(std::get<std::string>(p.rows[0][0]), hostile);
}

TEST_P(EngineTest, CachedStatementsDoNotKeepOldBindings) {
  Insert("a", std::string("um"));
  Insert("b", std::string("dois"));
  const char* sql = "SELECT S FROM T WHERE K = :K";
  EXPECT_EQ(std::get<std::string>(db_->Query(sql, {{"K", std::string("a")}}).rows.at(0)[0]), "um");
  EXPECT_EQ(std::get<std::string>(db_->Query(sql, {{"K", std::string("b")}}).rows.at(0)[0]),
            "dois");
  EXPECT_TRUE(db_->Query(sql, {{"K", std::string("c")}}).rows.empty());
  EXPECT_THROW(db_->Query(sql, {}), DbError);  // a missing value is never taken from before
  // Values go by name whatever their order, a name in any case, one name used twice.
  Insert("c", std::string("tres"));
  const DataPacket p =
      db_->Query("SELECT K FROM T WHERE S = :S AND K = :k AND K <> :X AND S = :S",
                 {{"X", std::string("b")}, {"K", std::string("c")}, {"S", std::string("tres")}});
  ASSERT_EQ(p.rows.size(), 1u);
  EXPECT_EQ(std::get<std::string>(p.rows[0][0]), "c");
}

TEST_P(EngineTest, DuplicateKeyIsAConstraintErrorAndExecuteCountsRows) {
  EXPECT_EQ(Insert("a", std::string("x")), 1);
  EXPECT_THROW(Insert("a", std::string("y")), ConstraintError);
  Insert("b", std::string("x"));
  EXPECT_EQ(db_->Execute("UPDATE T SET M = 'm' WHERE S = :S", {{"S", std::string("x")}}), 2);
}

TEST_P(EngineTest, TransactionRollsBackUnlessCommitted) {
  {
    Transaction tx(*db_);
    Insert("a", std::string("x"));
  }
  EXPECT_TRUE(db_->Query("SELECT K FROM T").rows.empty());
  {
    Transaction tx(*db_);
    Insert("a", std::string("x"));
    tx.Commit();
  }
  EXPECT_EQ(db_->Query("SELECT K FROM T").rows.size(), 1u);
  // A failed statement inside a transaction leaves the connection usable after the rollback.
  {
    Transaction tx(*db_);
    Insert("b", std::string("x"));
    EXPECT_THROW(Insert("a", std::string("dup")), ConstraintError);
  }
  EXPECT_EQ(db_->Query("SELECT K FROM T").rows.size(), 1u);
}

TEST_P(EngineTest, ExpressionColumnsTakeTheKindOfTheirValues) {
  Insert("a", std::string("x"));
  DataPacket p = db_->Query("SELECT COUNT(*) AS N FROM T");
  EXPECT_EQ(p.fields.at(0).name, "N");
  EXPECT_EQ(p.fields[0].kind, FieldKind::Integer);
  EXPECT_EQ(std::get<std::int64_t>(p.rows.at(0)[0]), 1);
}

// A remembered answer lasts only until something is committed: by this connection, by another
// one, or by another program; inside a transaction, and for an over-long key, the work always runs.
TEST_P(EngineTest, RememberedAnswersLastOnlyUntilTheNextCommit) {
  int reads = 0;
  auto count = [&](const std::string& key = "count") {
    return db_->Remembered(key, [&] {
      ++reads;
      return std::to_string(
          std::get<std::int64_t>(db_->Query("SELECT COUNT(*) AS N FROM T").rows.at(0).at(0)));
    });
  };
  // Only SQLite can tell without a read that nothing changed; another server may write to
  // PostgreSQL, so there every call reads.
  const bool kept = db_->GetEngine() == Engine::SQLite;
  EXPECT_EQ(count(), "0");
  EXPECT_EQ(count(), "0");
  EXPECT_EQ(reads, kept ? 1 : 2);

  auto other = Connection::Open(url_);
  other->Execute("INSERT INTO T (K) VALUES ('a')");
  EXPECT_EQ(count(), "1");
  {
    Transaction t(*other);
    other->Execute("INSERT INTO T (K) VALUES ('b')");
    EXPECT_EQ(count(), "1");
    t.Commit();
  }
  EXPECT_EQ(count(), "2");

  // Another program's commit: a child process with a connection of its own.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int status = 1;
    try {
      Connection::Open(url_)->Execute("INSERT INTO T (K) VALUES ('c')");
      status = 0;
    } catch (...) {
    }
    _exit(status);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(count(), "3");

  Insert("d", std::string("x"));
  EXPECT_EQ(count(), "4");
  const int before = reads;
  EXPECT_EQ(count(), "4");
  EXPECT_EQ(reads, before + (kept ? 0 : 1));

  {
    Transaction t(*db_);
    Insert("e", std::string("x"));
    const int inside = reads;
    EXPECT_EQ(count(), "5");  // its own change, not yet committed
    EXPECT_EQ(count(), "5");
    EXPECT_EQ(reads, inside + 2);
  }  // rolled back
  EXPECT_EQ(count(), "4");

  const std::string longKey(Connection::kMaxRememberedKey + 1, 'k');
  const int unkept = reads;
  EXPECT_EQ(count(longKey), "4");
  EXPECT_EQ(count(longKey), "4");
  EXPECT_EQ(reads, unkept + 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });
