#include "app_server.h"

#include <fmt/compile.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <boost/json/monotonic_resource.hpp>
#include <chrono>
#include <thread>

#include "change_feed.h"
#include "change_watch.h"
#include "http_server.h"
#include "log_sink.h"
#include "rpc_request.h"

namespace ger::server {

namespace json = boost::json;

namespace {

constexpr std::size_t kMaxBody = 64u << 20;

// The line every call leaves: "method 0.123 ms outcome (person)". Its format is compiled, and the
// logger gets the finished text; formatting it at run time cost more than answering the call.
void LogCall(std::string_view method, std::chrono::steady_clock::time_point start,
             std::string_view outcome, const std::string* person) {
  if (!spdlog::default_logger_raw()->should_log(spdlog::level::info)) return;
  // Milliseconds to three places, written from whole microseconds (a floating-point format
  // took a third of the line's time).
  const auto ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
          .count();
  const std::uint64_t us = (static_cast<std::uint64_t>(std::max<std::int64_t>(ns, 0)) + 500) / 1000;
  fmt::memory_buffer line;
  if (person)
    fmt::format_to(std::back_inserter(line), FMT_COMPILE("{} {}.{:03} ms {} ({})"),
                   method.empty() ? "-" : method, us / 1000, us % 1000, outcome, *person);
  else
    fmt::format_to(std::back_inserter(line), FMT_COMPILE("{} {}.{:03} ms {}"),
                   method.empty() ? "-" : method, us / 1000, us % 1000, outcome);
  spdlog::info(std::string_view(line.data(), line.size()));
}
constexpr std::string_view kPath = "/GER00200.rdmEmpresa";
constexpr std::string_view kRefusedAccess =
    "Acesso não autorizado: peça ao administrador um novo acesso.";

}  // namespace

bool IsLoopback(const std::string& address) {
  return address == "localhost" || address == "::1" || address.starts_with("127.");
}

std::string HandleRpc(RdmEmpresa& rdm, std::string_view body, std::string* methodOut,
                      std::string* outcome, const std::function<void()>& releaseBody, bool* offload,
                      std::optional<WaitingCall>* waiting) {
  *outcome = "error: malformed request";
  // A request is small: its values come from a buffer on the stack, not from the heap. A large
  // one (a logo) takes its values from the heap one by one, so that a method can give back what
  // it has read before the database takes its copy; an arena would keep them all to the end.
  unsigned char buffer[4096];
  json::monotonic_resource arena(buffer, sizeof buffer);
  json::storage_ptr storage;
  if (body.size() <= kCountedBody) storage = &arena;
  auto parsed = ParseRpcRequest(body, storage);
  if (auto* refused = std::get_if<std::string>(&parsed)) return std::move(*refused);
  RpcRequest& request = std::get<RpcRequest>(parsed);
  *methodOut = request.method;
  CurrentCaller().seat = std::move(request.seat);
  if (offload && rdm.Writes(request.method)) {
    *offload = true;
    *outcome = "handed to a worker";
    return {};
  }
  // The parameters live in the arena now; the body's bytes can go.
  if (releaseBody) releaseBody();
  try {
    std::string result = rdm.Invoke(request.method, request.params);
    if (waiting && request.method == kWaitMethod) {
      const ChangeWait wait = ParseChangeWait(request.params);
      const std::int64_t seen = std::stoll(result);
      if (seen <= wait.held && wait.longest.count() > 0) {
        *waiting = WaitingCall{std::move(request.id), wait.held, seen, wait.longest};
        *outcome = "waiting";
        return {};
      }
    }
    *outcome = "ok";
    return RpcResultReply(request.id, std::move(result));
  } catch (const RpcError& e) {
    *outcome = "error " + std::to_string(e.Code()) + ": " + e.Message();
    return RpcErrorReply(request.id, e.Code(), e.Message());
  } catch (const std::exception& e) {
    spdlog::error("{}: unexpected failure: {}", *methodOut, e.what());
    *outcome = std::string("error: ") + e.what();
    return RpcErrorReply(
        request.id, kApplicationError,
        "Erro interno do servidor de aplicação. Procure o administrador do sistema.");
  }
}

AppServer::AppServer(RdmEmpresa& rdm, ServerOptions options)
    : rdm_(rdm), options_(std::move(options)) {
  if (options_.people)
    gate_ = std::make_unique<Gate>(*options_.people, options_.token);
  else if (!options_.token.empty())
    expectedAuth_ = "Bearer " + options_.token;
  HttpServerOptions http;
  http.listen = options_.listen;
  http.port = options_.port;
  http.loops = options_.threads;
  // A loop waits for PostgreSQL's answer over the network, and another loop can answer
  // meanwhile: a loop per core there, at least two. SQLite's work is the loop's own, and the HTTP
  // layer's default (one fewer than the cores) leaves a core to everything else.
  if (http.loops <= 0 && !rdm_.DatabaseUrl().starts_with("sqlite:"))
    http.loops = std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
  http.spin = std::chrono::microseconds(options_.spinMicros);
  http.limits.maxBody = kMaxBody;
  watch_ = std::make_unique<ChangeWatch>([this] { return rdm_.ChangeNumber(); },
                                         [this] { http_->WakeParked(); },
                                         std::chrono::milliseconds(options_.changeCheckMs));
  http_ = std::make_unique<HttpServer>(
      std::move(http),
      [this](const HttpRequest& req, HttpReply& reply) { return Admit(req, reply); },
      [this](const HttpRequest& req, HttpReply& reply) {
        auto start = std::chrono::steady_clock::now();
        // Admit checked the access; here it only names the person.
        CallerScope caller(
            {gate_ ? gate_->PersonAdmitted(req.authorization) : std::string(kLocalPerson), {}});
        std::string method;
        std::string outcome;
        std::optional<WaitingCall> waiting;
        reply.body = HandleRpc(rdm_, req.body, &method, &outcome, req.releaseBody,
                               req.onLoop ? &reply.offload : nullptr, &waiting);
        if (reply.offload) return;
        if (waiting) return Park(std::move(*waiting), CurrentCaller().person, reply);
        // Calls parked on another change wake once the save is committed, not before.
        if (outcome == "ok" && rdm_.Writes(method)) watch_->Committed();
        LogCall(method, start, outcome, gate_ ? &CurrentCaller().person : nullptr);
      });
}

AppServer::~AppServer() {
  // Nothing wakes the loops once they are gone; the parked calls' tickets go with them.
  watch_->Stop();
  http_.reset();
}

void AppServer::Park(WaitingCall call, const std::string& person, HttpReply& reply) {
  watch_->Saw(call.seen);
  const auto start = std::chrono::steady_clock::now();
  reply.parkUntil = start + call.longest;
  reply.park = [this, call = std::move(call), ticket = watch_->Wait(), person, start,
                people = gate_ != nullptr](HttpReply& answer, bool last) {
    const std::int64_t now = std::max(call.seen, watch_->Known());
    if (now <= call.held && !last) return false;
    answer.body = RpcResultReply(call.id, std::to_string(now));
    LogCall(kWaitMethod, start, now > call.held ? "ok" : "ok (no change)",
            people ? &person : nullptr);
    return true;
  };
}

std::string_view OriginPath(std::string_view target) {
  // The absolute form ("http://host:port/path") names this server too; only the path counts.
  for (std::string_view scheme : {"http://", "https://"}) {
    if (target.size() > scheme.size() &&
        std::equal(scheme.begin(), scheme.end(), target.begin(),
                   [](char a, char b) { return a == (b | 0x20); })) {
      std::size_t slash = target.find('/', scheme.size());
      target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
      break;
    }
  }
  return target.substr(0, target.find('?'));
}

std::optional<std::string> AppServer::SignIn(const HttpRequest& req, HttpReply& reply) {
  try {
    if (std::optional<std::string> person = gate_->Admit(req.authorization)) return person;
  } catch (const std::exception& e) {
    spdlog::error("cannot check the access of a call from {}: {}", req.peer, e.what());
    reply.status = 503;
    reply.body = RpcErrorReply(
        "null", kApplicationError,
        "Não foi possível conferir o acesso no banco de dados. Tente novamente ou procure o "
        "administrador do sistema.");
    return std::nullopt;
  }
  if (std::size_t skipped = 0; refusedLog_.Allow(&skipped)) {
    if (skipped)
      spdlog::warn("refused a call from {}: no valid access ({} more refused since the last line)",
                   req.peer, skipped);
    else
      spdlog::warn("refused a call from {}: no valid access", req.peer);
  }
  reply.status = 401;
  reply.headers = "WWW-Authenticate: Bearer\r\n";
  reply.body = RpcErrorReply("null", kInvalidRequest, kRefusedAccess);
  reply.close = true;
  return std::nullopt;
}

bool AppServer::Admit(const HttpRequest& req, HttpReply& reply) {
  // The token is checked first, so that a client without it learns nothing of the paths. The
  // refusal ends the connection: a client guessing tokens pays a new connection for each guess.
  if (gate_ && !SignIn(req, reply)) return false;
  if (!expectedAuth_.empty() && !SameSecret(req.authorization, expectedAuth_)) {
    // A flood of them must not flood the log as well.
    if (std::size_t skipped = 0; refusedLog_.Allow(&skipped)) {
      if (skipped)
        spdlog::warn(
            "refused a request from {} without a valid token ({} more refused since "
            "the last line)",
            req.peer, skipped);
      else
        spdlog::warn("refused a request from {} without a valid token", req.peer);
    }
    reply.status = 401;
    reply.headers = "WWW-Authenticate: Bearer\r\n";
    reply.body = RpcErrorReply("null", kInvalidRequest, "Acesso não autorizado.");
    reply.close = true;
    return false;
  }
  std::string_view path = OriginPath(req.target);
  if (path != kPath) {
    reply.status = 404;
    reply.json = false;
    return false;
  }
  if (req.method != "POST") {
    reply.status = 405;
    reply.headers = "Allow: POST\r\n";
    reply.json = false;
    return false;
  }
  return true;
}

int AppServer::Bind() {
  return http_->Bind();
}

void AppServer::Serve() {
  http_->Serve();
}

void AppServer::Stop() {
  http_->Stop();
}

}  // namespace ger::server
