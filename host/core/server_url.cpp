#include "core/server_url.h"

#include <charconv>

namespace ger {

namespace {

bool PlainHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

}  // namespace

std::string ServerUrl::Text() const {
  const bool v6 = host.find(':') != std::string::npos;
  std::string where = v6 ? "[" + host + "]" : host;
  where += ':' + std::to_string(port);
  return tls ? "https://" + where : where;
}

std::optional<ServerUrl> ParseServerUrl(std::string_view text, int defaultPort) {
  ServerUrl url;
  url.port = defaultPort;
  if (text.starts_with("https://")) {
    url.tls = true;
    url.port = 443;
    text.remove_prefix(8);
  } else if (text.starts_with("http://")) {
    url.port = 80;
    text.remove_prefix(7);
  } else if (text.find("://") != std::string_view::npos) {
    return std::nullopt;
  }
  // A lone "/" after the authority is the same server; any other path is not something the
  // client could send its calls to.
  if (text.ends_with('/')) text.remove_suffix(1);
  std::string_view port;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    url.host = std::string(text.substr(1, close - 1));
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
      if (port.empty()) return std::nullopt;
    }
    for (char c : url.host)
      if (!(c == ':' || c == '.' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
            (c >= 'A' && c <= 'F')))
        return std::nullopt;
  } else {
    const std::size_t colon = text.find(':');
    url.host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) {
      port = text.substr(colon + 1);
      if (port.empty()) return std::nullopt;
    }
    for (char c : url.host)
      if (!PlainHostChar(c)) return std::nullopt;
  }
  if (url.host.empty()) return std::nullopt;
  if (!port.empty()) {
    int n = 0;
    auto [p, ec] = std::from_chars(port.data(), port.data() + port.size(), n);
    if (ec != std::errc() || p != port.data() + port.size() || n < 1 || n > 65535)
      return std::nullopt;
    url.port = n;
  }
  return url;
}

}  // namespace ger
