// The client's channel over TLS against a peer on loopback that runs OpenSSL's server side with
// a throw-away authority's certificate: the answers read as over plain HTTP, on one kept
// connection; a connection the server closed is replaced before sending; the call's deadline
// bounds a handshake that never comes; an answer ended without the server's close_notify is not
// taken as whole; and the refusals of the certificate checks at the channel.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "net/http_channel.h"
#include "net/messages.h"
#include "net/netconnection.h"
#include "tls_files.h"

namespace fs = std::filesystem;

namespace ger::net {
namespace {

// Steps of a connection: an answer sent after one whole request; kAbrupt closes the TCP
// connection at once without a close_notify; a connection's steps done, the peer sends its
// close_notify.
const std::string kAbrupt = "<abrupt>";

struct Certificates {
  fs::path dir;
  Certificates() {
    const char* tmp = std::getenv("TEST_TMPDIR");
    dir = fs::path(tmp && *tmp ? tmp : "/tmp") / ("tls-channel-" + std::to_string(getpid()));
    fs::remove_all(dir);
    server::MakeAuthority(dir, "Autoridade de teste");
    server::MakeCertificate(dir, {"localhost"});
    fs::create_directories(dir / "expired");
    fs::copy_file(dir / "ca.pem", dir / "expired" / "ca.pem");
    fs::copy_file(dir / "ca.key", dir / "expired" / "ca.key");
    server::MakeCertificate(dir / "expired", {"localhost"}, {1, -10 * 86400L});
  }
  ~Certificates() { fs::remove_all(dir); }
};

const Certificates& Certs() {
  static const Certificates certificates;
  return certificates;
}

class TlsPeer {
 public:
  TlsPeer(const fs::path& cert, const fs::path& key, std::vector<std::vector<std::string>> steps)
      : steps_(std::move(steps)) {
    ctx_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_file(ctx_, cert.c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(ctx_, key.c_str(), SSL_FILETYPE_PEM);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 8);
    socklen_t len = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~TlsPeer() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
    SSL_CTX_free(ctx_);
  }
  int Port() const { return port_; }
  int Accepted() const { return accepted_; }

 private:
  void Run() {
    for (const auto& steps : steps_) {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      ++accepted_;
      SSL* ssl = SSL_new(ctx_);
      SSL_set_fd(ssl, fd);
      bool abrupt = SSL_accept(ssl) != 1;
      for (const std::string& answer : steps) {
        if (answer == kAbrupt) abrupt = true;
        if (abrupt || !ReadRequest(ssl)) break;
        SSL_write(ssl, answer.data(), static_cast<int>(answer.size()));
      }
      if (!abrupt) SSL_shutdown(ssl);
      SSL_free(ssl);
      ::close(fd);
    }
  }
  static bool ReadRequest(SSL* ssl) {
    std::string in;
    char buf[4096];
    std::size_t headEnd;
    while ((headEnd = in.find("\r\n\r\n")) == std::string::npos) {
      const int n = SSL_read(ssl, buf, sizeof buf);
      if (n <= 0) return false;
      in.append(buf, static_cast<std::size_t>(n));
    }
    const std::size_t at = in.find("Content-Length: ");
    const std::size_t length = at == std::string::npos ? 0 : std::stoul(in.substr(at + 16));
    while (in.size() < headEnd + 4 + length) {
      const int n = SSL_read(ssl, buf, sizeof buf);
      if (n <= 0) return false;
      in.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }

  SSL_CTX* ctx_ = nullptr;
  std::vector<std::vector<std::string>> steps_;
  int listener_ = -1, port_ = 0;
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

std::string Answer(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TlsOptions OurAuthority() {
  return {(Certs().dir / "ca.pem").string()};
}

TEST(TlsChannel, AnswersAreReadAsInTheClearOnOneKeptConnection) {
  std::string big(3'000'000, 'x');
  for (std::size_t i = 0; i < big.size(); i += 7919) big[i] = static_cast<char>('a' + i % 26);
  TlsPeer peer(Certs().dir / "localhost.pem", Certs().dir / "localhost.key",
               {{Answer(big), Answer("{}"),
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n0\r\n\r\n"}});
  HttpChannel channel("localhost", peer.Port(), 5, HttpChannel::kDefaultMaxAnswer, OurAuthority());
  auto a = channel.Post("/x", "{}", "");
  ASSERT_TRUE(a) << static_cast<int>(channel.Failure()) << " " << channel.TlsRefused().detail;
  EXPECT_EQ(a->body, big);
  auto b = channel.Post("/x", std::string(200'000, 'y'), "");  // a body of many records
  ASSERT_TRUE(b);
  EXPECT_EQ(b->body, "{}");
  auto c = channel.Post("/x", "{}", "");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->body, "abcd");
  EXPECT_EQ(peer.Accepted(), 1);
}

TEST(TlsChannel, AConnectionTheServerClosedIsReplacedAndACutAnswerIsNotWhole) {
  // First connection: one answer, then the server's close_notify (its idle limit). Second: an
  // answer that runs to the end of the stream, ended properly. Third: the same ended by a bare
  // TCP close, which anyone on the way could have forged.
  TlsPeer peer(Certs().dir / "localhost.pem", Certs().dir / "localhost.key",
               {{Answer("1")},
                {"HTTP/1.1 200 OK\r\n\r\nto the end"},
                {"HTTP/1.1 200 OK\r\n\r\ncut here", kAbrupt}});
  HttpChannel channel("localhost", peer.Port(), 5, HttpChannel::kDefaultMaxAnswer, OurAuthority());
  ASSERT_TRUE(channel.Post("/x", "{}", ""));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the close_notify arrives
  auto whole = channel.Post("/x", "{}", "");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->body, "to the end");
  EXPECT_FALSE(channel.Post("/x", "{}", ""));
  EXPECT_EQ(channel.Failure(), HttpFailure::Broken);
  EXPECT_EQ(peer.Accepted(), 3);
}

TEST(TlsChannel, AHandshakeThatNeverComesEndsAtTheTimeLimit) {
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 1), 0);  // the kernel accepts; nobody answers the hello
  socklen_t len = sizeof a;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  HttpChannel channel("localhost", ntohs(a.sin_port), 1, HttpChannel::kDefaultMaxAnswer,
                      OurAuthority());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(channel.Post("/x", "{}", ""));
  EXPECT_EQ(channel.Failure(), HttpFailure::Timeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ::close(listener);
}

TEST(TlsChannel, EachFailedCheckIsRefusedWithWhatTheCertificateSaid) {
  const fs::path& dir = Certs().dir;
  TlsPeer good(dir / "localhost.pem", dir / "localhost.key", {{}, {}, {}, {}});
  TlsPeer expired(dir / "expired" / "localhost.pem", dir / "expired" / "localhost.key", {{}});
  auto refusal = [](const std::string& host, int port, TlsOptions tls) {
    HttpChannel channel(host, port, 5, HttpChannel::kDefaultMaxAnswer, std::move(tls));
    EXPECT_FALSE(channel.Post("/x", "{}", ""));
    EXPECT_EQ(channel.Failure(), HttpFailure::Refused);
    return channel.TlsRefused();
  };
  const TlsRefusal name = refusal("127.0.0.1", good.Port(), OurAuthority());
  EXPECT_EQ(name.check, TlsCheck::Name);
  EXPECT_EQ(name.detail, "'localhost'");
  const TlsRefusal system = refusal("localhost", good.Port(), {});  // the system's authorities
  EXPECT_EQ(system.check, TlsCheck::Authority);
  EXPECT_EQ(system.detail, "'Autoridade de teste'");
  const TlsRefusal old = refusal("localhost", expired.Port(), OurAuthority());
  EXPECT_EQ(old.check, TlsCheck::Expired);
  EXPECT_EQ(old.detail.size(), 10u);  // dd/mm/yyyy
  const TlsRefusal noFile = refusal("localhost", good.Port(), {"/nonexistent/ca.pem"});
  EXPECT_EQ(noFile.check, TlsCheck::CaFile);
}

// The connection says which check failed in the user's words, and an address it cannot call is
// said so on every call rather than tried some other way.
TEST(TlsChannel, TheConnectionSaysWhyInTheCataloguesWords) {
  TlsPeer good(Certs().dir / "localhost.pem", Certs().dir / "localhost.key", {{}});
  TNetConnection seat;
  seat.Host = "https://127.0.0.1:" + std::to_string(good.Port());
  seat.CaFile = (Certs().dir / "ca.pem").string();
  EXPECT_EQ(seat.Call("GetEmpresa").error, NetMsg("Tls_Nome", {"127.0.0.1", "'localhost'"}));
  TNetConnection odd;
  odd.Host = "ftp://ger.example.com";
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(odd.Call("GetEmpresa").error, NetMsg("Srv_Endereco", {"ftp://ger.example.com"}));
}

}  // namespace
}  // namespace ger::net
