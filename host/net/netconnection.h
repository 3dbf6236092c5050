#pragma once
// TNetConnection: the client side of the application server. A call names the server method
// and passes its arguments in order as JSON (texts, booleans, change sets as objects, arrays);
// the answer holds either the payload or the Portuguese sentence to show the user.
//
// The transport is JSON-RPC 2.0 over HTTP/1.1 with keep-alive, POST /<ServerName>, in the clear or
// over TLS as Host says (core/server_url.h). Connect() prepares the HTTP client (the TCP
// connection is opened by the first call and kept); a call made while disconnected connects
// first. Not thread-safe: one connection per thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <cstdint>

#include <boost/json/array.hpp>
#include <boost/json/value.hpp>

#include "core/server_url.h"

namespace ger::net {
class HttpChannel;
}

namespace ger {

// The result of a call as it came: its JSON text, read into a value only when asked. A data packet
// is decoded straight from the text (codec::DecodePacket(payload.Text())), at half the cost of
// going through a value tree first; copies share the text.
class ServerPayload {
 public:
  ServerPayload();  // null
  explicit ServerPayload(const boost::json::value& value);
  // `text` lies inside `body`, which the payload keeps alive.
  ServerPayload(std::shared_ptr<const std::string> body, std::string_view text);

  std::string_view Text() const { return text_; }
  // Parsed on first use. EServerError when the text is not JSON.
  const boost::json::value& Value() const;

 private:
  std::shared_ptr<const std::string> body_;
  std::string_view text_;
  mutable std::shared_ptr<const boost::json::value> value_;
};

// A server answer: the payload (a data packet, a boolean, a text, or null), or the error.
struct ServerAnswer {
  std::optional<ServerPayload> payload;
  std::string error;  // the server's sentence, or why there was no answer
  bool ok() const { return payload.has_value(); }
};

class TNetConnection {
 public:
  TNetConnection();
  ~TNetConnection();
  TNetConnection(const TNetConnection&) = delete;
  TNetConnection& operator=(const TNetConnection&) = delete;

  // A host name (plain HTTP on Port), or a URL: "http://NAME[:PORT]", "https://NAME[:PORT]".
  std::string Host = "127.0.0.1";
  int Port = 8200;
  // For https: the PEM file of the authorities that may issue the server's certificate; empty,
  // the system's.
  std::string CaFile;
  std::string Token;  // sent as a bearer token when not empty
  // Sent with each call for the server's change history: this machine's host name by default.
  std::string Seat;
  // What a call refused for its access (HTTP 401) says; the screens set it from their catalogue.
  // Empty: a sentence naming the server.
  std::string RefusedText;
  // The remote data module ("PACKAGE.module"). The default is the one the build's contract
  // library declares (GER_DEFAULT_SERVER_OBJECT), so that tools and tests reach it unnamed.
  std::string ServerName;
  int TimeoutSeconds = 30;  // for each call as a whole, from connecting to the answer's last byte
  std::size_t MaxAnswerBytes = std::size_t{256} << 20;

  // Calls made from a thread of their own (a watcher's) wait right there, not through the user
  // interface's runner of blocking work, which belongs to the UI thread.
  bool OwnThread = false;
  // A descriptor whose becoming readable abandons the call in progress (net/http_channel.h);
  // taken at Connect. -1: none.
  int CancelFd = -1;

  // Called before every connect, so the owner can set host and port there.
  std::function<void(TNetConnection&)> BeforeConnect;

  void Connect();
  void Disconnect();
  bool Connected() const;

  // Late-bound call by method name. Never throws for server or transport failures: they come
  // back in ServerAnswer::error. The screens call through their contract's typed client; this
  // form is for tools and tests that name a method at run time.
  ServerAnswer Call(std::string_view method, const boost::json::array& params = {});
  // The same with the argument list already written as JSON text ("[...]").
  ServerAnswer CallEncoded(std::string_view method, std::string_view params);

 private:
  std::unique_ptr<net::HttpChannel> client_;
  std::optional<ServerUrl> address_;  // what Host named at the last Connect
  std::uint64_t nextId_ = 1;
};

}  // namespace ger
