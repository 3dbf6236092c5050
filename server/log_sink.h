#pragma once
// The server's log sink: lines are gathered in memory and written to a file descriptor in
// blocks, when the block fills, when a warning or error is logged, and once a second (see
// main.cpp). A call therefore costs a formatted line and a short lock, not a write() or a
// wake-up of a logger thread; at tens of thousands of calls a second both showed up as the
// largest costs outside the kernel's network path.
#include <spdlog/formatter.h>
#include <spdlog/sinks/base_sink.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>

namespace ger::server {

// At most one line a second for an event that can come in floods (refused requests); the lines
// left out are counted, and the next line says how many there were.
class LogLimiter {
 public:
  // True when a line may be written now; `skipped` then holds how many were left out before it.
  bool Allow(std::size_t* skipped) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    auto next = next_.load(std::memory_order_relaxed);
    if (now < next || !next_.compare_exchange_strong(next, now + kSecond)) {
      skipped_.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    *skipped = skipped_.exchange(0, std::memory_order_relaxed);
    return true;
  }

 private:
  static constexpr std::chrono::steady_clock::rep kSecond =
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::seconds(1))
          .count();
  std::atomic<std::chrono::steady_clock::rep> next_{0};
  std::atomic<std::size_t> skipped_{0};
};

// The lines' form: "2026-12-09 23:54:04.123 info text", the pattern "%Y-%m-%d %H:%M:%S.%e %l %v"
// in local time; under systemd "<6>info text", the priority first, which the journal files the
// line under (`journalctl -p warning`), and no time (the journal stamps lines itself). Written here
// rather than by the logger's pattern, whose general machinery cost as much per call as the rest of
// the line; the date is worked out once a second.
class LineFormatter final : public spdlog::formatter {
 public:
  explicit LineFormatter(bool journal) : journal_(journal) {}

  void format(const spdlog::details::log_msg& msg, spdlog::memory_buf_t& dest) override {
    if (journal_) {
      // trace, debug, info, warn, error, critical, off
      static constexpr char kPriority[] = {'7', '7', '6', '4', '3', '2', '6'};
      const char prefix[] = {'<', kPriority[msg.level], '>'};
      dest.append(prefix, prefix + 3);
    } else {
      const auto second = std::chrono::floor<std::chrono::seconds>(msg.time);
      if (second != second_) {
        const std::time_t t = std::chrono::system_clock::to_time_t(second);
        std::tm local{};
        localtime_r(&t, &local);
        char text[40];
        stamp_.assign(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S.", &local));
        second_ = second;
      }
      dest.append(stamp_.data(), stamp_.data() + stamp_.size());
      const auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(msg.time - second).count();
      const char millis[] = {static_cast<char>('0' + ms / 100),
                             static_cast<char>('0' + ms / 10 % 10),
                             static_cast<char>('0' + ms % 10), ' '};
      dest.append(millis, millis + 4);
    }
    const auto level = spdlog::level::to_string_view(msg.level);
    dest.append(level.data(), level.data() + level.size());
    dest.push_back(' ');
    dest.append(msg.payload.data(), msg.payload.data() + msg.payload.size());
    dest.push_back('\n');
  }
  std::unique_ptr<spdlog::formatter> clone() const override {
    return std::make_unique<LineFormatter>(journal_);
  }

 private:
  bool journal_;
  std::chrono::system_clock::time_point second_{};  // the second `stamp_` was written for
  std::string stamp_;
};

class BufferedFdSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  explicit BufferedFdSink(int fd, std::size_t block = 32 * 1024) : fd_(fd), block_(block) {
    buffer_.reserve(block_ * 2);
  }
  ~BufferedFdSink() override { WriteOut(); }

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    spdlog::memory_buf_t formatted;
    formatter_->format(msg, formatted);
    buffer_.append(formatted.data(), formatted.size());
    if (buffer_.size() >= block_ || msg.level >= spdlog::level::warn) WriteOut();
  }
  void flush_() override { WriteOut(); }

 private:
  void WriteOut() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
      ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // a closed or full log must never stop the server; the lines go
      done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }

  int fd_;
  std::size_t block_;
  std::string buffer_;
};

}  // namespace ger::server
