#include "net/netconnection.h"

#include <unistd.h>

#include <boost/json.hpp>

#include "core/blocking.h"
#include "core/exceptions.h"
#include "data/packet.h"
#include "net/http_channel.h"
#include "net/messages.h"

namespace ger {

namespace json = boost::json;

namespace {
const std::string kInvalidAnswer = "Resposta inválida do servidor de aplicação";

// The sentence for a secure connection refused, naming the check that failed.
std::string RefusalSentence(const ServerUrl& address, const std::string& caFile,
                            const net::TlsRefusal& refusal) {
  switch (refusal.check) {
    case net::TlsCheck::Name:
      return net::NetMsg("Tls_Nome", {address.host, refusal.detail});
    case net::TlsCheck::Authority:
      return net::NetMsg("Tls_Autoridade", {address.host, refusal.detail});
    case net::TlsCheck::Expired:
      return net::NetMsg("Tls_Vencido", {address.host, refusal.detail});
    case net::TlsCheck::NotYetValid:
      return net::NetMsg("Tls_Futuro", {address.host, refusal.detail});
    case net::TlsCheck::CaFile:
      return net::NetMsg("Tls_ArquivoCA", {caFile, refusal.detail});
    default:
      return net::NetMsg("Tls_Conexao", {address.Text(), refusal.detail});
  }
}
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

TNetConnection::TNetConnection() : ServerName(GER_DEFAULT_SERVER_OBJECT) {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) == 0) Seat = name;
}
TNetConnection::~TNetConnection() = default;

void TNetConnection::Connect() {
  if (BeforeConnect) BeforeConnect(*this);
  client_.reset();
  address_ = ParseServerUrl(Host, Port);
  if (!address_) return;  // each call says so
  std::optional<net::TlsOptions> tls;
  if (address_->tls) tls = net::TlsOptions{CaFile};
  client_ = std::make_unique<net::HttpChannel>(address_->host, address_->port, TimeoutSeconds,
                                               MaxAnswerBytes, std::move(tls));
  client_->SetCancel(CancelFd);
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
  ServerAnswer answer;
  if (!client_) {
    answer.error = net::NetMsg("Srv_Endereco", {Host});
    return answer;
  }
  const std::string where = address_->Text();

  // The client's one JSON-RPC request envelope.
  const std::string id = std::to_string(nextId_++);
  std::string requestText = "{\"jsonrpc\":\"2.0\",\"id\":";
  requestText += id;
  requestText += ",\"method\":";
  requestText += codec::EncodeText(method);
  if (!Seat.empty()) {
    requestText += ",\"seat\":";
    requestText += codec::EncodeText(Seat);
  }
  requestText += ",\"params\":";
  requestText += params;
  requestText += '}';

  // The window keeps painting while the server works; the user cannot start anything else.
  decltype(client_->Post("", "", "")) res;
  auto post = [&] { res = client_->Post("/" + ServerName, requestText, Token); };
  if (OwnThread)
    post();
  else
    blocking::Run(post);
  if (!res) {
    switch (client_->Failure()) {
      case net::HttpFailure::Timeout:
        answer.error = "O servidor de aplicação (" + where + ") não respondeu a tempo (" +
                       std::to_string(TimeoutSeconds) + " s).";
        break;
      case net::HttpFailure::TooLarge:
        answer.error = "A resposta do servidor de aplicação (" + where +
                       ") excede o tamanho máximo aceito (" + std::to_string(MaxAnswerBytes >> 20) +
                       " MB).";
        break;
      case net::HttpFailure::Refused:
        answer.error = RefusalSentence(*address_, CaFile, client_->TlsRefused());
        break;
      case net::HttpFailure::Broken:
        answer.error = "A comunicação com o servidor de aplicação (" + where +
                       ") foi interrompida antes da resposta completa.";
        break;
      default:
        answer.error = "Não foi possível conectar ao servidor de aplicação (" + where + ").";
    }
    return answer;
  }
  if (res->status == 401) {
    answer.error = !RefusedText.empty() ? RefusedText
                                        : "O servidor de aplicação (" + where +
                                              ") recusou o acesso: chave de acesso ausente ou "
                                              "inválida.";
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
  // An answer to another request (a late one, or a peer out of step) must not be taken for this
  // one's; an error about a request the server could not read carries a null id.
  const std::string_view* answerId = nullptr;
  for (const auto& [key, text] : members)
    if (key == "id") answerId = &text;
  for (const auto& [key, text] : members)
    if (key == "error" && answerId && (*answerId == id || *answerId == "null")) {
      json::error_code ec;
      json::value err = json::parse(text, ec);
      const json::value* msg =
          !ec && err.is_object() ? err.as_object().if_contains("message") : nullptr;
      answer.error = msg && msg->is_string() ? std::string(msg->as_string())
                                             : "Erro não identificado do servidor de aplicação.";
      // Shown through exceptions whose text ends at a NUL: the rest of the sentence would be lost.
      for (std::size_t at; (at = answer.error.find('\0')) != std::string::npos;)
        answer.error.replace(at, 1, "\u2400");
      return answer;
    }
  for (const auto& [key, text] : members)
    if (key == "result" && answerId && *answerId == id) {
      answer.payload.emplace(body, text);
      return answer;
    }
  // An answer to another request: whatever comes next on this connection is out of step too.
  if (!answerId || *answerId != id) client_->Close();
  answer.error = kInvalidAnswer + " (" + where + ").";
  return answer;
}

}  // namespace ger
