#include "runner.h"

#include <unistd.h>

#include <chrono>

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
    server::ServerProcess server({options.serverBin,
                                  {"--db", "sqlite:" + (tmp.Path() / "ger.db").string(), "--data",
                                   options.dataDir.string(), "--test-hooks"},
                                  tmp.Path() / "server.log"});
    World world;
    world.serverPort = server.Port();
    world.databaseUrl = "sqlite:" + (tmp.Path() / "ger.db").string();
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
