// The server's JSON-RPC request parser on arbitrary bodies: never throws; a refused body gets a
// well-formed JSON-RPC error answer, an accepted one an id that reads back as sent. The parser
// reads the envelope as it goes; what it reads must be what the parsed object says (members in
// any order, named twice, nested, escaped), which is worked out here the plain way.
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rpc_request.h"

namespace {

namespace json = boost::json;

// The refusal's code, or the request as "method\nid\nseat\nparams".
std::string Expected(std::string_view body) {
  json::error_code ec;
  json::value v = json::parse(body, ec);
  if (ec) return "-32700";
  if (!v.is_object()) return "-32600";
  const json::object& o = v.as_object();
  std::string id = "null";
  if (const json::value* i = o.if_contains("id")) {
    if (!(i->is_string() || i->is_int64() || i->is_uint64() || i->is_null())) return "-32600";
    id = json::serialize(*i);
  }
  const json::value* version = o.if_contains("jsonrpc");
  const json::value* method = o.if_contains("method");
  if (!version || !version->is_string() || version->as_string() != "2.0" || !method ||
      !method->is_string())
    return "-32600";
  std::string seat;
  if (const json::value* s = o.if_contains("seat"); s && s->is_string()) seat = s->as_string();
  json::array params;
  if (const json::value* p = o.if_contains("params")) {
    if (p->is_array())
      params = p->as_array();
    else if (!p->is_null())
      return "-32602";
  }
  return std::string(method->as_string()) + "\n" + id + "\n" + seat + "\n" +
         json::serialize(params);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  auto parsed = ger::server::ParseRpcRequest(body);
  json::error_code ec;
  std::string got;
  if (auto* reply = std::get_if<std::string>(&parsed)) {
    json::value v = json::parse(*reply, ec);
    if (ec || !v.is_object() || !v.as_object().contains("error")) std::abort();
    got = json::serialize(v.at("error").at("code"));
  } else {
    const auto& request = std::get<ger::server::RpcRequest>(parsed);
    json::value id = json::parse(request.id, ec);
    // A number is echoed only when it reads back as the very same integer.
    if (ec || !(id.is_string() || id.is_int64() || id.is_uint64() || id.is_null())) std::abort();
    got = request.method + "\n" + request.id + "\n" + request.seat + "\n" +
          json::serialize(request.params);
  }
  // Large bodies may be refused for their count of values before they are read.
  if (size <= ger::server::kCountedBody && got != Expected(body)) std::abort();
  return 0;
}
