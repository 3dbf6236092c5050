#include "runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "module/module.h"
#include "routines/components.h"
#include "ui/forms.h"

namespace fs = std::filesystem;

namespace ger::scenario {
namespace {

// --- the application server as a child process --------------------------------------------------

class ServerChild {
 public:
  ServerChild(const Options& options, const fs::path& tmp) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("cannot create a pipe for ger-server");
    std::vector<std::string> argv = {options.serverBin.string(),
                                     "--port",
                                     "0",
                                     "--db",
                                     "sqlite:" + (tmp / "ger.db").string(),
                                     "--data",
                                     options.dataDir.string(),
                                     "--test-hooks"};
    std::string log = (tmp / "server.log").string();
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("cannot start ger-server (fork failed)");
    if (pid_ == 0) {
      // The server goes when the scenario's process goes, however that ends.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      dup2(out[1], 1);
      int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err >= 0) dup2(err, 2);
      close(out[0]);
      close(out[1]);
      std::vector<char*> args;
      for (auto& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(out[1]);
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (true) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      pollfd p{out[0], POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char c;
      if (read(out[0], &c, 1) != 1 || c == '\n') break;
      line.push_back(c);
    }
    close(out[0]);
    auto colon = line.rfind(':');
    if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
      Stop();
      throw std::runtime_error("ger-server (" + options.serverBin.string() +
                               ") did not start; its log is " + log);
    }
    port_ = std::stoi(line.substr(colon + 1));
  }
  ~ServerChild() { Stop(); }
  ServerChild(const ServerChild&) = delete;
  ServerChild& operator=(const ServerChild&) = delete;
  int Port() const { return port_; }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

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
    ServerChild server(options, tmp.Path());
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
