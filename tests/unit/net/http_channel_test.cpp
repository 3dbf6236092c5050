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

// A listening socket on a free loopback port, which goes to `port`.
int ListenOnLoopback(int& port) {
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  EXPECT_EQ(::listen(listener, 8), 0);
  socklen_t len = sizeof a;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return listener;
}

// A peer that serves scripted connections one after the other. Each connection is a list of
// steps: an answer to send after reading one whole request, kDie to read a request and close
// without answering, or an empty text to close.
const std::string kDie = "<die>";

class Peer {
 public:
  explicit Peer(std::vector<std::vector<std::string>> connections)
      : connections_(std::move(connections)) {
    listener_ = ListenOnLoopback(port_);
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

// A peer that reads one request on one connection and then runs `act` on it until the client goes
// away or the peer is destroyed.
class SlowPeer {
 public:
  explicit SlowPeer(std::function<bool(int fd)> act) : act_(std::move(act)) {
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      char buf[4096];
      std::string in;
      while (in.find("\r\n\r\n{}") == std::string::npos) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        in.append(buf, static_cast<std::size_t>(n));
      }
      while (!stop_ && act_(fd)) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ::close(fd);
    });
  }
  ~SlowPeer() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  int Port() const { return port_; }

 private:
  std::function<bool(int)> act_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Sends `text` once, then its last byte again and again.
std::function<bool(int)> Trickle(std::string text) {
  return [text, sent = false](int fd) mutable {
    const std::string_view piece = sent ? std::string_view(text).substr(text.size() - 1) : text;
    sent = true;
    return ::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) > 0;
  };
}

TEST(HttpChannel, ACallEndsAtItsDeadlineHoweverTheServerKeepsItBusy) {
  const std::vector<std::string> stalls = {
      "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\nx",  // the body a byte at a time
      "HTTP/1.1 100 Continue\r\n\r\n",  // interim answers without end (one per round)
      "HTTP/1.1 200 OK\r\nX-Long: a",   // a header line without end
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n1\r\na\r\n",
  };
  for (std::size_t i = 0; i < stalls.size(); ++i) {
    std::string text = stalls[i];
    SlowPeer peer(i == 1   ? std::function<bool(int)>([text](int fd) {
      return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) > 0;
    })
                  : i == 3 ? std::function<bool(int)>([text, sent = false](int fd) mutable {
                      // one chunk more per round, for ever
                      std::string_view piece =
                          sent ? std::string_view("1\r\na\r\n") : std::string_view(text);
                      sent = true;
                      return ::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) > 0;
                    })
                           : Trickle(text));
    HttpChannel channel("127.0.0.1", peer.Port(), 1);
    EXPECT_FALSE(channel.Post("/x", "{}", "")) << i;
    EXPECT_EQ(channel.Failure(), HttpFailure::Timeout) << i;
  }
}

TEST(HttpChannel, AnAnswerLargerThanTheCapIsRefusedAndNothingIsReservedAhead) {
  Peer peer({{"HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\nxx"},
             {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n"},
             {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
              "80000\r\n" +
              std::string(0x80000, 'a') + "\r\n80001\r\n"},
             {"HTTP/1.0 200 OK\r\n\r\n" + std::string(0x100001, 'b')},
             // Announces far more than it sends: the client must not reserve what is announced.
             {"HTTP/1.1 200 OK\r\nContent-Length: 68719476736\r\n\r\nonly this"},
             {Answer(std::string(0x100000, 'c'))}});
  HttpChannel channel("127.0.0.1", peer.Port(), 5, 0x100000);
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(channel.Post("/x", "{}", "")) << i;
    EXPECT_EQ(channel.Failure(), HttpFailure::TooLarge) << i;
  }
  HttpChannel generous("127.0.0.1", peer.Port(), 5, std::size_t{1} << 40);
  EXPECT_FALSE(generous.Post("/x", "{}", ""));
  EXPECT_EQ(generous.Failure(), HttpFailure::Broken);
  auto exact = channel.Post("/x", "{}", "");  // the cap itself is allowed
  ASSERT_TRUE(exact);
  EXPECT_EQ(exact->body.size(), 0x100000u);
}

TEST(TNetConnection, SaysWhatWentWrongAndRefusesAnAnswerToAnotherRequest) {
  Peer peer(
      {{Answer(R"({"jsonrpc":"2.0","id":7,"result":true})")},
       {Answer(R"({"jsonrpc":"2.0","id":"3","result":true})")},
       {Answer(R"({"jsonrpc":"2.0","result":true})")},
       {Answer(
            R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Mal\u0000formada."}})"),
        Answer(R"({"jsonrpc":"2.0","id":5,"result":1})")},
       {"HTTP/1.1 200 OK\r\nContent-Length: 900000000\r\n\r\n"}});
  TNetConnection net;
  net.Port = peer.Port();
  const std::string where = "(127.0.0.1:" + std::to_string(peer.Port()) + ")";
  // Answers carrying the id of another call (or none) are refused, and their connection dropped.
  EXPECT_EQ(net.Call("A").error, "Resposta inválida do servidor de aplicação " + where + ".");
  EXPECT_EQ(net.Call("B").error, "Resposta inválida do servidor de aplicação " + where + ".");
  EXPECT_FALSE(net.Call("C").ok());  // no id at all
  // A NUL in the sentence would cut it short where it is shown: it is shown as a sign instead.
  EXPECT_EQ(net.Call("D").error, "Mal\u2400formada.");
  ServerAnswer e = net.Call("E");
  EXPECT_TRUE(e.ok()) << e.error;
  // The peer ends that connection after E; a call sent before its close arrives would meet a
  // broken connection instead of the fifth one.
  ASSERT_TRUE(PeersCloseArrived(peer.Port()));
  EXPECT_EQ(net.Call("F").error, "A resposta do servidor de aplicação " + where +
                                     " excede o tamanho máximo aceito (256 MB).");
  EXPECT_EQ(peer.Accepted(), 5);

  SlowPeer silent([](int) { return true; });
  TNetConnection slow;
  slow.Port = silent.Port();
  slow.TimeoutSeconds = 1;
  EXPECT_EQ(slow.Call("G").error,
            "O servidor de aplicação (127.0.0.1:" + std::to_string(silent.Port()) +
                ") não respondeu a tempo (1 s).");
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
