#pragma once
// The long poll of the company list: a seat that holds change number N calls AguardaAlteracao(N)
// and is answered once the number has passed N, or when its wait runs out. Waiting calls are
// parked on the HTTP loops (no thread each, nothing read from them); the watch keeps the number
// as this server last saw it and wakes them when it moves: at once after each of this server's
// own commits, and by one shared look at the database every `interval` while any call waits, for
// the changes of other servers and programs on the same database. Idle, it costs nothing: its
// thread sleeps until a call waits. See docs/ARCHITECTURE.md.
#include <boost/json/array.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace ger::server {

inline constexpr std::string_view kWaitMethod = "AguardaAlteracao";
inline constexpr std::chrono::seconds kLongestWait{25};

// The arguments of AguardaAlteracao: [numero] or [numero, segundos]. RpcError for a malformed
// one (in English: a client's fault, for whoever runs it).
struct ChangeWait {
  std::int64_t held = 0;  // the number the seat holds
  std::chrono::seconds longest = kLongestWait;
};
ChangeWait ParseChangeWait(const boost::json::array& params);

class ChangeWatch {
 public:
  // `read` reads the number from the database (on the watch's thread); `advanced` is called when
  // the number seen has moved, from the watch's thread.
  ChangeWatch(std::function<std::int64_t()> read, std::function<void()> advanced,
              std::chrono::milliseconds interval);
  ~ChangeWatch();
  // Ends the watch's thread (`advanced` is not called after it); tickets may still be let go.
  void Stop();
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;

  // The number as last seen.
  std::int64_t Known() const { return known_.load(std::memory_order_acquire); }
  // A number a call read itself: kept when it is newer (without waking anyone: the call that
  // read it has its answer).
  void Saw(std::int64_t number);
  // After this server committed a change: the database is looked at now, when anyone waits.
  void Committed();

  // Held by each waiting call: the database is looked at only while one is held. Taking one also
  // looks at once, so that a change committed between the call's own reading and its parking is
  // not left to the next turn.
  class Ticket {
   public:
    explicit Ticket(ChangeWatch& watch);
    ~Ticket();
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

   private:
    ChangeWatch& watch_;
  };
  std::shared_ptr<Ticket> Wait() { return std::make_shared<Ticket>(*this); }

  // Calls waiting now, for tests and diagnostics.
  int Waiting() const;

 private:
  void Run(std::stop_token stop);
  void Look();

  std::function<std::int64_t()> read_;
  std::function<void()> advanced_;
  const std::chrono::milliseconds interval_;
  std::atomic<std::int64_t> known_{-1};
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  int waiting_ = 0;
  bool lookNow_ = false;
  std::jthread thread_;  // last: started once the rest is in place
};

}  // namespace ger::server
