// The SQLite layer looks its files up only after a name on their path has changed: such a change
// anywhere on the path is still seen by the next statement, while files coming and going beside
// the database are not taken for one.
#include "db/name_watch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "db/database.h"

using namespace ger::db;
namespace fs = std::filesystem;

namespace {

class Folder : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("ger-name-watch-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "a" / "b");
    std::ofstream(root_ / "a" / "b" / "file") << "x";
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
};

void Touch(const fs::path& p) {
  std::ofstream(p) << "x";
}

}  // namespace

TEST_F(Folder, CountsChangesOfTheNamesOnThePathAndNoOthers) {
  auto watch = NameWatch::For((root_ / "a" / "b" / "file").string(), {"file-wal"});
  ASSERT_TRUE(watch);
  const auto start = watch->Changes();
  ASSERT_TRUE(start);

  // Other names in every folder on the way, and the file's contents.
  Touch(root_ / "other");
  Touch(root_ / "a" / "other");
  fs::rename(root_ / "a" / "other", root_ / "a" / "other2");
  Touch(root_ / "a" / "b" / "file-shm");
  fs::remove(root_ / "a" / "b" / "file-shm");
  Touch(root_ / "a" / "b" / "file");
  EXPECT_EQ(watch->Changes(), start);

  // The journal's name beside the file.
  Touch(root_ / "a" / "b" / "file-wal");
  const auto journal = watch->Changes();
  ASSERT_TRUE(journal);
  EXPECT_NE(journal, start);

  // The file renamed over by another.
  Touch(root_ / "a" / "b" / "copy");
  fs::rename(root_ / "a" / "b" / "copy", root_ / "a" / "b" / "file");
  const auto replaced = watch->Changes();
  EXPECT_NE(replaced, journal);

  // A folder on the way moved aside and another put in its place.
  fs::rename(root_ / "a", root_ / "a-kept");
  fs::create_directories(root_ / "a" / "b");
  EXPECT_NE(watch->Changes(), replaced);
}

TEST_F(Folder, APathThatCannotBeFollowedIsNotWatched) {
  fs::create_directory_symlink(root_ / "a", root_ / "link");
  EXPECT_FALSE(NameWatch::For((root_ / "link" / "b" / "file").string(), {}));
  fs::create_symlink(root_ / "a" / "b" / "file", root_ / "a" / "b" / "file-link");
  EXPECT_FALSE(NameWatch::For((root_ / "a" / "b" / "file-link").string(), {}));
  EXPECT_FALSE(NameWatch::For((root_ / "a" / "b" / "file").string(), {"file-link"}));
  EXPECT_FALSE(NameWatch::For((root_ / "link" / ".." / "a" / "b" / "file").string(), {}));
  EXPECT_TRUE(NameWatch::For((root_ / "a" / "b" / "file").string(), {"file-wal"}));
}

TEST_F(Folder, SqliteSeesAFolderOnThePathSwappedAtTheNextStatement) {
  const fs::path live = root_ / "live";
  fs::create_directories(live);
  const std::string url = "sqlite:" + (live / "ger.db").string();
  auto db = Connection::Open(url);
  db->ExecuteScript("CREATE TABLE T (K VARCHAR(4) NOT NULL PRIMARY KEY)");
  db->Execute("INSERT INTO T (K) VALUES (:K)", {{"K", std::string("01")}});
  // A second connection has a watch of its own; an answer it remembers is no way around it.
  auto second = Connection::Open(url);
  auto remembered = [&] {
    return second->Remembered(
        "rows", [&] { return std::to_string(second->Query("SELECT K FROM T").rows.size()); });
  };
  for (int i = 0; i < 3; ++i) {
    Touch(live / ("notes-" + std::to_string(i)));  // files coming and going beside it
    fs::remove(live / ("notes-" + std::to_string(i)));
    EXPECT_EQ(db->Query("SELECT K FROM T").rows.size(), 1u);
    EXPECT_EQ(remembered(), "1");
  }

  // The folder moved aside, and a copy of the database in a new folder of the same name.
  fs::rename(live, root_ / "kept");
  fs::create_directories(live);
  fs::copy_file(root_ / "kept" / "ger.db", live / "ger.db");
  EXPECT_THROW(db->Query("SELECT K FROM T"), FileChangedError);
  EXPECT_THROW(db->Query("SELECT K FROM T"), FileChangedError);
  EXPECT_THROW(remembered(), FileChangedError);
  EXPECT_THROW(second->Query("SELECT K FROM T"), FileChangedError);

  // The original back: served again.
  fs::remove_all(live);
  fs::rename(root_ / "kept", live);
  EXPECT_EQ(db->Query("SELECT K FROM T").rows.size(), 1u);
  EXPECT_EQ(remembered(), "1");
}

// A serving thread marks each read of requests: between two marks one look per connection stands
// for its statements, a swap made before a mark is seen by the statements after it, and a commit
// always looks anew.
TEST_F(Folder, ASwapBeforeARequestWasReadIsSeenAfterTheReadAndByEveryCommit) {
  const fs::path live = root_ / "live";
  fs::create_directories(live);
  const std::string url = "sqlite:" + (live / "ger.db").string();
  auto swap = [&] {
    fs::rename(live, root_ / "kept");
    fs::create_directories(live);
    fs::copy_file(root_ / "kept" / "ger.db", live / "ger.db");
  };
  std::thread([&] {  // the marks are a thread's own
    auto db = Connection::Open(url);
    db->ExecuteScript("CREATE TABLE T (K VARCHAR(4) NOT NULL PRIMARY KEY)");
    MarkRequestsRead();
    EXPECT_EQ(db->Query("SELECT K FROM T").rows.size(), 0u);
    swap();
    // Requests read before the swap: the look made after their reading stands.
    EXPECT_EQ(db->Query("SELECT K FROM T").rows.size(), 0u);
    {
      Transaction tx(*db);
      db->Execute("INSERT INTO T (K) VALUES ('01')");
      EXPECT_THROW(tx.Commit(), FileChangedError);
    }
    MarkRequestsRead();
    EXPECT_THROW(db->Query("SELECT K FROM T"), FileChangedError);

    fs::remove_all(live);
    fs::rename(root_ / "kept", live);
    MarkRequestsRead();
    EXPECT_EQ(db->Query("SELECT K FROM T").rows.size(), 0u);
  }).join();
}
