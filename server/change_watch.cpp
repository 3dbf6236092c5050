#include "change_watch.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <climits>

#include "rpc_request.h"

namespace ger::server {

namespace json = boost::json;

namespace {

// A whole number held in a JSON number (an integer, or a double without a fraction), in range.
bool WholeNumber(const json::value& v, std::int64_t low, std::int64_t high, std::int64_t* out) {
  if (v.is_int64()) {
    *out = v.get_int64();
  } else if (v.is_uint64()) {
    if (v.get_uint64() > static_cast<std::uint64_t>(high)) return false;
    *out = static_cast<std::int64_t>(v.get_uint64());
  } else if (v.is_double()) {
    const double d = v.get_double();
    // Above 2^53 a double no longer names one whole number.
    if (!(d >= static_cast<double>(low) && d <= 9007199254740992.0) ||
        d != static_cast<double>(static_cast<std::int64_t>(d)))
      return false;
    *out = static_cast<std::int64_t>(d);
  } else {
    return false;
  }
  return *out >= low && *out <= high;
}

}  // namespace

ChangeWait ParseChangeWait(const json::array& params) {
  ChangeWait wait;
  if (params.empty() || params.size() > 2)
    throw RpcError(kInvalidParams, std::string(kWaitMethod) +
                                       " expects [number] or [number, seconds], got " +
                                       std::to_string(params.size()) + " parameter(s).");
  if (!WholeNumber(params[0], 0, INT64_MAX, &wait.held))
    throw RpcError(kInvalidParams, std::string(kWaitMethod) +
                                       ": parameter 1 must be the change number held, a whole "
                                       "number from 0.");
  if (params.size() > 1) {
    std::int64_t seconds = 0;
    if (!WholeNumber(params[1], INT64_MIN, INT64_MAX, &seconds))
      throw RpcError(kInvalidParams, std::string(kWaitMethod) +
                                         ": parameter 2 must be the longest wait in seconds, a "
                                         "whole number.");
    wait.longest = std::chrono::seconds(std::clamp<std::int64_t>(seconds, 0, kLongestWait.count()));
  }
  return wait;
}

ChangeWatch::ChangeWatch(std::function<std::int64_t()> read, std::function<void()> advanced,
                         std::chrono::milliseconds interval)
    : read_(std::move(read)),
      advanced_(std::move(advanced)),
      interval_(interval),
      thread_([this](std::stop_token stop) { Run(std::move(stop)); }) {}

ChangeWatch::~ChangeWatch() {
  Stop();
}

void ChangeWatch::Stop() {
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

void ChangeWatch::Saw(std::int64_t number) {
  std::int64_t known = known_.load(std::memory_order_relaxed);
  while (number > known && !known_.compare_exchange_weak(known, number)) {
  }
}

void ChangeWatch::Committed() {
  {
    std::lock_guard lock(mutex_);
    if (waiting_ == 0) return;  // no one to tell; the next call reads the number itself
    lookNow_ = true;
  }
  changed_.notify_one();
}

ChangeWatch::Ticket::Ticket(ChangeWatch& watch) : watch_(watch) {
  {
    std::lock_guard lock(watch_.mutex_);
    ++watch_.waiting_;
    watch_.lookNow_ = true;
  }
  watch_.changed_.notify_one();
}

ChangeWatch::Ticket::~Ticket() {
  std::lock_guard lock(watch_.mutex_);
  --watch_.waiting_;
}

int ChangeWatch::Waiting() const {
  std::lock_guard lock(mutex_);
  return waiting_;
}

void ChangeWatch::Run(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  // The looks of the interval keep their own pace: a look asked for in between (a commit, a new
  // waiting call) does not put the next one off.
  auto next = std::chrono::steady_clock::now();
  while (!stop.stop_requested()) {
    // Idle: asleep until a call waits. Waiting: a look each interval, or at once when asked.
    if (waiting_ == 0) {
      changed_.wait(lock, stop, [this] { return waiting_ > 0; });
      next = std::chrono::steady_clock::now() + interval_;
    } else if (!changed_.wait_until(lock, stop, next,
                                    [this] { return lookNow_ || waiting_ == 0; })) {
      next = std::max(next + interval_, std::chrono::steady_clock::now());
    }
    if (stop.stop_requested() || waiting_ == 0) continue;
    lookNow_ = false;
    lock.unlock();
    Look();
    lock.lock();
  }
}

void ChangeWatch::Look() {
  std::int64_t now;
  try {
    now = read_();
  } catch (const std::exception& e) {
    // The waiting calls keep waiting (their time still runs out); the next look tries again.
    spdlog::warn("cannot read the change number: {}", e.what());
    return;
  }
  std::int64_t known = known_.load(std::memory_order_relaxed);
  bool moved = false;
  while (now > known && !(moved = known_.compare_exchange_weak(known, now))) {
  }
  if (moved) advanced_();
}

}  // namespace ger::server
