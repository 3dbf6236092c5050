#include "http_parser.h"

#include <array>
#include <cstring>

namespace ger::server {

namespace {

// The characters of a token (RFC 9110): letters, digits and "!#$%&'*+-.^_`|~".
constexpr std::array<bool, 256> kTokenChars = [] {
  std::array<bool, 256> table{};
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) table[c] = table[c - 'a' + 'A'] = true;
  for (char c : std::string_view("!#$%&'*+-.^_`|~")) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

bool IsToken(std::string_view s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (!kTokenChars[c]) return false;
  return true;
}

// Control characters other than a tab, and DEL.
constexpr std::array<unsigned char, 256> kControlChars = [] {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = c != '\t';
  table[0x7f] = 1;
  return table;
}();

// A control character anywhere in the line, a table look per byte. (Written as one expression
// over the whole line, the compiler made vector code of it that took a dozen instructions a byte,
// half of the head's time.)
bool HasControl(std::string_view line) {
  for (unsigned char c : line)
    if (kControlChars[c]) return true;
  return false;
}

// Header names and the options compared here are ASCII by definition: a byte-wise comparison
// is both right (no Unicode folding of "ſ" into "s") and cheap, as it runs on every header.
bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + ('a' - 'A'));
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + ('a' - 'A'));
    if (x != y) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

Span SpanOf(std::string_view data, std::string_view piece) {
  return {static_cast<std::uint32_t>(piece.data() - data.data()),
          static_cast<std::uint32_t>(piece.size())};
}

}  // namespace

ParseState RequestParser::Parse(std::string_view data) {
  if (error_) return ParseState::Error;
  if (!headDone_) {
    // Empty lines before a request line are tolerated (some clients end a body with CRLF).
    std::size_t start = 0;
    while (start < data.size() && (data[start] == '\r' || data[start] == '\n')) ++start;
    if (start > limits_.maxHead) return Fail(431);
    std::size_t end = 0;
    for (std::size_t i = std::max(scanned_, start); i < data.size();) {
      const void* nl = std::memchr(data.data() + i, '\n', data.size() - i);
      if (!nl) break;
      i = static_cast<const char*>(nl) - data.data() + 1;
      if (i < data.size() && data[i] == '\n') {
        end = i + 1;
      } else if (i + 1 < data.size() && data[i] == '\r' && data[i + 1] == '\n') {
        end = i + 2;
      }
      if (end) break;
    }
    if (!end) {
      // A blank line that starts in what was searched would have been found.
      scanned_ = std::max(start, data.size() >= 2 ? data.size() - 2 : 0);
      if (data.size() - start > limits_.maxHead) return Fail(431);
      return ParseState::NeedMore;
    }
    if (end - start > limits_.maxHead) return Fail(431);
    if (ParseHead(data, start, end) == ParseState::Error) return ParseState::Error;
    headDone_ = true;
  }
  return data.size() >= Consumed() ? ParseState::Complete : ParseState::NeedMore;
}

ParseState RequestParser::ParseHead(std::string_view data, std::size_t start, std::size_t end) {
  std::string_view head = data.substr(start, end - start);
  bool first = true;
  bool lengthSeen = false, lengthTooLarge = false, transferEncoding = false;
  bool closeAsked = false, keepAliveAsked = false, expectContinue = false, authSeen = false;
  std::size_t length = 0;
  while (!head.empty()) {
    std::size_t nl = head.find('\n');
    std::string_view line = head.substr(0, nl);
    head.remove_prefix(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) {
      if (!head.empty()) return Fail(400);  // a stray CR line inside the head
      break;                                // the blank line that ends the head
    }
    if (HasControl(line)) return Fail(400);

    if (first) {
      first = false;
      std::size_t sp1 = line.find(' ');
      if (sp1 == std::string_view::npos) return Fail(400);
      std::size_t sp2 = line.find(' ', sp1 + 1);
      if (sp2 == std::string_view::npos) return Fail(400);
      std::string_view method = line.substr(0, sp1);
      std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
      std::string_view version = line.substr(sp2 + 1);
      if (!IsToken(method) || target.empty()) return Fail(400);
      for (unsigned char c : target)
        if (c <= 0x20) return Fail(400);
      if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
          version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9')
        return Fail(400);
      if (version[5] != '1') return Fail(505);
      head_.minorVersion = version[7] == '0' ? 0 : 1;
      head_.method = SpanOf(data, method);
      head_.target = SpanOf(data, target);
      continue;
    }

    // No folded lines and no space before the colon: both have been used to smuggle requests.
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return Fail(400);
    std::string_view name = line.substr(0, colon);
    std::string_view value = Trim(line.substr(colon + 1));
    if (!IsToken(name)) return Fail(400);

    if (SameAscii(name, "content-length")) {
      if (value.empty()) return Fail(400);
      std::size_t n = 0;
      bool big = false;
      for (char c : value) {
        if (c < '0' || c > '9') return Fail(400);
        if (n > limits_.maxBody) {
          big = true;  // keep checking the digits; the exact value no longer matters
        } else {
          n = n * 10 + static_cast<std::size_t>(c - '0');
        }
      }
      big = big || n > limits_.maxBody;
      if (lengthSeen && (big != lengthTooLarge || (!big && n != length))) return Fail(400);
      lengthSeen = true;
      lengthTooLarge = big;
      length = n;
    } else if (SameAscii(name, "transfer-encoding")) {
      transferEncoding = true;
    } else if (SameAscii(name, "connection")) {
      while (!value.empty()) {
        std::size_t comma = value.find(',');
        std::string_view option = Trim(value.substr(0, comma));
        if (SameAscii(option, "close")) closeAsked = true;
        if (SameAscii(option, "keep-alive")) keepAliveAsked = true;
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
      }
    } else if (SameAscii(name, "expect")) {
      expectContinue = SameAscii(value, "100-continue");
    } else if (SameAscii(name, "authorization")) {
      // Two credentials leave open which one a proxy in front checked and which one counts.
      if (authSeen) return Fail(400);
      authSeen = true;
      head_.authorization = SpanOf(data, value);
    }
  }
  if (first) return Fail(400);
  if (transferEncoding) return Fail(lengthSeen ? 400 : 411);
  if (lengthTooLarge) return Fail(413);
  head_.contentLength = length;
  head_.keepAlive = !closeAsked && (head_.minorVersion == 1 || keepAliveAsked);
  // An HTTP/1.0 client does not wait for an interim answer.
  head_.expectContinue = expectContinue && head_.minorVersion == 1;
  head_.bodyStart = end;
  return ParseState::Complete;
}

std::string_view StatusText(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 411:
      return "Length Required";
    case 413:
      return "Content Too Large";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Unknown";
  }
}

}  // namespace ger::server
