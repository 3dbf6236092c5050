// The client's reading of an HTTP answer on arbitrary bytes from the server: it either yields an
// answer within the size cap or says why not, and never crashes, hangs or reads past the bytes.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "net/http_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
  int buffer = 1 << 20;
  ::setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  // What does not fit the socket at once is left out: the answer is then cut short, which is a
  // case of its own.
  std::size_t sent = 0;
  while (sent < size) {
    ssize_t n = ::send(ends[1], data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  ::shutdown(ends[1], SHUT_WR);
  constexpr std::size_t kCap = 1 << 16;
  ger::net::HttpChannel channel("fuzz", 1, 5, kCap);
  auto reply = channel.ReadAnswer(ends[0]);
  if (reply) {
    if (reply->body.size() > kCap || reply->body.size() > sent || reply->status < 200 ||
        reply->status > 999)
      std::abort();
  } else if (channel.Failure() == ger::net::HttpFailure::None) {
    std::abort();
  }
  ::close(ends[0]);
  ::close(ends[1]);
  return 0;
}
