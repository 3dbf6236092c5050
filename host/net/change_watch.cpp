#include "net/change_watch.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <boost/json.hpp>
#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>

namespace ger {

ChangeWatcher::ChangeWatcher(std::function<void(TNetConnection&)> configure, std::int64_t held,
                             std::function<void(std::int64_t number)> news)
    : configure_(std::move(configure)), news_(std::move(news)), held_(held) {
  cancel_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (cancel_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  thread_ = std::thread([this] { Run(); });
}

ChangeWatcher::~ChangeWatcher() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(cancel_, &one, sizeof one);
  thread_.join();
  ::close(cancel_);
}

void ChangeWatcher::Hold(std::int64_t number) {
  std::lock_guard lock(mutex_);
  held_ = std::max(held_, number);
}

bool ChangeWatcher::Pause(int ms) {
  std::unique_lock lock(mutex_);
  return wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void ChangeWatcher::Run() {
  TNetConnection net;
  net.OwnThread = true;
  net.CancelFd = cancel_;
  net.BeforeConnect = [this](TNetConnection& c) {
    configure_(c);
    // The call parks for up to kWaitSeconds; the connection's own limit comes on top of that.
    c.TimeoutSeconds = kWaitSeconds + std::max(c.TimeoutSeconds, 5);
  };
  std::int64_t told = -1;
  int backoff = 0;
  for (;;) {
    std::int64_t since;
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      since = std::max(held_, told);
    }
    const ServerAnswer answer = net.CallEncoded(
        "AguardaAlteracao", "[" + std::to_string(since) + "," + std::to_string(kWaitSeconds) + "]");
    std::int64_t number = -1;
    if (answer.ok()) {
      try {
        number = answer.payload->Value().to_number<std::int64_t>();
      } catch (const std::exception&) {
        number = -1;
      }
    }
    if (number < 0) {
      // Down, refused or not understood: quietly later, less often while it lasts.
      backoff = std::clamp(backoff * 2, 500, 10000);
      if (Pause(backoff)) return;
      continue;
    }
    backoff = 0;
    if (number > since) {
      told = number;
      news_(number);
    } else if (number < since) {
      // The server's number went back (a database restored): what the screen holds is not
      // comparable any more; it is told, and reads the whole list again.
      told = -1;
      {
        std::lock_guard lock(mutex_);
        held_ = number;
      }
      news_(number);
    }
  }
}

}  // namespace ger
