#pragma once
// ChangeWatcher: a thread of its own that asks the application server to tell it when the change
// number moves past the one a screen holds (the long poll "AguardaAlteracao", which parks on the
// server and costs nothing while nothing changes), and hands each new number to a callback.
//
// The watcher has its own connection, set up by the screen as the screen's own (address, token,
// authorities). A failed call is not reported: the watcher waits (0.5 s, doubling to 10 s) and
// asks again, so a server that is down costs a call now and then and shows no message; the
// screen's own calls still report it. The destructor abandons the parked call at once (an eventfd
// the connection's waits watch) and joins the thread.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "net/netconnection.h"

namespace ger {

class ChangeWatcher {
 public:
  // `configure` sets the connection up (it runs on the watcher's thread, before each connect, so
  // it must only read what the screen set before the watcher started); `news` is called on the
  // watcher's thread with each number past the ones already told and the one held.
  ChangeWatcher(std::function<void(TNetConnection&)> configure, std::int64_t held,
                std::function<void(std::int64_t number)> news);
  ~ChangeWatcher();
  ChangeWatcher(const ChangeWatcher&) = delete;
  ChangeWatcher& operator=(const ChangeWatcher&) = delete;

  // The number the screen holds now (after it read the changes); any thread.
  void Hold(std::int64_t number);
  // The longest a call parks on the server, in seconds (the server clamps it to 0..25).
  static constexpr int kWaitSeconds = 25;

 private:
  void Run();
  // Waits `ms` or until stopped; true when stopped.
  bool Pause(int ms);

  std::function<void(TNetConnection&)> configure_;
  std::function<void(std::int64_t)> news_;
  int cancel_ = -1;  // the eventfd that ends the parked call
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::int64_t held_ = 0;
  std::thread thread_;
};

}  // namespace ger
