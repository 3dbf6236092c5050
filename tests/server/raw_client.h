#pragma once
// A bare-socket HTTP client for the tests: it sends exactly the bytes it is given (malformed,
// split, pipelined) and reads answers one at a time, so what the server does with each is seen.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace gertest {

struct RawAnswer {
  int status = 0;
  std::string head;  // status line and headers
  std::string body;
  bool HasHeader(std::string_view line) const { return head.find(line) != std::string::npos; }
};

class RawClient {
 public:
  explicit RawClient(int port, int timeoutSeconds = 20) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) throw std::runtime_error("socket");
    timeval tv{timeoutSeconds, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0)
      throw std::runtime_error("connect");
  }
  ~RawClient() {
    if (fd_ >= 0) close(fd_);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  // False when the server closed or reset the connection.
  bool Send(std::string_view data) {
    while (!data.empty()) {
      ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }
  void ShutdownWrite() { shutdown(fd_, SHUT_WR); }

  // The next answer; nullopt when the connection ends (or times out) before it is whole.
  std::optional<RawAnswer> Read() {
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
      if (!Fill()) return std::nullopt;
    RawAnswer a;
    a.head = buffer_.substr(0, end + 2);
    buffer_.erase(0, end + 4);
    if (a.head.size() < 12) return std::nullopt;
    std::from_chars(a.head.data() + 9, a.head.data() + 12, a.status);
    std::size_t length = 0;
    if (auto at = a.head.find("Content-Length: "); at != std::string::npos)
      std::from_chars(a.head.data() + at + 16, a.head.data() + a.head.size(), length);
    while (buffer_.size() < length)
      if (!Fill()) return std::nullopt;
    a.body = buffer_.substr(0, length);
    buffer_.erase(0, length);
    return a;
  }

  // The next answer's status; 0 when no whole answer came.
  int ReadStatus() {
    auto a = Read();
    return a ? a->status : 0;
  }

  // True when the server ends the connection (end of stream or reset) with nothing more to read.
  bool ClosedByServer() {
    while (Fill()) {
    }
    return closed_ && buffer_.empty();
  }

 private:
  bool Fill() {
    char chunk[65536];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
      // A timeout is not a close.
      closed_ = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  std::string buffer_;
  bool closed_ = false;
};

inline std::string Post(std::string_view body, std::string_view extra = {},
                        std::string_view path = "/GER00200.rdmEmpresa") {
  return "POST " + std::string(path) +
         " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
         std::string(extra) + "\r\n" + std::string(body);
}

}  // namespace gertest
