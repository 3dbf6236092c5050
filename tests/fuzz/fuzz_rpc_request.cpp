// The server's JSON-RPC request parser on arbitrary bodies: never throws; a refused body gets a
// well-formed JSON-RPC error answer, an accepted one an id that reads back as sent.
#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "rpc_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  auto parsed = ger::server::ParseRpcRequest(body);
  boost::json::error_code ec;
  if (auto* reply = std::get_if<std::string>(&parsed)) {
    boost::json::value v = boost::json::parse(*reply, ec);
    if (ec || !v.is_object() || !v.as_object().contains("error")) std::abort();
    return 0;
  }
  const auto& request = std::get<ger::server::RpcRequest>(parsed);
  boost::json::value id = boost::json::parse(request.id, ec);
  // A number is echoed only when it reads back as the very same integer.
  if (ec || !(id.is_string() || id.is_int64() || id.is_uint64() || id.is_null())) std::abort();
  return 0;
}
