// The watch behind the long poll, in this process with a counted stand-in for the database's
// number: it reads nothing while no call waits, looks each interval while one does, at once after
// a commit, and wakes only when the number moves.
#include "change_watch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using ger::server::ChangeWatch;
using namespace std::chrono_literals;

namespace {

struct Counted {
  std::atomic<std::int64_t> number{5};
  std::atomic<int> reads{0}, wakes{0};
  std::unique_ptr<ChangeWatch> Watch(std::chrono::milliseconds interval) {
    return std::make_unique<ChangeWatch>(
        [this] {
          ++reads;
          return number.load();
        },
        [this] { ++wakes; }, interval);
  }
};

template <typename F>
bool Within(std::chrono::milliseconds limit, F done) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  return done();
}

}  // namespace

TEST(ChangeWatch, ReadsNothingIdleAndLooksEachIntervalWhileACallWaits) {
  Counted db;
  auto watch = db.Watch(20ms);
  watch->Committed();  // no one waits: nothing to tell
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(db.reads, 0);
  {
    auto ticket = watch->Wait();
    EXPECT_EQ(watch->Waiting(), 1);
    // The first look comes at once (the number moves from unknown: one wake-up).
    ASSERT_TRUE(Within(5s, [&] { return db.reads >= 1; }));
    EXPECT_TRUE(Within(5s, [&] { return watch->Known() == 5; }));
    const int woken = db.wakes;
    EXPECT_TRUE(Within(5s, [&] { return db.reads >= 4; }));
    EXPECT_EQ(db.wakes, woken);  // looked, but nothing moved
    db.number = 6;
    EXPECT_TRUE(Within(5s, [&] { return db.wakes == woken + 1; }));
    EXPECT_EQ(watch->Known(), 6);
  }
  EXPECT_EQ(watch->Waiting(), 0);
  std::this_thread::sleep_for(60ms);  // a look under way ends
  const int reads = db.reads;
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(db.reads, reads);
}

TEST(ChangeWatch, ACommitIsLookedAtOnceAndANumberACallReadKeepsTheNewest) {
  Counted db;
  auto watch = db.Watch(10min);  // only the commit can make it look again
  auto ticket = watch->Wait();
  ASSERT_TRUE(Within(5s, [&] { return watch->Known() == 5; }));
  db.number = 9;
  watch->Committed();
  EXPECT_TRUE(Within(5s, [&] { return watch->Known() == 9; }));
  watch->Saw(7);
  EXPECT_EQ(watch->Known(), 9);
  watch->Saw(12);
  EXPECT_EQ(watch->Known(), 12);
  watch->Stop();
  ticket.reset();  // a ticket may outlive the thread
  EXPECT_EQ(watch->Waiting(), 0);
}
