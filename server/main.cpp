// ger-server: the application server of the company screen.
#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <thread>

#include "app_server.h"
#include "change_feed.h"
#include "core/secret_file.h"
#include "log_sink.h"
#include "paths.h"
#include "schema.h"

namespace fs = std::filesystem;
using namespace ger;

namespace {

// The level of the log lines from GER_LOG_LEVEL (trace, debug, info, warn, error); info when it
// is not set. False for a name that is not a level.
bool LogLevelFromEnvironment(spdlog::level::level_enum& level) {
  level = spdlog::level::info;
  const char* name = std::getenv("GER_LOG_LEVEL");
  if (!name || !*name) return true;
  for (int l = spdlog::level::trace; l <= spdlog::level::off; ++l) {
    auto candidate = static_cast<spdlog::level::level_enum>(l);
    const auto text = spdlog::level::to_string_view(candidate);
    if (std::string_view(text.data(), text.size()) == name ||
        (candidate == spdlog::level::warn && std::string_view(name) == "warn") ||
        (candidate == spdlog::level::err && std::string_view(name) == "err")) {
      level = candidate;
      return true;
    }
  }
  return false;
}

std::string Redacted(const std::string& url) {
  // Never log a password given in a connection string.
  auto scheme = url.find("://");
  auto at = url.find('@');
  if (scheme == std::string::npos || at == std::string::npos) return url;
  auto colon = url.find(':', scheme + 3);
  if (colon == std::string::npos || colon > at) return url;
  return url.substr(0, colon + 1) + "***" + url.substr(at);
}

// An advisory lock (flock) held on a file for the life of the process. SQLite locks with
// fcntl, which flock locks neither meet nor release.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // False when another process holds it.
  bool TryLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    return ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
  }

 private:
  int fd_ = -1;
};

// A damaged file is not served: answers from it would be wrong or fail, and saves into it might
// be acknowledged and lost.
void RequireIntact(db::Connection& c, const std::string& file) {
  std::string verdict;
  try {
    DataPacket check = c.Query("PRAGMA quick_check");
    verdict = check.rows.empty() ? "no answer" : std::get<std::string>(check.rows[0][0]);
  } catch (const db::FileChangedError&) {
    throw;
  } catch (const db::DbError& e) {
    verdict = e.what();
  }
  if (verdict != "ok")
    throw std::runtime_error("the database file " + file +
                             " is damaged (SQLite's check: " + verdict +
                             "); it is not served. Restore the last backup into a new file "
                             "(ger-admin restore --db sqlite:NEW-FILE BACKUP) and start on it");
}

// What the command line gives.
struct Settings {
  std::string dataDir = "var";
  std::string dbUrl;
  std::string refData;
  std::string tokenFile;
  server::ServerOptions options;
  bool demo = false;
};

void AddOptions(CLI::App& app, Settings& s) {
  server::ServerOptions& options = s.options;
  app.add_option("--data-dir", s.dataDir, "folder of the embedded database and run-time files")
      ->capture_default_str();
  app.add_option("--db", s.dbUrl,
                 "database: sqlite:PATH or postgresql://... (default: sqlite:<data-dir>/ger.db)");
  app.add_option("--port", options.port, "TCP port; 0 picks a free one")->capture_default_str();
  app.add_option("--listen", options.listen, "address to listen on")->capture_default_str();
  auto* tokenOption = app.add_option(
      "--token", options.token,
      "access token clients must send as a bearer token (required off loopback; the command "
      "line is visible to every local user: prefer --token-file or GER_SERVER_TOKEN)");
  app.add_option("--token-file", s.tokenFile,
                 "file holding the access token (readable by its owner only)")
      ->excludes(tokenOption);
  app.add_flag("--demo", s.demo, "add the demo companies");
  app.add_option("--data", s.refData, "folder of the reference CSV files");
  app.add_flag("--test-hooks", options.testHooks,
               "enable the __fail, __calls and __args test methods");
  app.add_option(
         "--threads", options.threads,
         "event loops answering requests (0: on SQLite one fewer than the cores, at least one; "
         "on PostgreSQL one per core, at least two)")
      ->capture_default_str();
  app.add_option(
         "--spin-us", options.spinMicros,
         "microseconds a loop keeps looking for the next request before it sleeps "
         "(0: sleep at once; saves a wake-up per call to a client that calls again at once)")
      ->check(CLI::Range(0, 10000))
      ->capture_default_str();
  app.add_option("--change-check-ms", options.changeCheckMs,
                 "while calls of AguardaAlteracao wait, milliseconds between looks at the "
                 "database's change number for the saves of other servers and programs (this "
                 "server's own saves answer them at once)")
      ->check(CLI::Range(10, 600000))
      ->capture_default_str();
}

// Signals are taken by a dedicated thread (sigwait), so stopping never runs in a handler.
// Blocked before any thread starts (the logger's included), so every thread inherits that.
sigset_t BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

// One log line per call, gathered in memory and written in blocks: warnings and errors at
// once, the rest at least once a second (the flusher thread starts after the signal mask).
// False, with the reason on stderr, when GER_LOG_LEVEL names no level.
bool StartLogging() {
  auto logger = std::make_shared<spdlog::logger>(
      "ger-server", std::make_shared<server::BufferedFdSink>(STDERR_FILENO));
  spdlog::set_default_logger(logger);
  spdlog::set_formatter(
      std::make_unique<server::LineFormatter>(std::getenv("JOURNAL_STREAM") != nullptr));
  spdlog::level::level_enum level;
  if (!LogLevelFromEnvironment(level)) {
    std::cerr << "ger-server: GER_LOG_LEVEL must be trace, debug, info, warn, error or off\n";
    return false;
  }
  spdlog::set_level(level);
  spdlog::flush_on(spdlog::level::warn);
  spdlog::flush_every(std::chrono::seconds(1));
  return true;
}

// Takes the token from its file or the environment when the command line gives none, and
// checks it and the address and port. Empty when they may be used, else what is wrong with them.
std::string SettleAccess(Settings& s) {
  server::ServerOptions& options = s.options;
  std::string tokenSource = "--token";
  try {
    if (!s.tokenFile.empty()) {
      options.token = ReadTokenFile(s.tokenFile);
      tokenSource = "--token-file";
    } else if (const char* env = std::getenv("GER_SERVER_TOKEN");
               options.token.empty() && env && *env) {
      options.token = env;
      tokenSource = "GER_SERVER_TOKEN";
    }
  } catch (const std::exception& e) {
    return e.what();
  }
  if (!options.token.empty()) {
    if (std::string why = TokenProblem(options.token); !why.empty())
      return tokenSource + ": " + why;
  }
  if (!server::IsLoopback(options.listen)) {
    if (options.token.empty())
      return "listening on " + options.listen +
             " (not loopback) requires a token (--token-file, GER_SERVER_TOKEN or --token)";
    // Short tokens can be guessed by a client on the network trying them one after another.
    if (options.token.size() < server::kMinNetworkToken)
      return "listening on " + options.listen + " (not loopback) requires a token of at least " +
             std::to_string(server::kMinNetworkToken) + " characters (" + tokenSource + " gives " +
             std::to_string(options.token.size()) + ")";
  }
  if (options.port < 0 || options.port > 65535) return "--port must be between 0 and 65535";
  return {};
}

// Makes the database ready to serve: one server to an SQLite file (held by `serverLock`), the
// file intact, the schema, the reference data and, asked for, the demo set in place. A database
// that can only be read is served as it is.
void PrepareDatabase(server::ConnectionPool& pool, FileLock& serverLock, const Settings& s,
                     const fs::path& refDir) {
  auto c = pool.Acquire();
  if (c->GetEngine() == db::Engine::SQLite) {
    const std::string file = s.dbUrl.substr(7);
    // Two servers on one file would both seed it and each keep its own view of who saved
    // what; several servers share a PostgreSQL database instead.
    if (!serverLock.TryLock(file))
      throw std::runtime_error("another ger-server serves the database file " + file +
                               " already; one SQLite file is served by one server (several "
                               "servers share a PostgreSQL database)");
    RequireIntact(*c, file);
  }
  if (c->ReadOnly()) {
    // Served as it is: its reference data is not loaded again, and saves are refused.
    if (!server::HasSchema(*c))
      throw std::runtime_error("the database " + Redacted(s.dbUrl) +
                               " can only be read and holds no tables yet; it must be "
                               "writable for its first start");
    spdlog::warn("the database {} can only be read: reads are served, saves are refused",
                 Redacted(s.dbUrl));
    if (s.demo) spdlog::warn("--demo ignored: the database can only be read");
    return;
  }
  server::CreateSchema(*c);
  if (int n = server::SeedReferenceData(*c, refDir))
    spdlog::info("loaded {} reference rows from {}", n, refDir.string());
  if (s.demo) {
    server::SeedDemo(*c, refDir);
    spdlog::info("demo companies in place");
  }
  server::PrepareChangeFeed(*c);
}

// Serves until SIGINT or SIGTERM arrives or the listener fails.
void Serve(server::ConnectionPool& pool, const Settings& s, sigset_t& signals) {
  server::ServerOptions options = s.options;
  try {
    pool.Acquire()->Query("SELECT NMUSUARIO FROM USUARIO LIMIT 1");
    options.people = &pool;
  } catch (const db::DbError& e) {
    // A database that can only be read and was made by an older version has no people yet.
    spdlog::warn("the database holds no table of people ({}): only the service token is checked",
                 e.what());
  }
  server::RdmEmpresa rdm(pool, options.testHooks);
  server::AppServer http(rdm, options);
  int port = http.Bind();
  std::printf("listening on %s:%d\n", options.listen.c_str(), port);
  std::fflush(stdout);
  spdlog::info("database {}", Redacted(s.dbUrl));
  if (options.testHooks) spdlog::warn("test hooks enabled");

  std::thread waiter([&] {
    int sig = 0;
    sigwait(&signals, &sig);
    spdlog::info("signal {} received, stopping", sig);
    http.Stop();
  });
  http.Serve();
  // Serve() also returns when the listener fails; wake the waiter in that case.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  spdlog::info("stopped");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"ger-server: application server \"GER00200.rdmEmpresa\" (JSON-RPC 2.0 over HTTP)"};
  Settings s;
  AddOptions(app, s);
  CLI11_PARSE(app, argc, argv);

  // Answers of megabytes (the company list) are built and dropped on every call. Taken from the
  // heap and kept there, instead of mapped and unmapped each time, their pages are not faulted in
  // and zeroed again by the kernel on every call.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);

  sigset_t signals = BlockStopSignals();
  if (!StartLogging()) return 2;
  if (std::string problem = SettleAccess(s); !problem.empty()) {
    std::cerr << "ger-server: " << problem << "\n";
    return 2;
  }

  try {
    if (s.dbUrl.empty()) {
      fs::create_directories(s.dataDir);
      s.dbUrl = "sqlite:" + (fs::path(s.dataDir) / "ger.db").string();
    }
    const fs::path refDir = s.refData.empty() ? server::ReferenceDataDir() : fs::path(s.refData);
    server::ConnectionPool pool(s.dbUrl);
    FileLock serverLock;
    PrepareDatabase(pool, serverLock, s, refDir);
    Serve(pool, s, signals);
  } catch (const std::exception& e) {
    spdlog::error("{}", e.what());
    spdlog::shutdown();
    std::cerr << "ger-server: " << e.what() << "\n";
    return 1;
  }
  spdlog::shutdown();
  return 0;
}
