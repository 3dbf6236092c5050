// A save that waits for another writer's lock (a restore, a second server, an operator's
// transaction) is answered by a worker, so that the other clients of its event loop are answered
// meanwhile. The server runs one event loop, so every client shares it.
#include <atomic>
#include <thread>

#include "fault_support.h"

using namespace gerfault;
using ger::DataPacket;
using ger::Row;
using ger::TNetConnection;

namespace {

TEST(LockWait, ASaveWaitingForTheDatabaseLockLeavesItsLoopAnsweringOthers) {
  FreshDatabase db;
  ServerChild server(db.Url(), 0, {"--threads", "1", "--test-hooks"});
  TNetConnection saver, other;
  saver.Port = other.Port = server.Port();
  ger::ServerAnswer list = saver.Call("GetEmpresa");
  ASSERT_TRUE(list.ok()) << list.error;
  CompanySet cs(ger::codec::DecodePacket(list.payload->Text()));
  Row r = cs.Blank();
  cs.Put(r, "CDEMPRESA", "07");
  cs.Put(r, "NMEMPRESA", "Sétima");
  cs.Insert(std::move(r));

  // Another writer holds the lock a save needs; reads go on beside it.
  auto locker = ger::db::Connection::Open(db.Url());
  locker->Begin();
  if (db.IsPg()) locker->Execute("LOCK TABLE EMPRESA IN EXCLUSIVE MODE");

  std::atomic<bool> answered{false};
  ger::ServerAnswer saved;
  std::thread save([&] {
    saved = saver.Call("SetEmpresa", cs.Args());
    answered = true;
  });
  // Until the server has the save in hand (its loop answers this, or only after the save).
  bool answering = true;
  for (int i = 0; i < 500 && answering; ++i) {
    ger::ServerAnswer calls = other.Call("__calls", {"SetEmpresa"});
    answering = calls.ok();
    EXPECT_TRUE(calls.ok()) << calls.error;
    if (calls.ok() && calls.payload->Text() != "0") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  for (int i = 0; i < 3 && answering; ++i) {
    ger::ServerAnswer read = other.Call("GetVerifEmpresa", {"01"});
    answering = read.ok();
    EXPECT_TRUE(read.ok()) << read.error;
  }
  EXPECT_FALSE(answered.load()) << "the other client was answered only after the save: "
                                << (saved.ok() ? "saved" : saved.error);

  // The lock goes; the save that waited for it is stored.
  locker->Rollback();
  save.join();
  EXPECT_TRUE(saved.ok()) << saved.error;
  ger::ServerAnswer found = other.Call("GetVerifEmpresa", {"07"});
  ASSERT_TRUE(found.ok()) << found.error;
  EXPECT_EQ(ger::codec::DecodePacket(found.payload->Text()).rows.size(), 1u);
}

}  // namespace
