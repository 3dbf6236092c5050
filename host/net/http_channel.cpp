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

constexpr std::size_t kMaxBody = std::size_t{1} << 31;  // what a client is willing to hold

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

// Waits for a socket to become ready; false on timeout or error.
bool Wait(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, timeoutMs);
  } while (rc < 0 && errno == EINTR);
  return rc > 0;
}

}  // namespace

HttpChannel::HttpChannel(std::string host, int port, int timeoutSeconds)
    : host_(std::move(host)), port_(port), timeoutSeconds_(std::max(timeoutSeconds, 1)) {}

HttpChannel::~HttpChannel() {
  Close();
}

void HttpChannel::Close() {
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
  if (::getaddrinfo(host_.c_str(), service.c_str(), &hints, &found) != 0) return false;
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
  const int connectMs = std::min(timeoutSeconds_, 5) * 1000;
  for (addrinfo* a = found; a; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc < 0 && errno == EINPROGRESS && Wait(fd, POLLOUT, connectMs)) {
      int err = 0;
      socklen_t len = sizeof err;
      rc = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0 ? 0 : -1;
    }
    if (rc != 0) {
      ::close(fd);
      continue;
    }
    // Blocking from here on, with the call's time limit on every read and write. A request goes
    // out in one write, so Nagle's algorithm would only delay it.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval limit{timeoutSeconds_, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    fd_ = fd;
    return true;
  }
  return false;
}

// A kept connection is usable when nothing is waiting on it: readable means the server closed it
// (idle too long, or restarted) or sent something unasked.
bool HttpChannel::StillOpen() const {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

bool HttpChannel::SendAll(std::string_view head, std::string_view body) {
  iovec parts[2] = {{const_cast<char*>(head.data()), head.size()},
                    {const_cast<char*>(body.data()), body.size()}};
  msghdr msg{};
  msg.msg_iov = parts;
  msg.msg_iovlen = 2;
  while (msg.msg_iovlen > 0) {
    ssize_t n = ::sendmsg(fd_, &msg, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
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

// Receives more into the input buffer, after what is still unread; false on end of stream, error
// or timeout, or when the buffer is full of unread bytes (a head that never ends).
bool HttpChannel::More() {
  if (inStart_ > 0) {
    std::memmove(in_.get(), in_.get() + inStart_, inEnd_ - inStart_);
    inEnd_ -= inStart_;
    inStart_ = 0;
  }
  if (inEnd_ == kInput) return false;
  ssize_t n;
  do {
    n = ::recv(fd_, in_.get() + inEnd_, kInput - inEnd_, 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
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
// into out's own room, in as few reads as the socket allows.
bool HttpChannel::Take(std::string& out, std::size_t n) {
  std::string_view pending = Pending();
  const std::size_t now = std::min(n, pending.size());
  out.append(pending.data(), now);
  inStart_ += now;
  n -= now;
  if (n == 0) return true;
  std::size_t have = out.size();
  out.resize(have + n);
  while (n > 0) {
    ssize_t got = ::recv(fd_, out.data() + have, n, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    have += static_cast<std::size_t>(got);
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

std::optional<HttpReply> HttpChannel::Post(const std::string& path, std::string_view body,
                                           const std::string& bearerToken) {
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

std::optional<HttpReply> HttpChannel::Receive() {
  inStart_ = inEnd_ = 0;  // nothing is left over from a previous answer: each is read whole
  for (;;) {              // interim answers (1xx) come before the real one
    // Status line: HTTP/1.x SP 3-digit code ...
    auto statusLine = Line();
    if (!statusLine || statusLine->size() < 12 || statusLine->substr(0, 7) != "HTTP/1.")
      return std::nullopt;
    const bool http10 = (*statusLine)[7] == '0';
    int status = 0;
    const char* code = statusLine->data() + 9;
    auto [p, ec] = std::from_chars(code, code + 3, status);
    if (ec != std::errc() || p != code + 3 || status < 100) return std::nullopt;

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
        if (e != std::errc() || q != value.data() + value.size() || n > kMaxBody ||
            (length && *length != n))
          return std::nullopt;
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
        if (e != std::errc() || q == line->data() || size > kMaxBody - reply.body.size())
          return std::nullopt;
        if (size == 0) break;
        std::string crlf;
        if (!Take(reply.body, size) || !Take(crlf, 2) || crlf != "\r\n") return std::nullopt;
      }
      for (;;) {
        auto trailer = Line();
        if (!trailer) return std::nullopt;
        if (trailer->empty()) break;
      }
    } else if (length) {
      reply.body.reserve(*length);
      if (!Take(reply.body, *length)) return std::nullopt;
    } else {
      // No length: the body runs to the end of the stream.
      do {
        std::string_view pending = Pending();
        if (reply.body.size() + pending.size() > kMaxBody) return std::nullopt;
        reply.body.append(pending);
        inStart_ = inEnd_;
      } while (More());
      close = true;
    }
    // Bytes beyond the answer were never asked for: the connection is out of step.
    if (close || !Pending().empty()) Close();
    return reply;
  }
}

}  // namespace ger::net
