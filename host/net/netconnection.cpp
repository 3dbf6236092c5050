#include "net/netconnection.h"

#include <boost/json.hpp>

#include "core/blocking.h"
#include "core/exceptions.h"
#include "data/packet.h"
#include "net/http_channel.h"

namespace ger {

namespace json = boost::json;

namespace {
const std::string kInvalidAnswer = "Resposta inválida do servidor de aplicação";
}  // namespace

ServerPayload::ServerPayload() : ServerPayload(json::value()) {}

ServerPayload::ServerPayload(const json::value& value)
    : body_(std::make_shared<const std::string>(json::serialize(value))),
      text_(*body_),
      value_(std::make_shared<const json::value>(value)) {}

ServerPayload::ServerPayload(std::shared_ptr<const std::string> body, std::string_view text)
    : body_(std::move(body)), text_(text) {}

const json::value& ServerPayload::Value() const {
  if (!value_) {
    json::error_code ec;
    // The values come from one arena the payload keeps: a large answer costs no heap allocation
    // per value and is freed at once.
    json::value v = json::parse(text_, ec, json::make_shared_resource<json::monotonic_resource>());
    if (ec) throw EServerError(kInvalidAnswer + ".");
    value_ = std::make_shared<const json::value>(std::move(v));
  }
  return *value_;
}

TNetConnection::TNetConnection() = default;
TNetConnection::~TNetConnection() = default;

void TNetConnection::Connect() {
  if (BeforeConnect) BeforeConnect(*this);
  client_ = std::make_unique<net::HttpChannel>(Host, Port, TimeoutSeconds);
}

void TNetConnection::Disconnect() {
  client_.reset();
}

bool TNetConnection::Connected() const {
  return client_ != nullptr;
}

ServerAnswer TNetConnection::Call(std::string_view method, const json::array& params) {
  return CallEncoded(method, json::serialize(params));
}

ServerAnswer TNetConnection::CallEncoded(std::string_view method, std::string_view params) {
  if (!client_) Connect();
  const std::string where = Host + ":" + std::to_string(Port);
  ServerAnswer answer;

  // The client's one JSON-RPC request envelope.
  std::string requestText = "{\"jsonrpc\":\"2.0\",\"id\":";
  requestText += std::to_string(nextId_++);
  requestText += ",\"method\":";
  requestText += codec::EncodeText(method);
  requestText += ",\"params\":";
  requestText += params;
  requestText += '}';

  // The window keeps painting while the server works; the user cannot start anything else.
  decltype(client_->Post("", "", "")) res;
  blocking::Run([&] { res = client_->Post("/" + ServerName, requestText, Token); });
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
  // Only the envelope is read here; the result stays text until its reader decodes it.
  auto body = std::make_shared<const std::string>(std::move(res->body));
  std::vector<std::pair<std::string, std::string_view>> members;
  try {
    members = codec::ObjectMembers(*body);
  } catch (const EDatabaseError&) {
    answer.error = res->status == 200
                       ? kInvalidAnswer + " (" + where + ")."
                       : "O servidor de aplicação (" + where + ") respondeu com o erro HTTP " +
                             std::to_string(res->status) + ".";
    return answer;
  }
  for (const auto& [key, text] : members)
    if (key == "error") {
      json::error_code ec;
      json::value err = json::parse(text, ec);
      const json::value* msg =
          !ec && err.is_object() ? err.as_object().if_contains("message") : nullptr;
      answer.error = msg && msg->is_string() ? std::string(msg->as_string())
                                             : "Erro não identificado do servidor de aplicação.";
      return answer;
    }
  for (const auto& [key, text] : members)
    if (key == "result") {
      answer.payload.emplace(body, text);
      return answer;
    }
  answer.error = kInvalidAnswer + " (" + where + ").";
  return answer;
}

}  // namespace ger
