#include "app_server.h"

#include <httplib.h>
#include <spdlog/spdlog.h>

#include <boost/json/monotonic_resource.hpp>
#include <chrono>
#include <thread>

#include "rpc_request.h"

namespace ger::server {

namespace json = boost::json;

namespace {

constexpr std::size_t kMaxBody = 64u << 20;
const std::string kPath = "/GER00200.rdmEmpresa";

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
  // A request is small: its values come from a buffer on the stack, not from the heap.
  unsigned char buffer[4096];
  json::monotonic_resource arena(buffer, sizeof buffer);
  auto parsed = ParseRpcRequest(body, &arena);
  if (auto* refused = std::get_if<std::string>(&parsed)) return std::move(*refused);
  RpcRequest& request = std::get<RpcRequest>(parsed);
  *methodOut = request.method;
  try {
    std::string result = rdm.Invoke(request.method, request.params);
    *outcome = "ok";
    std::string reply;
    reply.reserve(result.size() + request.id.size() + 32);
    reply += "{\"jsonrpc\":\"2.0\",\"id\":";
    reply += request.id;
    reply += ",\"result\":";
    reply += result;
    reply += '}';
    return reply;
  } catch (const RpcError& e) {
    *outcome = "error " + std::to_string(e.Code()) + ": " + e.what();
    return RpcErrorReply(request.id, e.Code(), e.what());
  } catch (const std::exception& e) {
    spdlog::error("{}: unexpected failure: {}", *methodOut, e.what());
    *outcome = std::string("error: ") + e.what();
    return RpcErrorReply(
        request.id, kApplicationError,
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
      res.set_content(RpcErrorReply("null", kInvalidRequest, "Acesso não autorizado."),
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
  if (!stopRequested_) http_->listen_after_bind();
  served_ = true;
}

void AppServer::Stop() {
  stopRequested_ = true;
  // A stop that comes before the listener runs (a signal right after start-up) would be lost:
  // the library ignores it then. Wait for the listener, or for Serve() to give up, at most 2 s.
  for (int i = 0; i < 2000 && !served_; ++i) {
    if (http_->is_running()) {
      http_->stop();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace ger::server
