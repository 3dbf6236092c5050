// The client's TLS paths on arbitrary bytes from the server. The first byte chooses what the
// server does: bytes in place of a handshake (0x01 set), which must never yield an answer; or a
// real handshake with a certificate of the fuzzer's own authority, then the rest of the input as
// the answer, in records of a size the second byte gives, ended with a close_notify or cut off
// (0x02 set). Either way the channel yields an answer within the size cap or says why not, and
// never crashes, hangs or reads past the bytes, as the plain reading of answers (fuzz_answer).
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "net/http_channel.h"
#include "tls_files.h"

namespace {

struct Authority {
  std::filesystem::path dir;
  SSL_CTX* server = nullptr;
  Authority() {
    ::signal(SIGPIPE, SIG_IGN);  // the server's side writes on after the client has gone
    dir = std::filesystem::temp_directory_path() / ("fuzz-tls-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    ger::server::MakeAuthority(dir, "Autoridade do fuzzer");
    ger::server::MakeCertificate(dir, {"fuzz"});
    server = SSL_CTX_new(TLS_server_method());
    if (SSL_CTX_use_certificate_file(server, (dir / "fuzz.pem").c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(server, (dir / "fuzz.key").c_str(), SSL_FILETYPE_PEM) != 1)
      std::abort();
  }
  ~Authority() {
    SSL_CTX_free(server);
    std::filesystem::remove_all(dir);
  }
};

const Authority& Fuzzers() {
  static const Authority authority;
  return authority;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const Authority& authority = Fuzzers();
  const bool raw = data[0] & 1, cut = data[0] & 2;
  const std::size_t record = 1 + data[1];
  const std::string answer(reinterpret_cast<const char*>(data + 2), size - 2);
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
  int buffer = 1 << 20;
  ::setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  std::thread server([&] {
    if (raw) {
      ::send(ends[1], answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    } else {
      SSL* ssl = SSL_new(authority.server);
      SSL_set_fd(ssl, ends[1]);
      if (SSL_accept(ssl) == 1) {
        for (std::size_t at = 0; at < answer.size(); at += record)
          if (SSL_write(ssl, answer.data() + at,
                        static_cast<int>(std::min(record, answer.size() - at))) <= 0)
            break;
        if (!cut) SSL_shutdown(ssl);
      }
      SSL_free(ssl);
    }
    ::shutdown(ends[1], SHUT_WR);
  });
  constexpr std::size_t kCap = 1 << 16;
  // One channel for the run, as the host keeps one: its authorities are read once.
  static ger::net::HttpChannel channel("fuzz", 1, 5, kCap,
                                       ger::net::TlsOptions{(authority.dir / "ca.pem").string()});
  auto reply = channel.ReadAnswer(ends[0]);
  ::shutdown(ends[0], SHUT_RDWR);  // a server still writing stops
  server.join();
  if (reply) {
    if (raw || reply->body.size() > kCap || reply->body.size() > answer.size() ||
        reply->status < 200 || reply->status > 999)
      std::abort();
  } else if (channel.Failure() == ger::net::HttpFailure::None) {
    std::abort();
  }
  ::close(ends[0]);
  ::close(ends[1]);
  return 0;
}
