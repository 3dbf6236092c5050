#pragma once
// The application server's JSON-RPC 2.0 layer: the request parser (apart from the HTTP side so
// that the server and the fuzzer run the same code), the error codes and refusals the methods
// raise, and the one place that writes an answer's envelope.
#include <boost/json/array.hpp>
#include <boost/json/storage_ptr.hpp>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace ger::server {

// JSON-RPC error codes.
enum RpcCode {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kApplicationError = -32000,
};

// A refused call: a JSON-RPC error code and the Portuguese sentence the user sees.
class RpcError : public std::runtime_error {
 public:
  RpcError(int code, const std::string& message)
      : std::runtime_error(message), code_(code), message_(message) {}
  int Code() const { return code_; }
  // The whole sentence: what() ends at a NUL character the sentence may quote.
  const std::string& Message() const { return message_; }

 private:
  int code_;
  std::string message_;
};

struct RpcRequest {
  std::string id;  // the JSON text of the id, "null" when absent
  std::string method;
  boost::json::array params;  // empty when absent or null; in the storage the body was read into
  std::string seat;           // "seat": the host name of the client's machine, when it sends one
};

// The complete error answer for a refused request (the id is JSON text).
std::string RpcErrorReply(std::string_view id, int code, std::string_view message);
// The complete success answer around a result's JSON text, written into the result's own buffer
// (a list of megabytes has room to spare there) instead of a copy of it.
std::string RpcResultReply(std::string_view id, std::string result);

// What the parsed values of a JSON text would take, in bytes, counted without building them; 0
// for a text that is not JSON.
std::size_t ParsedSize(std::string_view body);
// Bodies larger than kCountedBody are counted first: one whose values would take more than its
// size and kParsedSlack is refused, so that a request's memory stays near its size.
inline constexpr std::size_t kCountedBody = std::size_t{256} << 10;
inline constexpr std::size_t kParsedSlack = std::size_t{4} << 20;

// Reads one request body: the request, or the error answer to send back for a malformed one.
// Values are allocated from `storage`, which must outlive the request.
std::variant<RpcRequest, std::string> ParseRpcRequest(std::string_view body,
                                                      boost::json::storage_ptr storage = {});

}  // namespace ger::server
