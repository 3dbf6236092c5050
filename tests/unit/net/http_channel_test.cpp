// The client's HTTP connection against a scripted peer on loopback: each accepted connection
// reads one request head (and its body) per scripted answer and writes the answer as given.
#include "net/http_channel.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/netconnection.h"

namespace ger::net {
namespace {

// A peer that serves scripted connections one after the other. Each connection is a list of
// steps: an answer to send after reading one whole request, kDie to read a request and close
// without answering, or an empty text to close.
const std::string kDie = "<die>";

class Peer {
 public:
  explicit Peer(std::vector<std::vector<std::string>> connections)
      : connections_(std::move(connections)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(listener_, 8), 0);
    socklen_t len = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~Peer() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  int Port() const { return port_; }
  int Accepted() const { return accepted_; }
  int Requests() const { return requests_; }

 private:
  void Run() {
    for (const auto& steps : connections_) {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      ++accepted_;
      for (const std::string& answer : steps) {
        if (answer.empty()) break;
        if (!ReadRequest(fd)) break;
        ++requests_;
        if (answer == kDie) break;
        ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
      }
      ::close(fd);
    }
  }
  static bool ReadRequest(int fd) {
    std::string in;
    char buf[4096];
    std::size_t headEnd;
    while ((headEnd = in.find("\r\n\r\n")) == std::string::npos) {
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return false;
      in.append(buf, static_cast<std::size_t>(n));
    }
    std::size_t at = in.find("Content-Length: ");
    std::size_t length = at == std::string::npos ? 0 : std::stoul(in.substr(at + 16));
    while (in.size() < headEnd + 4 + length) {
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return false;
      in.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }

  std::vector<std::vector<std::string>> connections_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<int> accepted_{0}, requests_{0};
  std::thread thread_;
};

// Waits until this machine's end of a connection to `peerPort` has taken the peer's close
// (TCP state CLOSE_WAIT in /proc/net/tcp); false after 10 s.
bool PeersCloseArrived(int peerPort) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // the column titles
    while (std::getline(table, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      const auto colon = remote.find(':');
      if (colon != std::string::npos &&
          std::stoi(remote.substr(colon + 1), nullptr, 16) == peerPort && state == "08")
        return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

std::string Answer(const std::string& body, const std::string& extra = "") {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n" + extra +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(HttpChannel, ReadsAnswersByLengthByChunksAndToTheEndOfTheStream) {
  std::string big(3'000'000, 'x');
  for (std::size_t i = 0; i < big.size(); i += 7919) big[i] = static_cast<char>('a' + i % 26);
  Peer peer({{Answer(big), Answer("{}", "Connection: keep-alive\r\n"),
              "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
              "4\r\nabcd\r\n1;ext=1\r\ne\r\n0\r\nX-Trailer: 1\r\n\r\n",
              "HTTP/1.0 200 OK\r\n\r\nto the end"}});
  HttpChannel channel("127.0.0.1", peer.Port(), 5);
  auto a = channel.Post("/x", "{}", "");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->status, 200);
  EXPECT_EQ(a->body, big);
  auto b = channel.Post("/x", std::string(200'000, 'y'), "");  // a body beyond one segment
  ASSERT_TRUE(b);
  EXPECT_EQ(b->body, "{}");
  auto c = channel.Post("/x", "{}", "");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->body, "abcde");  // the interim answer skipped, chunks joined
  auto d = channel.Post("/x", "{}", "");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->body, "to the end");
  EXPECT_EQ(peer.Accepted(), 1);  // all on one kept connection
}

TEST(HttpChannel, AConnectionTheServerClosedIsReplacedBeforeSendingNeverAfter) {
  // The first connection is closed by the peer after one answer (as after its idle time limit);
  // on the second the peer dies after reading the request: that call fails and is not sent again.
  Peer peer({{Answer("1"), ""}, {Answer("2"), kDie}, {Answer("3")}});
  HttpChannel channel("127.0.0.1", peer.Port(), 5);
  ASSERT_TRUE(channel.Post("/x", "{}", ""));
  ASSERT_TRUE(PeersCloseArrived(peer.Port()));
  auto second = channel.Post("/x", "{}", "");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->body, "2");
  EXPECT_FALSE(channel.Post("/x", "{}", ""));
  auto fourth = channel.Post("/x", "{}", "");
  ASSERT_TRUE(fourth);
  EXPECT_EQ(fourth->body, "3");
  EXPECT_EQ(peer.Requests(), 4);
  EXPECT_EQ(peer.Accepted(), 3);
}

TEST(HttpChannel, BrokenOrMissingAnswersAreNoAnswer) {
  Peer peer({{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort"},
             {"not http at all\r\n\r\n"},
             {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nab"},
             {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"},
             {Answer("ok") + "extra"},
             {Answer("again")}});
  HttpChannel channel("127.0.0.1", peer.Port(), 5);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(channel.Post("/x", "{}", "")) << i;
  auto extra = channel.Post("/x", "{}", "");  // answered, but what follows is out of step
  ASSERT_TRUE(extra);
  EXPECT_EQ(extra->body, "ok");
  auto again = channel.Post("/x", "{}", "");  // so the next call starts afresh
  ASSERT_TRUE(again);
  EXPECT_EQ(again->body, "again");
  EXPECT_EQ(peer.Accepted(), 6);
  HttpChannel nobody("127.0.0.1", 1, 1);
  EXPECT_FALSE(nobody.Post("/x", "{}", ""));
}

TEST(HttpChannel, ASilentServerEndsTheCallAtTheTimeLimit) {
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 1), 0);  // accepted by the kernel, never answered
  socklen_t len = sizeof a;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  HttpChannel channel("127.0.0.1", ntohs(a.sin_port), 1);
  EXPECT_FALSE(channel.Post("/x", "{}", ""));
  ::close(listener);
}

TEST(TNetConnection, SplitsTheEnvelopeAndKeepsTheResultAsText) {
  const std::string packet =
      R"({"fields":[{"name":"A","type":"string","size":2}],"rows":[["01"]]})";
  Peer peer({{Answer(R"({"jsonrpc":"2.0","id":1,"result":)" + packet + "}"),
              Answer(R"({"result":null,"error":{"code":-32000,"message":"Recusado."},"id":2})"),
              Answer(R"({"jsonrpc":"2.0","id":3,"result":[true, "x"]})"),
              Answer(R"({"jsonrpc":"2.0","id":4})"),
              "HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n",
              "HTTP/1.1 500 Oops\r\nContent-Length: 4\r\n\r\nnope"}});
  TNetConnection net;
  net.Port = peer.Port();
  ServerAnswer list = net.Call("GetEmpresa");
  ASSERT_TRUE(list.ok()) << list.error;
  EXPECT_EQ(list.payload->Text(), packet);
  EXPECT_EQ(net.Call("X").error, "Recusado.");  // an error wins over a result
  ServerAnswer pair = net.Call("Y");
  ASSERT_TRUE(pair.ok());
  EXPECT_EQ(pair.payload->Value().as_array().at(1).as_string(), "x");
  // What the user reads, the server's address included.
  const std::string where = "(127.0.0.1:" + std::to_string(peer.Port()) + ")";
  EXPECT_EQ(net.Call("Z").error, "Resposta inválida do servidor de aplicação " + where + ".");
  EXPECT_EQ(net.Call("W").error, "O servidor de aplicação " + where +
                                     " recusou o acesso: chave de acesso ausente ou inválida.");
  EXPECT_EQ(net.Call("V").error,
            "O servidor de aplicação " + where + " respondeu com o erro HTTP 500.");
}

}  // namespace
}  // namespace ger::net
