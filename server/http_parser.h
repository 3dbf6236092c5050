#pragma once
// Incremental parser of HTTP/1.1 requests: the head (request line and headers) and a body framed
// by Content-Length. It is handed the bytes buffered so far for the current request, again after
// every read, and keeps only offsets, so the buffer may move between calls.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ger::server {

struct HttpLimits {
  std::size_t maxHead = 16u << 10;  // request line and headers
  std::size_t maxBody = 64u << 20;
};

// A piece of the request's buffer.
struct Span {
  std::uint32_t pos = 0;
  std::uint32_t len = 0;
  std::string_view In(std::string_view data) const { return data.substr(pos, len); }
};

struct RequestHead {
  Span method;
  Span target;
  Span authorization;
  int minorVersion = 1;  // HTTP/1.0 or HTTP/1.1
  bool keepAlive = true;
  bool expectContinue = false;
  std::size_t contentLength = 0;
  std::size_t bodyStart = 0;  // offset of the body, i.e. length of the head with its blank line
};

enum class ParseState { NeedMore, Complete, Error };

class RequestParser {
 public:
  explicit RequestParser(HttpLimits limits = {}) : limits_(limits) {}

  // `data` starts at the first byte of the current request. NeedMore: not whole yet (HeadDone()
  // tells whether the head is in); Complete: the request occupies Consumed() bytes; Error: the
  // request is refused with ErrorStatus() and the connection must be closed, since its framing
  // can no longer be trusted.
  ParseState Parse(std::string_view data);

  bool HeadDone() const { return headDone_; }
  const RequestHead& Head() const { return head_; }
  std::string_view Body(std::string_view data) const {
    return data.substr(head_.bodyStart, head_.contentLength);
  }
  std::size_t Consumed() const { return head_.bodyStart + head_.contentLength; }
  int ErrorStatus() const { return error_; }

  // Ready for the next request.
  void Reset() {
    head_ = {};
    headDone_ = false;
    scanned_ = 0;
    error_ = 0;
  }

 private:
  ParseState Fail(int status) {
    error_ = status;
    return ParseState::Error;
  }
  ParseState ParseHead(std::string_view data, std::size_t start, std::size_t end);

  HttpLimits limits_;
  RequestHead head_;
  bool headDone_ = false;
  std::size_t scanned_ = 0;  // where the search for the blank line resumes
  int error_ = 0;
};

// The reason phrase of the statuses this server sends.
std::string_view StatusText(int status);

}  // namespace ger::server
