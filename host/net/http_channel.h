#pragma once
// One keep-alive HTTP/1.1 connection of the client, plain or over TLS (net/tls.h). The answers of
// the application server are read with few, large reads straight into their final buffer: a
// company list is about 2 MB, and a library reading 4 kB at a time, with a poll before each read,
// spent as long on the socket as on decoding the list. The reading of an answer is one for both
// transports: only the bytes' source (Recv) and sink (SendAll) differ.
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/tls.h"

namespace ger::net {

struct HttpReply {
  int status = 0;
  std::string body;
};

// Why a call brought no answer.
enum class HttpFailure {
  None,
  Unreachable,  // no connection could be made
  Timeout,      // the answer was not in whole before the call's deadline
  TooLarge,     // the answer is larger than the channel holds
  Broken,       // the connection broke off, or what came back is not an HTTP answer
  Refused,      // no secure connection: a check of TLS failed (TlsRefused() says which)
};

// A channel over TLS. The CA file's authorities replace the system's when it is named.
struct TlsOptions {
  std::string caFile;
};

class HttpChannel {
 public:
  // `timeoutSeconds` bounds each call as a whole (connecting, sending, every byte of the answer);
  // `maxAnswer` bounds an answer's body, which is allocated as its bytes arrive. With `tls`,
  // every connection is secured and the server's certificate checked against `host` before
  // anything is sent; a refused one is never retried in the clear.
  HttpChannel(std::string host, int port, int timeoutSeconds,
              std::size_t maxAnswer = kDefaultMaxAnswer,
              std::optional<TlsOptions> tls = std::nullopt);
  ~HttpChannel();
  HttpChannel(const HttpChannel&) = delete;
  HttpChannel& operator=(const HttpChannel&) = delete;

  // POSTs a JSON body. Empty when the server cannot be reached, does not answer in time, the
  // answer is too large, breaks off or is not HTTP (Failure() says which); the connection is then
  // closed, and the next call opens a new one. A kept connection the server has closed meanwhile
  // is replaced before sending, so a request is never sent twice.
  std::optional<HttpReply> Post(const std::string& path, std::string_view body,
                                const std::string& bearerToken);
  HttpFailure Failure() const { return failure_; }
  // Which check refused the last secure connection (Failure() is Refused).
  const TlsRefusal& TlsRefused() const { return refusal_; }
  void Close();
  // A descriptor (an eventfd, a pipe's end) that ends a call at once when it becomes readable:
  // the call fails as Broken and the connection is closed. Another thread abandons a call that
  // waits long (a watcher's) by writing to it. -1: none.
  void SetCancel(int fd) { cancelFd_ = fd; }
  // Reads one answer from a connected socket that stays the caller's (what Post does after
  // sending; the fuzzers feed it arbitrary bytes this way). A TLS channel makes its handshake on
  // the socket first.
  std::optional<HttpReply> ReadAnswer(int fd);

  static constexpr std::size_t kDefaultMaxAnswer = std::size_t{256} << 20;

 private:
  bool Open();
  bool Secure();
  bool StillOpen() const;
  bool SendAll(std::string_view head, std::string_view body);
  bool SendSecure(std::string_view data);
  std::optional<HttpReply> Receive();
  std::optional<HttpReply> Fail(HttpFailure why);
  bool More();
  std::optional<std::string_view> Line();
  bool Take(std::string& out, std::size_t n);
  // Waits until the socket is ready for `events`; false (Timeout) once the deadline has passed.
  bool WaitReady(short events);
  ssize_t Recv(char* data, std::size_t size);
  std::string_view Pending() const { return {in_.get() + inStart_, inEnd_ - inStart_}; }

  static constexpr std::size_t kInput = 64 * 1024;  // status line and headers must fit
  std::string host_;
  int port_;
  int timeoutSeconds_;
  std::size_t maxAnswer_;
  int fd_ = -1;
  int cancelFd_ = -1;
  std::optional<TlsOptions> tlsOptions_;
  std::unique_ptr<TlsContext> tlsContext_;  // made at the first connection, kept for the next
  std::unique_ptr<TlsSession> tls_;         // the connection's, while fd_ is secured
  TlsRefusal refusal_;
  std::chrono::steady_clock::time_point deadline_;
  HttpFailure failure_ = HttpFailure::None;
  std::unique_ptr<char[]> in_ = std::make_unique_for_overwrite<char[]>(kInput);
  std::size_t inStart_ = 0, inEnd_ = 0;  // unread input
  bool streamEnded_ = false;             // the server ended the stream properly
};

}  // namespace ger::net
