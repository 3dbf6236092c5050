#include "runner.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>

#include "core/secret_file.h"
#include "db/database.h"
#include "launcher.h"
#include "module/module.h"
#include "routines/components.h"
#include "ui/forms.h"

namespace fs = std::filesystem;

namespace ger::scenario {
namespace {

// Host settings pointing at the file's server and database, scripted dialogs, no form.
void FreshApplication(const World& world) {
  TApplication& app = Application();
  app.Reset();
  app.Settings.webUrl = world.serverHost;
  app.Settings.webPort = world.serverPort;
  app.Settings.token = world.token;
  app.Settings.databaseUrl = world.databaseUrl;
  app.Settings.moduloAtiv = "G";
  app.Settings.reportDir = world.tmp.string();
  dtmDBGeral().Close();
}

// Clears the application after the file, also after a failure; forms go before their module.
void ClearApplication(std::unique_ptr<TLoadedModule>& module) {
  TApplication& app = Application();
  if (module && app.GestureDepth() == 0) module.reset();
  if (app.GestureDepth() == 0) app.Reset();
  dtmDBGeral().Close();
}

}  // namespace

std::string PgUrlWithDatabase(const std::string& serverUrl, const std::string& name) {
  const std::size_t scheme = serverUrl.find("://");
  if (!(serverUrl.starts_with("postgresql://") || serverUrl.starts_with("postgres://")))
    throw std::runtime_error("'" + serverUrl + "' is not a postgresql:// URL");
  const std::size_t path = serverUrl.find_first_of("/?", scheme + 3);
  if (path == std::string::npos) return serverUrl + "/" + name;
  if (serverUrl[path] == '?')
    return serverUrl.substr(0, path) + "/" + name + serverUrl.substr(path);
  const std::size_t query = serverUrl.find('?', path);
  return serverUrl.substr(0, path + 1) + name +
         (query == std::string::npos ? std::string() : serverUrl.substr(query));
}

ScratchPgDatabase::ScratchPgDatabase(std::string serverUrl) : serverUrl_(std::move(serverUrl)) {
  static std::atomic<int> counter{0};
  name_ = "ger_scenario_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  url_ = PgUrlWithDatabase(serverUrl_, name_);
  try {
    auto admin = db::Connection::Open(serverUrl_);
    // A name left by a crashed run of a process with the same id is taken over.
    admin->ExecuteScript("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    // template0: nobody is connected to it, so runs beside each other never wait for it.
    admin->ExecuteScript("CREATE DATABASE " + name_ + " TEMPLATE template0 ENCODING 'UTF8'");
  } catch (const std::exception& e) {
    throw std::runtime_error("cannot create a database on the PostgreSQL server " + serverUrl_ +
                             ": " + e.what());
  }
}

ScratchPgDatabase::~ScratchPgDatabase() {
  try {
    db::Connection::Open(serverUrl_)
        ->ExecuteScript("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  } catch (const std::exception& e) {
    std::cerr << "ger-scenario: cannot drop the database " << name_ << " on " << serverUrl_ << ": "
              << e.what() << "\n";
  }
}

Outcome RunFile(const fs::path& file, const Options& options,
                const std::function<void(int)>& progress) {
  std::vector<Line> lines;
  try {
    lines = ReadScript(file);
  } catch (const SyntaxError& e) {
    return {false, e.line, e.what()};
  }
  int line = 0;
  try {
    ScratchDir tmp(options.keep);
    const std::string databaseUrl = options.databaseUrl.empty()
                                        ? "sqlite:" + (tmp.Path() / "ger.db").string()
                                        : options.databaseUrl;
    std::vector<std::string> serverArgs = {"--db", databaseUrl, "--data", options.dataDir.string(),
                                           "--test-hooks"};
    World world;
    if (!options.tokenFile.empty()) {
      world.token = ReadTokenFile(options.tokenFile.string());
      serverArgs.insert(serverArgs.end(), {"--token-file", options.tokenFile.string()});
    }
    server::ServerProcess server({options.serverBin, serverArgs, tmp.Path() / "server.log"});
    world.serverPort = server.Port();
    world.databaseUrl = databaseUrl;
    world.tmp = tmp.Path();
    std::unique_ptr<TLoadedModule> module;
    try {
      FreshApplication(world);
      module = std::make_unique<TLoadedModule>(options.module, options.moduleDir);
      world.module = module.get();
      Interpreter interpreter(world, [&](int n) {
        line = n;
        if (progress) progress(n);
      });
      interpreter.Play(std::move(lines));
    } catch (...) {
      ClearApplication(module);
      throw;
    }
    ClearApplication(module);
  } catch (const LineFailure& f) {
    return {false, f.line, f.what()};
  } catch (const std::exception& e) {
    return {false, line, e.what()};
  }
  return {true, 0, {}};
}

}  // namespace ger::scenario
