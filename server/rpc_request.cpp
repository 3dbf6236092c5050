#include "rpc_request.h"

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

std::variant<RpcRequest, std::string> ParseRpcRequest(std::string_view body,
                                                      json::storage_ptr storage) {
  json::error_code ec;
  json::value request = json::parse(body, ec, storage);
  if (ec)
    return RpcErrorReply("null", kParseError, "Requisição malformada: o corpo não é JSON válido.");
  if (!request.is_object())
    return RpcErrorReply("null", kInvalidRequest,
                         "Requisição inválida: esperado um objeto JSON-RPC.");
  json::object& obj = request.as_object();
  RpcRequest out;
  out.id = "null";
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
