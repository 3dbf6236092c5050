#include "app_server.h"

#include <httplib.h>
#include <spdlog/spdlog.h>

#include <boost/json.hpp>
#include <chrono>

namespace ger::server {

namespace json = boost::json;

namespace {

constexpr std::size_t kMaxBody = 64u << 20;
const std::string kPath = "/GER00200.rdmEmpresa";

std::string ErrorReply(const std::string& id, int code, const std::string& message) {
  json::object err;
  err["code"] = code;
  err["message"] = message;
  return "{\"jsonrpc\":\"2.0\",\"id\":" + id + ",\"error\":" + json::serialize(err) + "}";
}

bool SameSecret(std::string_view a, std::string_view b) {
  // Constant time in the length of the expected token.
  unsigned diff = a.size() != b.size();
  for (std::size_t i = 0; i < b.size(); ++i)
    diff |= static_cast<unsigned>(static_cast<unsigned char>(i < a.size() ? a[i] : 0) ^
                                  static_cast<unsigned char>(b[i]));
  return diff == 0;
}

}  // namespace

bool IsLoopback(const std::string& address) {
  return address == "localhost" || address == "::1" || address.starts_with("127.");
}

std::string HandleRpc(RdmEmpresa& rdm, std::string_view body, std::string* methodOut,
                      std::string* outcome) {
  *outcome = "error: malformed request";
  json::error_code ec;
  json::value request = json::parse(body, ec);
  if (ec)
    return ErrorReply("null", kParseError, "Requisição malformada: o corpo não é JSON válido.");
  if (!request.is_object())
    return ErrorReply("null", kInvalidRequest, "Requisição inválida: esperado um objeto JSON-RPC.");
  const json::object& obj = request.as_object();
  std::string id = "null";
  if (const json::value* v = obj.if_contains("id")) {
    if (v->is_string() || v->is_number() || v->is_null())
      id = json::serialize(*v);
    else
      return ErrorReply("null", kInvalidRequest, "Requisição inválida: identificador inválido.");
  }
  const json::value* version = obj.if_contains("jsonrpc");
  const json::value* method = obj.if_contains("method");
  if (!version || !version->is_string() || version->as_string() != "2.0" || !method ||
      !method->is_string())
    return ErrorReply(id, kInvalidRequest,
                      "Requisição inválida: faltam a versão \"2.0\" ou o nome do método.");
  *methodOut = std::string(method->as_string());
  json::array noParams;
  const json::array* params = &noParams;
  if (const json::value* p = obj.if_contains("params")) {
    if (p->is_array())
      params = &p->as_array();
    else if (!p->is_null())
      return ErrorReply(id, kInvalidParams,
                        "Parâmetros inválidos: esperada uma lista de argumentos em ordem.");
  }
  try {
    std::string result = rdm.Invoke(*methodOut, *params);
    *outcome = "ok";
    return "{\"jsonrpc\":\"2.0\",\"id\":" + id + ",\"result\":" + result + "}";
  } catch (const RpcError& e) {
    *outcome = "error " + std::to_string(e.Code()) + ": " + e.what();
    return ErrorReply(id, e.Code(), e.what());
  } catch (const std::exception& e) {
    spdlog::error("{}: unexpected failure: {}", *methodOut, e.what());
    *outcome = std::string("error: ") + e.what();
    return ErrorReply(id, kApplicationError,
                      "Erro interno do servidor de aplicação. Procure o administrador do sistema.");
  }
}

AppServer::AppServer(RdmEmpresa& rdm, ServerOptions options)
    : rdm_(rdm), options_(std::move(options)), http_(std::make_unique<httplib::Server>()) {
  const int threads = options_.threads;
  // The library takes ownership of the pool it is handed.
  http_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  http_->set_keep_alive_max_count(1000000);
  http_->set_keep_alive_timeout(30);
  http_->set_payload_max_length(kMaxBody);
  http_->set_tcp_nodelay(true);

  if (!options_.token.empty()) {
    const std::string expected = "Bearer " + options_.token;
    http_->set_pre_routing_handler([expected](const httplib::Request& req, httplib::Response& res) {
      if (SameSecret(req.get_header_value("Authorization"), expected))
        return httplib::Server::HandlerResponse::Unhandled;
      spdlog::warn("refused a request from {} without a valid token", req.remote_addr);
      res.status = 401;
      res.set_header("WWW-Authenticate", "Bearer");
      res.set_content(ErrorReply("null", kInvalidRequest, "Acesso não autorizado."),
                      "application/json");
      return httplib::Server::HandlerResponse::Handled;
    });
  }

  http_->Post(kPath, [this](const httplib::Request& req, httplib::Response& res) {
    auto start = std::chrono::steady_clock::now();
    std::string method;
    std::string outcome;
    std::string reply = HandleRpc(rdm_, req.body, &method, &outcome);
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    spdlog::info("{} {:.3f} ms {}", method.empty() ? "-" : method, ms, outcome);
    res.set_content(std::move(reply), "application/json");
  });
}

AppServer::~AppServer() = default;

int AppServer::Bind() {
  int port = options_.port;
  if (port == 0) {
    port = http_->bind_to_any_port(options_.listen);
    if (port < 0) throw std::runtime_error("cannot bind to " + options_.listen);
  } else if (!http_->bind_to_port(options_.listen, port)) {
    throw std::runtime_error("cannot listen on " + options_.listen + ":" + std::to_string(port) +
                             " (address in use or not available)");
  }
  return port;
}

void AppServer::Serve() {
  http_->listen_after_bind();
}
void AppServer::Stop() {
  http_->stop();
}

}  // namespace ger::server
