#include "rpc_request.h"

#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

namespace ger::server {

namespace json = boost::json;

std::string RpcErrorReply(std::string_view id, int code, std::string_view message) {
  std::string out = "{\"jsonrpc\":\"2.0\",\"id\":";
  out += id;
  out += ",\"error\":{\"code\":";
  out += std::to_string(code);
  out += ",\"message\":";
  out += json::serialize(json::string_view(message.data(), message.size()));
  out += "}}";
  return out;
}

std::string RpcResultReply(std::string_view id, std::string result) {
  std::string head = "{\"jsonrpc\":\"2.0\",\"id\":";
  head += id;
  head += ",\"result\":";
  result.insert(0, head);
  result += '}';
  return result;
}

namespace {

// Counts what the parsed values of a text would take, without building them: a first pass over
// a large body, so that a body of many tiny values (a list of millions of zeros) is refused
// before its values take many times its size.
struct TreeSize {
  static constexpr std::size_t max_object_size = std::size_t(-1);
  static constexpr std::size_t max_array_size = std::size_t(-1);
  static constexpr std::size_t max_key_size = std::size_t(-1);
  static constexpr std::size_t max_string_size = std::size_t(-1);
  std::size_t bytes = sizeof(json::value);
  bool on_document_begin(json::error_code&) { return true; }
  bool on_document_end(json::error_code&) { return true; }
  bool on_object_begin(json::error_code&) { return true; }
  bool on_object_end(std::size_t n, json::error_code&) {
    bytes += n * sizeof(json::key_value_pair);
    return true;
  }
  bool on_array_begin(json::error_code&) { return true; }
  bool on_array_end(std::size_t n, json::error_code&) {
    bytes += n * sizeof(json::value);
    return true;
  }
  bool on_key_part(json::string_view, std::size_t, json::error_code&) { return true; }
  bool on_key(json::string_view, std::size_t n, json::error_code&) {
    bytes += n;
    return true;
  }
  bool on_string_part(json::string_view, std::size_t, json::error_code&) { return true; }
  bool on_string(json::string_view, std::size_t n, json::error_code&) {
    bytes += n;
    return true;
  }
  bool on_number_part(json::string_view, json::error_code&) { return true; }
  bool on_int64(std::int64_t, json::string_view, json::error_code&) { return true; }
  bool on_uint64(std::uint64_t, json::string_view, json::error_code&) { return true; }
  bool on_double(double, json::string_view, json::error_code&) { return true; }
  bool on_bool(bool, json::error_code&) { return true; }
  bool on_null(json::error_code&) { return true; }
  bool on_comment_part(json::string_view, json::error_code&) { return true; }
  bool on_comment(json::string_view, json::error_code&) { return true; }
};

}  // namespace

std::size_t ParsedSize(std::string_view body) {
  json::basic_parser<TreeSize> parser(json::parse_options{});
  json::error_code ec;
  parser.write_some(false, body.data(), body.size(), ec);
  return ec ? 0 : parser.handler().bytes;
}

std::variant<RpcRequest, std::string> ParseRpcRequest(std::string_view body,
                                                      json::storage_ptr storage) {
  // The values of a request take about as much as its text (a big logo is one long string);
  // a large one whose values would take much more is refused unread.
  if (body.size() > kCountedBody && ParsedSize(body) > body.size() + kParsedSlack)
    return RpcErrorReply("null", kInvalidRequest,
                         "Requisição inválida: valores demais para o seu tamanho.");
  json::error_code ec;
  json::value request = json::parse(body, ec, storage);
  if (ec)
    return RpcErrorReply("null", kParseError, "Requisição malformada: o corpo não é JSON válido.");
  if (!request.is_object())
    return RpcErrorReply("null", kInvalidRequest,
                         "Requisição inválida: esperado um objeto JSON-RPC.");
  json::object& obj = request.as_object();
  // The parameters keep the storage they were parsed into: moved into a list of another
  // storage, every value of them (a logo of megabytes) would be copied.
  RpcRequest out{"null", {}, json::array(storage), {}};
  if (const json::value* v = obj.if_contains("id")) {
    // Echoed as it is read: a number that is not a 64-bit integer (2^64, 1e400, 1.5) would come
    // back as another number, or as a text that is not JSON, and the client could not match it.
    if (v->is_string() || v->is_int64() || v->is_uint64() || v->is_null())
      out.id = json::serialize(*v);
    else
      return RpcErrorReply("null", kInvalidRequest, "Requisição inválida: identificador inválido.");
  }
  const json::value* version = obj.if_contains("jsonrpc");
  const json::value* method = obj.if_contains("method");
  if (!version || !version->is_string() || version->as_string() != "2.0" || !method ||
      !method->is_string())
    return RpcErrorReply(out.id, kInvalidRequest,
                         "Requisição inválida: faltam a versão \"2.0\" ou o nome do método.");
  out.method = std::string(method->as_string());
  // Not the request's business but the history's: an odd one is left out, never refused.
  if (const json::value* seat = obj.if_contains("seat"); seat && seat->is_string())
    out.seat = std::string(seat->as_string());
  if (json::value* p = obj.if_contains("params")) {
    if (p->is_array())
      out.params = std::move(p->as_array());  // same storage: no copy
    else if (!p->is_null())
      return RpcErrorReply(out.id, kInvalidParams,
                           "Parâmetros inválidos: esperada uma lista de argumentos em ordem.");
  }
  return out;
}

}  // namespace ger::server
