#include "net/http_channel.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>

namespace ger::net {

namespace {

using Clock = std::chrono::steady_clock;

// Room made ahead for an announced length: an ordinary answer (a company list of megabytes) is
// read without copies, while an absurd announcement costs nothing until its bytes really come.
constexpr std::size_t kReserveAhead = std::size_t{16} << 20;

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);  // header names and the values looked at are ASCII
         });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool ContainsToken(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    std::size_t comma = list.find(',');
    if (SameLetters(Trim(list.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

// Waits for a socket to become ready; false on timeout or error, or when `cancel` (not -1) became
// readable first (then `cancelled` is set).
bool Wait(int fd, short events, int timeoutMs, int cancel = -1, bool* cancelled = nullptr) {
  pollfd p[2] = {{fd, events, 0}, {cancel, POLLIN, 0}};
  int rc;
  do {
    rc = ::poll(p, cancel >= 0 ? 2 : 1, timeoutMs);
  } while (rc < 0 && errno == EINTR);
  if (rc > 0 && cancel >= 0 && p[1].revents != 0) {
    if (cancelled) *cancelled = true;
    return false;
  }
  return rc > 0;
}

}  // namespace

HttpChannel::HttpChannel(std::string host, int port, int timeoutSeconds, std::size_t maxAnswer,
                         std::optional<TlsOptions> tls)
    : host_(std::move(host)),
      port_(port),
      timeoutSeconds_(std::max(timeoutSeconds, 1)),
      maxAnswer_(maxAnswer),
      tlsOptions_(std::move(tls)) {}

HttpChannel::~HttpChannel() {
  Close();
}

void HttpChannel::Close() {
  if (tls_) tls_->Shutdown();
  tls_.reset();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool HttpChannel::Open() {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port_);
  failure_ = HttpFailure::Unreachable;
  if (::getaddrinfo(host_.c_str(), service.c_str(), &hints, &found) != 0) return false;
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
  for (addrinfo* a = found; a; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    // An address that does not answer leaves time for the next one.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    const int connectMs = static_cast<int>(std::clamp<long long>(left, 0, 5000));
    int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc < 0 && errno == EINPROGRESS && Wait(fd, POLLOUT, connectMs, cancelFd_)) {
      int err = 0;
      socklen_t len = sizeof err;
      rc = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0 ? 0 : -1;
    }
    if (rc != 0) {
      ::close(fd);
      continue;
    }
    // Non-blocking from here on: every wait is bounded by what is left of the call's deadline,
    // so a server trickling bytes cannot stretch a call. A request goes out in one write, so
    // Nagle's algorithm would only delay it.
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd_ = fd;
    failure_ = HttpFailure::None;
    return !tlsOptions_ || Secure();
  }
  return false;
}

// The handshake on the connected socket, under the call's deadline. A refusal closes the
// connection: nothing of the request has been sent, and it is not sent in the clear instead.
bool HttpChannel::Secure() {
  if (!tlsContext_) tlsContext_ = std::make_unique<TlsContext>(tlsOptions_->caFile);
  tls_ = std::make_unique<TlsSession>(*tlsContext_, fd_, host_);
  for (;;) {
    const TlsIo io = tls_->Handshake();
    if (io == TlsIo::Done) return true;
    if (io == TlsIo::WantRead || io == TlsIo::WantWrite) {
      if (WaitReady(io == TlsIo::WantRead ? POLLIN : POLLOUT)) continue;
    } else {
      refusal_ = tls_->Refusal();
      failure_ = HttpFailure::Refused;
    }
    Close();
    return false;
  }
}

// A kept connection is usable when nothing is waiting on it: readable means the server closed it
// (idle too long, or restarted) or sent something unasked.
bool HttpChannel::StillOpen() const {
  if (fd_ < 0 || (tls_ && tls_->Pending())) return false;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

bool HttpChannel::SendAll(std::string_view head, std::string_view body) {
  if (tls_) {
    // A small request goes out as one record, as it goes out in one write in the clear.
    if (body.size() <= kInput) return SendSecure(std::string(head).append(body));
    return SendSecure(head) && SendSecure(body);
  }
  iovec parts[2] = {{const_cast<char*>(head.data()), head.size()},
                    {const_cast<char*>(body.data()), body.size()}};
  msghdr msg{};
  msg.msg_iov = parts;
  msg.msg_iovlen = 2;
  while (msg.msg_iovlen > 0) {
    ssize_t n = ::sendmsg(fd_, &msg, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (!WaitReady(POLLOUT)) return false;
        continue;
      }
      failure_ = HttpFailure::Broken;
      return false;
    }
    auto sent = static_cast<std::size_t>(n);
    while (msg.msg_iovlen > 0 && sent >= msg.msg_iov[0].iov_len) {
      sent -= msg.msg_iov[0].iov_len;
      ++msg.msg_iov;
      --msg.msg_iovlen;
    }
    if (msg.msg_iovlen > 0) {
      msg.msg_iov[0].iov_base = static_cast<char*>(msg.msg_iov[0].iov_base) + sent;
      msg.msg_iov[0].iov_len -= sent;
    }
  }
  return true;
}

bool HttpChannel::SendSecure(std::string_view data) {
  while (!data.empty()) {
    std::size_t n = 0;
    switch (tls_->Write(data.data(), data.size(), n)) {
      case TlsIo::Done:
        data.remove_prefix(n);
        break;
      case TlsIo::WantRead:
        if (!WaitReady(POLLIN)) return false;
        break;
      case TlsIo::WantWrite:
        if (!WaitReady(POLLOUT)) return false;
        break;
      default:
        failure_ = HttpFailure::Broken;
        return false;
    }
  }
  return true;
}

bool HttpChannel::WaitReady(short events) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
  bool cancelled = false;
  if (left <= 0 || !Wait(fd_, events, static_cast<int>(std::min<long long>(left, INT32_MAX)),
                         cancelFd_, &cancelled)) {
    // Wait() also fails on a poll error, which is rare enough to count as running out of time.
    failure_ = cancelled ? HttpFailure::Broken : HttpFailure::Timeout;
    return false;
  }
  return true;
}

// Some bytes, as soon as there are any; 0 at the end of the stream, -1 with failure_ set.
ssize_t HttpChannel::Recv(char* data, std::size_t size) {
  while (tls_) {
    std::size_t n = 0;
    switch (tls_->Read(data, size, n)) {
      case TlsIo::Done:
        return static_cast<ssize_t>(n);
      case TlsIo::Closed:
        streamEnded_ = true;
        return 0;
      case TlsIo::WantRead:
        if (!WaitReady(POLLIN)) return -1;
        break;
      case TlsIo::WantWrite:
        if (!WaitReady(POLLOUT)) return -1;
        break;
      default:
        // Also a stream ended without the server's close_notify: what came may be cut short.
        failure_ = HttpFailure::Broken;
        return -1;
    }
  }
  for (;;) {
    ssize_t n = ::recv(fd_, data, size, MSG_DONTWAIT);
    if (n == 0) streamEnded_ = true;
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      failure_ = HttpFailure::Broken;
      return -1;
    }
    if (!WaitReady(POLLIN)) return -1;
  }
}

// Receives more into the input buffer, after what is still unread; false on end of stream, error
// or timeout, or when the buffer is full of unread bytes (a head that never ends).
bool HttpChannel::More() {
  if (inStart_ > 0) {
    std::memmove(in_.get(), in_.get() + inStart_, inEnd_ - inStart_);
    inEnd_ -= inStart_;
    inStart_ = 0;
  }
  if (inEnd_ == kInput) {
    failure_ = HttpFailure::Broken;
    return false;
  }
  ssize_t n = Recv(in_.get() + inEnd_, kInput - inEnd_);
  if (n <= 0) {
    if (n == 0) failure_ = HttpFailure::Broken;
    return false;
  }
  inEnd_ += static_cast<std::size_t>(n);
  return true;
}

// The next line of the input (without its CRLF), waiting for it if need be.
std::optional<std::string_view> HttpChannel::Line() {
  for (;;) {
    std::string_view pending = Pending();
    std::size_t eol = pending.find("\r\n");
    if (eol != std::string_view::npos) {
      inStart_ += eol + 2;
      return pending.substr(0, eol);
    }
    if (!More()) return std::nullopt;
  }
}

// Appends n bytes of the input to out: what was already received, then straight from the socket
// into out's own room, in as few reads as the socket allows. The room grows with what has come
// (doubling), never ahead of it by more than what is already there.
bool HttpChannel::Take(std::string& out, std::size_t n) {
  std::string_view pending = Pending();
  const std::size_t now = std::min(n, pending.size());
  out.append(pending.data(), now);
  inStart_ += now;
  n -= now;
  std::size_t have = out.size();
  bool ok = true;
  while (n > 0) {
    if (out.size() == have)
      out.resize(have + std::min(n, std::max({kInput, have, out.capacity() - have})));
    ssize_t got = Recv(out.data() + have, std::min(n, out.size() - have));
    if (got <= 0) {
      if (got == 0) failure_ = HttpFailure::Broken;
      ok = false;
      break;
    }
    have += static_cast<std::size_t>(got);
    n -= static_cast<std::size_t>(got);
  }
  out.resize(have);
  return ok;
}

std::optional<HttpReply> HttpChannel::Post(const std::string& path, std::string_view body,
                                           const std::string& bearerToken) {
  deadline_ = Clock::now() + std::chrono::seconds(timeoutSeconds_);
  failure_ = HttpFailure::None;
  if (!StillOpen() && !Open()) return std::nullopt;
  std::string head;
  head.reserve(160 + path.size() + host_.size() + bearerToken.size());
  head += "POST ";
  head += path;
  head += " HTTP/1.1\r\nHost: ";
  head += host_;
  head += ':';
  head += std::to_string(port_);
  head += "\r\nContent-Type: application/json\r\nAccept: application/json\r\nContent-Length: ";
  head += std::to_string(body.size());
  if (!bearerToken.empty()) {
    head += "\r\nAuthorization: Bearer ";
    head += bearerToken;
  }
  head += "\r\n\r\n";
  std::optional<HttpReply> reply;
  if (SendAll(head, body)) reply = Receive();
  if (!reply) Close();
  return reply;
}

std::optional<HttpReply> HttpChannel::ReadAnswer(int fd) {
  Close();
  // Receive closes the channel's socket when the answer says so; a copy keeps the caller's open.
  fd_ = ::dup(fd);
  if (fd_ < 0) return Fail(HttpFailure::Broken);
  deadline_ = Clock::now() + std::chrono::seconds(timeoutSeconds_);
  failure_ = HttpFailure::None;
  if (tlsOptions_ && !Secure()) return std::nullopt;
  auto reply = Receive();
  Close();
  return reply;
}

std::optional<HttpReply> HttpChannel::Fail(HttpFailure why) {
  failure_ = why;
  return std::nullopt;
}

std::optional<HttpReply> HttpChannel::Receive() {
  inStart_ = inEnd_ = 0;  // nothing is left over from a previous answer: each is read whole
  streamEnded_ = false;
  // Interim answers (1xx) come before the real one, each with a head of its own; the call's
  // deadline bounds how many a server can send.
  for (;;) {
    // Status line: HTTP/1.x SP 3-digit code ...
    auto statusLine = Line();
    if (!statusLine) return std::nullopt;
    if (statusLine->size() < 12 || statusLine->substr(0, 7) != "HTTP/1.")
      return Fail(HttpFailure::Broken);
    const bool http10 = (*statusLine)[7] == '0';
    int status = 0;
    const char* code = statusLine->data() + 9;
    auto [p, ec] = std::from_chars(code, code + 3, status);
    if (ec != std::errc() || p != code + 3 || status < 100) return Fail(HttpFailure::Broken);

    std::optional<std::size_t> length;
    bool chunked = false;
    bool close = http10;
    for (;;) {
      auto line = Line();
      if (!line) return std::nullopt;
      if (line->empty()) break;
      std::size_t colon = line->find(':');
      if (colon == std::string_view::npos) continue;
      std::string_view name = Trim(line->substr(0, colon));
      std::string_view value = Trim(line->substr(colon + 1));
      if (SameLetters(name, "content-length")) {
        std::size_t n = 0;
        auto [q, e] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (e == std::errc::result_out_of_range) return Fail(HttpFailure::TooLarge);
        if (e != std::errc() || q != value.data() + value.size() || (length && *length != n))
          return Fail(HttpFailure::Broken);
        length = n;
      } else if (SameLetters(name, "transfer-encoding")) {
        chunked = ContainsToken(value, "chunked");
      } else if (SameLetters(name, "connection")) {
        if (ContainsToken(value, "close")) close = true;
        if (ContainsToken(value, "keep-alive")) close = false;
      }
    }
    if (status < 200) continue;

    HttpReply reply;
    reply.status = status;
    if (chunked) {
      // Chunk by chunk: a size in hex (extensions after ';' ignored), its bytes, CRLF; a zero
      // size and the trailer lines end it.
      for (;;) {
        auto line = Line();
        if (!line) return std::nullopt;
        std::size_t size = 0;
        auto [q, e] = std::from_chars(line->data(), line->data() + line->size(), size, 16);
        if (e == std::errc::result_out_of_range ||
            (e == std::errc() && q != line->data() && size > maxAnswer_ - reply.body.size()))
          return Fail(HttpFailure::TooLarge);
        if (e != std::errc() || q == line->data()) return Fail(HttpFailure::Broken);
        if (size == 0) break;
        std::string crlf;
        if (!Take(reply.body, size) || !Take(crlf, 2)) return std::nullopt;
        if (crlf != "\r\n") return Fail(HttpFailure::Broken);
      }
      for (;;) {
        auto trailer = Line();
        if (!trailer) return std::nullopt;
        if (trailer->empty()) break;
      }
    } else if (length) {
      if (*length > maxAnswer_) return Fail(HttpFailure::TooLarge);
      reply.body.reserve(std::min(*length, kReserveAhead));
      if (!Take(reply.body, *length)) return std::nullopt;
    } else {
      // No length: the body runs to the end of the stream.
      for (;;) {
        std::string_view pending = Pending();
        if (reply.body.size() + pending.size() > maxAnswer_) return Fail(HttpFailure::TooLarge);
        reply.body.append(pending);
        inStart_ = inEnd_;
        if (More()) continue;
        // Out of time, or broken off: over TLS without the server's close_notify, which anyone
        // on the way could have cut.
        if (!streamEnded_) return std::nullopt;
        failure_ = HttpFailure::None;  // the end of the stream ends this body
        break;
      }
      close = true;
    }
    // Bytes beyond the answer were never asked for: the connection is out of step.
    if (close || !Pending().empty()) Close();
    return reply;
  }
}

}  // namespace ger::net
