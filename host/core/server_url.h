#pragma once
// Where the application server is: the host setting web_url (and the command line's
// --server-url) as a seat's operator writes it. A bare host name keeps the old form (plain HTTP on
// web_port); "http://NAME[:PORT]" and "https://NAME[:PORT]" say the transport, and a URL without
// a port takes its scheme's own (80, 443). "https" means TLS and nothing else: the client never
// falls back to plain HTTP.
#include <optional>
#include <string>
#include <string_view>

namespace ger {

struct ServerUrl {
  bool tls = false;
  std::string host;  // a name, an IPv4 address, or an IPv6 address without its brackets
  int port = 0;

  // "host:port" for plain HTTP, "https://host:port" for TLS: how messages name the server.
  std::string Text() const;
};

// The address `text` names, `defaultPort` standing for the port of a bare host name. Empty when
// the text is not one of the forms above (another scheme, a path, a bad port, blanks inside).
std::optional<ServerUrl> ParseServerUrl(std::string_view text, int defaultPort);

}  // namespace ger
