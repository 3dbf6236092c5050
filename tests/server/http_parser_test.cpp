// The HTTP request parser alone: framing, limits and the refusals that keep a connection safe.
#include <gtest/gtest.h>

#include <string>

#include "http_parser.h"

using ger::server::HttpLimits;
using ger::server::ParseState;
using ger::server::RequestParser;

namespace {

struct Outcome {
  ParseState state;
  int status = 0;
};

Outcome ParseAll(const std::string& text, HttpLimits limits = {}) {
  RequestParser p(limits);
  ParseState s = p.Parse(text);
  return {s, s == ParseState::Error ? p.ErrorStatus() : 0};
}

const std::string kBody = R"({"jsonrpc":"2.0","id":1,"method":"GetVEmp"})";

std::string Request(const std::string& eol) {
  return "POST /GER00200.rdmEmpresa HTTP/1.1" + eol + "Host: h" + eol +
         "authorization:   Bearer abc  " + eol + "CONTENT-length: " + std::to_string(kBody.size()) +
         eol + eol + kBody;
}

}  // namespace

TEST(HttpParser, ARequestSplitAtEveryByteIsReadTheSameAsWhole) {
  for (std::string eol : {"\r\n", "\n"}) {
    // Empty lines before the request line are skipped.
    const std::string text = eol + Request(eol);
    const std::size_t headEnd = text.find(eol + eol, eol.size()) + 2 * eol.size();
    RequestParser p;
    for (std::size_t k = 0; k < text.size(); ++k) {
      ASSERT_EQ(p.Parse(std::string_view(text).substr(0, k)), ParseState::NeedMore) << k;
      ASSERT_EQ(p.HeadDone(), k >= headEnd) << "cut at " << k;
    }
    ASSERT_EQ(p.Parse(text), ParseState::Complete);
    EXPECT_EQ(p.Head().method.In(text), "POST");
    EXPECT_EQ(p.Head().target.In(text), "/GER00200.rdmEmpresa");
    EXPECT_EQ(p.Head().authorization.In(text), "Bearer abc");
    EXPECT_EQ(p.Body(text), kBody);
    EXPECT_EQ(p.Consumed(), text.size());
    EXPECT_TRUE(p.Head().keepAlive);
  }
}

TEST(HttpParser, PipelinedRequestsAreTakenOneAfterTheOther) {
  const std::string one = Request("\r\n");
  const std::string two = "GET /x HTTP/1.1\r\nContent-Length: 0\r\n\r\n";
  std::string buffer = one + two + one.substr(0, 30);
  RequestParser p;
  ASSERT_EQ(p.Parse(buffer), ParseState::Complete);
  EXPECT_EQ(p.Body(buffer), kBody);  // the body stops at its length, not at the buffer's end
  std::string_view rest = std::string_view(buffer).substr(p.Consumed());
  p.Reset();
  ASSERT_EQ(p.Parse(rest), ParseState::Complete);
  EXPECT_EQ(p.Head().method.In(rest), "GET");
  EXPECT_TRUE(p.Body(rest).empty());
  rest.remove_prefix(p.Consumed());
  p.Reset();
  EXPECT_EQ(p.Parse(rest), ParseState::NeedMore);
  EXPECT_FALSE(p.HeadDone());
}

TEST(HttpParser, KeepAliveFollowsTheVersionAndTheConnectionHeader) {
  struct Case {
    const char* version;
    const char* connection;
    bool keepAlive;
  } cases[] = {
      {"HTTP/1.1", nullptr, true},           {"HTTP/1.1", "close", false},
      {"HTTP/1.1", "Upgrade, CLOSE", false}, {"HTTP/1.0", nullptr, false},
      {"HTTP/1.0", "Keep-Alive", true},      {"HTTP/1.0", "keep-alive, close", false},
  };
  for (const Case& c : cases) {
    std::string text = std::string("POST / ") + c.version + "\r\n";
    if (c.connection) text += std::string("Connection: ") + c.connection + "\r\n";
    text += "\r\n";
    RequestParser p;
    ASSERT_EQ(p.Parse(text), ParseState::Complete) << text;
    EXPECT_EQ(p.Head().keepAlive, c.keepAlive) << text;
    EXPECT_EQ(p.Head().minorVersion, c.version[7] - '0');
  }
}

TEST(HttpParser, ContinueIsAwaitedOnlyByHttp11Clients) {
  const std::string head = "Content-Length: 5\r\nExpect: 100-Continue\r\n\r\n";
  RequestParser p;
  EXPECT_EQ(p.Parse("POST / HTTP/1.1\r\n" + head), ParseState::NeedMore);
  EXPECT_TRUE(p.HeadDone());
  EXPECT_TRUE(p.Head().expectContinue);
  RequestParser old;
  old.Parse("POST / HTTP/1.0\r\n" + head);
  EXPECT_FALSE(old.Head().expectContinue);
  RequestParser none;
  none.Parse("POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\n");
  EXPECT_FALSE(none.Head().expectContinue);
}

TEST(HttpParser, SizeLimitsAreEnforcedBeforeTheBytesArrive) {
  HttpLimits limits;
  limits.maxHead = 1024;
  limits.maxBody = 1000;
  // A head that never ends is refused once it passes the limit, not when it completes.
  std::string endless = "POST / HTTP/1.1\r\nX: " + std::string(1100, 'a');
  EXPECT_EQ(ParseAll(endless, limits).status, 431);
  EXPECT_EQ(ParseAll("POST / HTTP/1.1\r\nX: " + std::string(900, 'a'), limits).state,
            ParseState::NeedMore);
  EXPECT_EQ(ParseAll("POST / HTTP/1.1\r\nX: " + std::string(1100, 'a') + "\r\n\r\n", limits).status,
            431);
  // The body limit is judged on the declared length, with nothing of the body sent yet.
  EXPECT_EQ(ParseAll("POST / HTTP/1.1\r\nContent-Length: 1001\r\n\r\n", limits).status, 413);
  EXPECT_EQ(ParseAll("POST / HTTP/1.1\r\nContent-Length: 1000\r\n\r\n", limits).state,
            ParseState::NeedMore);
  // A length too large for any integer is still "too large", not a wrapped small number.
  EXPECT_EQ(
      ParseAll("POST / HTTP/1.1\r\nContent-Length: 18446744073709551617\r\n\r\n", limits).status,
      413);
  // The defaults: 64 MiB of body.
  EXPECT_EQ(ParseAll("POST / HTTP/1.1\r\nContent-Length: 67108880\r\n\r\n").status, 413);
  EXPECT_EQ(ParseAll("POST / HTTP/1.1\r\nContent-Length: 67108864\r\n\r\n").state,
            ParseState::NeedMore);
}

TEST(HttpParser, MalformedOrAmbiguousRequestsAreRefused) {
  struct Case {
    std::string text;
    int status;
  } cases[] = {
      {"POST /\r\n\r\n", 400},
      {"POST  / HTTP/1.1\r\n\r\n", 400},
      {"PO(ST / HTTP/1.1\r\n\r\n", 400},
      {"POST / HTTP/1.1 \r\n\r\n", 400},
      {"POST / HTTP/11\r\n\r\n", 400},
      {"POST / http/1.1\r\n\r\n", 400},
      {"POST / HTTP/2.0\r\n\r\n", 505},
      {"POST / HTTP/1.1\r\nNoColon\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length : 5\r\n\r\nhello", 400},
      {"POST / HTTP/1.1\r\nX: a\r\n folded\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nX: a\rb\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\n\r\r\nX: 1\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length: 5x\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length: \r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", 400},
      {"POST / HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", 411},
      // Which of two credentials would count is anybody's guess.
      {"POST / HTTP/1.1\r\nAuthorization: Bearer a\r\nauthorization: Bearer a\r\n\r\n", 400},
  };
  for (const Case& c : cases) {
    Outcome o = ParseAll(c.text);
    EXPECT_EQ(o.state, ParseState::Error) << c.text;
    EXPECT_EQ(o.status, c.status) << c.text;
  }
  Outcome nul = ParseAll(std::string("POST / HTTP/1.1\r\nX: a\0b\r\n\r\n", 27));
  EXPECT_EQ(nul.status, 400);
  // The same length twice is no conflict.
  RequestParser p;
  const std::string twice = "POST / HTTP/1.1\r\nContent-Length: 3\r\ncontent-length: 3\r\n\r\nabc";
  ASSERT_EQ(p.Parse(twice), ParseState::Complete);
  EXPECT_EQ(p.Body(twice), "abc");
  // Once refused, always refused: nothing more is read from that connection.
  RequestParser bad;
  EXPECT_EQ(bad.Parse("BAD\r\n\r\n"), ParseState::Error);
  EXPECT_EQ(bad.Parse("POST / HTTP/1.1\r\n\r\n"), ParseState::Error);
}
