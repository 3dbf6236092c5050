// The HTTP request parser on arbitrary bytes: never reads outside the buffer, pieces it reports
// lie inside the request, and a request fed in pieces (as reads deliver it) is read exactly as
// when it arrives whole. Pipelined requests in one input are taken one after the other.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "http_parser.h"

using ger::server::HttpLimits;
using ger::server::ParseState;
using ger::server::RequestParser;
using ger::server::Span;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool Inside(Span s, std::size_t end) {
  return std::size_t{s.pos} + s.len <= end;
}

bool SameSpan(Span a, Span b) {
  return a.pos == b.pos && a.len == b.len;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  // Small limits, so that inputs of fuzzing size reach them.
  HttpLimits limits;
  limits.maxHead = 600;
  limits.maxBody = 2000;
  for (int request = 0; request < 64 && !rest.empty(); ++request) {
    RequestParser whole(limits);
    ParseState state = whole.Parse(rest);
    if (state == ParseState::Error) {
      int status = whole.ErrorStatus();
      Check(status == 400 || status == 411 || status == 413 || status == 431 || status == 505);
    }
    if (whole.HeadDone()) {
      const auto& h = whole.Head();
      Check(h.bodyStart <= rest.size() && h.bodyStart <= 2 * limits.maxHead);
      Check(h.contentLength <= limits.maxBody);
      Check(Inside(h.method, h.bodyStart) && Inside(h.target, h.bodyStart) &&
            Inside(h.authorization, h.bodyStart));
      Check(h.method.len > 0 && h.target.len > 0);
    }

    // The same bytes in pieces of a size taken from the input, the parser called after each.
    const std::size_t step = 1 + static_cast<unsigned char>(rest[0]) % 13;
    RequestParser pieces(limits);
    ParseState last = ParseState::NeedMore;
    std::size_t fed = 0;
    while (last == ParseState::NeedMore && fed < rest.size()) {
      fed = std::min(rest.size(), fed + step);
      last = pieces.Parse(rest.substr(0, fed));
    }
    Check(last == state);
    if (state == ParseState::Error) {
      Check(pieces.ErrorStatus() == whole.ErrorStatus());
      break;
    }
    if (state == ParseState::NeedMore) break;
    Check(pieces.Consumed() == whole.Consumed());
    Check(SameSpan(pieces.Head().method, whole.Head().method));
    Check(SameSpan(pieces.Head().target, whole.Head().target));
    Check(pieces.Head().keepAlive == whole.Head().keepAlive);
    Check(whole.Consumed() <= rest.size() && whole.Consumed() > 0);
    Check(whole.Body(rest).size() == whole.Head().contentLength);
    rest.remove_prefix(whole.Consumed());
  }
  return 0;
}
