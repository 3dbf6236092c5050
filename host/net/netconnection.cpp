#include "net/netconnection.h"

#include <httplib.h>

#include <boost/json.hpp>

namespace ger {

namespace json = boost::json;

TNetConnection::TNetConnection() = default;
TNetConnection::~TNetConnection() = default;

void TNetConnection::Connect() {
  if (BeforeConnect) BeforeConnect(*this);
  client_ = std::make_unique<httplib::Client>(Host, Port);
  client_->set_keep_alive(true);
  // The request line and headers leave in one write and the body in another; with Nagle's
  // algorithm the body then waits for the server's delayed acknowledgement (40 ms a call).
  client_->set_tcp_nodelay(true);
  client_->set_connection_timeout(std::min(TimeoutSeconds, 5), 0);
  client_->set_read_timeout(TimeoutSeconds, 0);
  client_->set_write_timeout(TimeoutSeconds, 0);
  if (!Token.empty()) client_->set_bearer_token_auth(Token);
}

void TNetConnection::Disconnect() {
  if (client_) client_->stop();
  client_.reset();
}

bool TNetConnection::Connected() const {
  return client_ != nullptr;
}

ServerAnswer TNetConnection::Call(std::string_view method, const json::array& params) {
  if (!client_) Connect();
  const std::string where = Host + ":" + std::to_string(Port);
  ServerAnswer answer;

  json::object request;
  request["jsonrpc"] = "2.0";
  request["id"] = nextId_++;
  request["method"] = method;
  request["params"] = params;
  std::string body = json::serialize(request);

  auto res = client_->Post("/" + ServerName, body, "application/json");
  if (!res) {
    answer.error = "Não foi possível conectar ao servidor de aplicação (" + where + ").";
    return answer;
  }
  if (res->status == 401) {
    answer.error = "O servidor de aplicação (" + where +
                   ") recusou o acesso: chave de acesso ausente ou inválida.";
    return answer;
  }
  if (res->status == 413) {
    answer.error = "A requisição excede o tamanho máximo aceito pelo servidor de aplicação.";
    return answer;
  }
  json::error_code ec;
  // The answer's values come from one arena that the payload keeps alive: a list of thousands
  // of rows is then parsed without a heap allocation per value and freed at once.
  json::value reply =
      json::parse(res->body, ec, json::make_shared_resource<json::monotonic_resource>());
  if (ec || !reply.is_object()) {
    answer.error = res->status == 200
                       ? "Resposta inválida do servidor de aplicação (" + where + ")."
                       : "O servidor de aplicação (" + where + ") respondeu com o erro HTTP " +
                             std::to_string(res->status) + ".";
    return answer;
  }
  json::object& obj = reply.as_object();
  if (const json::value* err = obj.if_contains("error")) {
    const json::value* msg = err->is_object() ? err->as_object().if_contains("message") : nullptr;
    answer.error = msg && msg->is_string() ? std::string(msg->as_string())
                                           : "Erro não identificado do servidor de aplicação.";
    return answer;
  }
  if (json::value* result = obj.if_contains("result")) {
    answer.payload.emplace(std::move(*result));  // same arena: no copy
    return answer;
  }
  answer.error = "Resposta inválida do servidor de aplicação (" + where + ").";
  return answer;
}

}  // namespace ger
