#pragma once
// The JSON-RPC 2.0 request parser of the application server, apart from the HTTP side so that
// the server and the fuzzer run the same code.
#include <boost/json/array.hpp>
#include <boost/json/storage_ptr.hpp>
#include <string>
#include <string_view>
#include <variant>

namespace ger::server {

struct RpcRequest {
  std::string id;  // the JSON text of the id, "null" when absent
  std::string method;
  boost::json::array params;  // empty when absent or null
};

// The complete error answer for a refused request (the id is JSON text).
std::string RpcErrorReply(std::string_view id, int code, std::string_view message);

// Reads one request body: the request, or the error answer to send back for a malformed one.
// Values are allocated from `storage`, which must outlive the request.
std::variant<RpcRequest, std::string> ParseRpcRequest(std::string_view body,
                                                      boost::json::storage_ptr storage = {});

}  // namespace ger::server
