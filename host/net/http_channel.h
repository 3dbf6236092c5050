#pragma once
// One keep-alive HTTP/1.1 connection of the client, on a plain blocking socket. The answers of the
// application server are read with few, large reads straight into their final buffer: a company
// list is about 2 MB, and a library reading 4 kB at a time, with a poll before each read, spent
// as long on the socket as on decoding the list.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ger::net {

struct HttpReply {
  int status = 0;
  std::string body;
};

class HttpChannel {
 public:
  HttpChannel(std::string host, int port, int timeoutSeconds);
  ~HttpChannel();
  HttpChannel(const HttpChannel&) = delete;
  HttpChannel& operator=(const HttpChannel&) = delete;

  // POSTs a JSON body. Empty when the server cannot be reached, does not answer in time, or the
  // answer breaks off or is not HTTP; the connection is then closed, and the next call opens a
  // new one. A kept connection the server has closed meanwhile is replaced before sending, so a
  // request is never sent twice.
  std::optional<HttpReply> Post(const std::string& path, std::string_view body,
                                const std::string& bearerToken);
  void Close();

 private:
  bool Open();
  bool StillOpen() const;
  bool SendAll(std::string_view head, std::string_view body);
  std::optional<HttpReply> Receive();
  bool More();
  std::optional<std::string_view> Line();
  bool Take(std::string& out, std::size_t n);
  std::string_view Pending() const { return {in_.get() + inStart_, inEnd_ - inStart_}; }

  static constexpr std::size_t kInput = 64 * 1024;  // status line and headers must fit
  std::string host_;
  int port_;
  int timeoutSeconds_;
  int fd_ = -1;
  std::unique_ptr<char[]> in_ = std::make_unique_for_overwrite<char[]>(kInput);
  std::size_t inStart_ = 0, inEnd_ = 0;  // unread input
};

}  // namespace ger::net
