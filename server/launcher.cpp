#include "launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace ger::server {

ServerProcess::ServerProcess(LaunchOptions options) {
  std::vector<std::string> argv{options.binary.string()};
  argv.insert(argv.end(), options.args.begin(), options.args.end());
  if (std::find(argv.begin(), argv.end(), "--port") == argv.end()) {
    argv.push_back("--port");
    argv.push_back("0");
  }
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("cannot create a pipe for ger-server");
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) {
    close(out[0]);
    close(out[1]);
    throw std::runtime_error("cannot start ger-server (fork failed)");
  }
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);  // the parent went before the line above took effect
    dup2(out[1], STDOUT_FILENO);
    if (!options.log.empty()) {
      int err = open(options.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err >= 0) dup2(err, STDERR_FILENO);
    }
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  close(out[1]);
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + options.startTimeout;
  for (;;) {
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
  const auto colon = line.rfind(':');
  if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
    Stop(std::chrono::milliseconds(500));
    std::string where = options.log.empty() ? "" : "; its log is " + options.log.string();
    throw std::runtime_error("ger-server (" + options.binary.string() + ") did not start" +
                             (line.empty() ? "" : ": '" + line + "'") + where);
  }
  port_ = std::stoi(line.substr(colon + 1));
}

ServerProcess::~ServerProcess() {
  Stop();
}

int ServerProcess::Stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Kill();
  return -1;
}

void ServerProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace ger::server
