#include "nginx_front.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace ger::server {

namespace {

int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("no free loopback port for nginx");
  }
  ::close(fd);
  return ntohs(a.sin_port);
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The block that begins at the line `opening` (up to its closing brace on a line of its own).
std::string Block(const std::string& conf, const std::string& opening) {
  const std::size_t begin = conf.find("\n" + opening);
  if (begin == std::string::npos)
    throw std::runtime_error("the nginx configuration has no '" + opening + "' block");
  const std::size_t end = conf.find("\n}", begin + 1);
  if (end == std::string::npos) throw std::runtime_error("'" + opening + "' is not closed");
  return conf.substr(begin + 1, end + 2 - (begin + 1));
}

std::string Replaced(const std::string& text, const std::string& pattern,
                     const std::string& replacement) {
  const std::regex re(pattern);
  if (!std::regex_search(text, re))
    throw std::runtime_error("the nginx configuration has no line like '" + pattern + "'");
  return std::regex_replace(text, re, replacement);
}

}  // namespace

std::string FrontConfiguration(const FrontOptions& options, const std::vector<int>& ports) {
  const std::string shipped = ReadAll(options.config);
  if (shipped.empty()) throw std::runtime_error("cannot read " + options.config.string());
  // The shipped servers' lines give way to the ones started here.
  std::string upstream = Block(shipped, "upstream ger_servers {");
  upstream = std::regex_replace(upstream, std::regex(R"(\n\s*#?\s*server [^\n]*)"), "");
  std::string servers;
  for (int port : options.upstreamPorts)
    servers += "\n    server 127.0.0.1:" + std::to_string(port) + " max_fails=3 fail_timeout=10s;";
  upstream.insert(upstream.find('\n'), servers);

  const std::string site = Block(shipped, "server {");
  std::string sites;
  for (std::size_t i = 0; i < options.listeners.size(); ++i) {
    const FrontListener& l = options.listeners[i];
    std::string s = std::regex_replace(site, std::regex(R"(\n\s*listen \[::\][^\n]*)"), "");
    const std::string address = "127.0.0.1:" + std::to_string(ports[i]);
    if (l.certificate.empty()) {
      s = Replaced(s, R"(listen 443 ssl[^;]*;)", "listen " + address + ";");
      s = std::regex_replace(s, std::regex(R"(\n\s*ssl_[^\n]*)"), "");
    } else {
      s = Replaced(s, R"(listen 443 ssl[^;]*;)", "listen " + address + " ssl;");
      s = Replaced(s, R"(ssl_certificate [^;]*;)",
                   "ssl_certificate " + l.certificate.string() + ";");
      s = Replaced(s, R"(ssl_certificate_key [^;]*;)",
                   "ssl_certificate_key " + l.key.string() + ";");
    }
    sites += s + "\n";
  }
  const std::string dir = options.dir.string();
  return "daemon off;\nmaster_process off;\npid " + dir + "/nginx.pid;\nerror_log " + dir +
         "/error.log warn;\nevents { worker_connections 256; }\nhttp {\n  access_log off;\n"
         "  client_body_temp_path " +
         dir + "/body;\n  proxy_temp_path " + dir +
         "/proxy;\n"
         "  fastcgi_temp_path " +
         dir + "/fastcgi;\n  uwsgi_temp_path " + dir +
         "/uwsgi;\n"
         "  scgi_temp_path " +
         dir + "/scgi;\n" + upstream + "\n" + sites + "}\n";
}

NginxFront::NginxFront(FrontOptions options) {
  if (!fs::exists(options.binary))
    throw std::runtime_error("nginx is not installed (" + options.binary.string() +
                             "); ./ger deps installs it");
  fs::create_directories(options.dir);
  for (std::size_t i = 0; i < options.listeners.size(); ++i) ports_.push_back(FreeLoopbackPort());
  const fs::path conf = options.dir / "nginx.conf", log = options.dir / "error.log";
  {
    std::ofstream out(conf);
    out << FrontConfiguration(options, ports_);
    if (!out) throw std::runtime_error("cannot write " + conf.string());
  }
  std::vector<std::string> argv{options.binary.string(), "-e", log.string(), "-p",
                                options.dir.string(),    "-c", conf.string()};
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("cannot start nginx (fork failed)");
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int err = open((options.dir / "stderr.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) {
      dup2(err, STDERR_FILENO);
      dup2(err, STDOUT_FILENO);
    }
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (std::size_t i = 0; i < ports_.size();) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_ || std::chrono::steady_clock::now() > deadline) {
      if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0) Stop();
      pid_ = -1;
      throw std::runtime_error("nginx did not start: " + ReadAll(options.dir / "stderr.log") +
                               ReadAll(log));
    }
    if (Accepts(ports_[i])) {
      ++i;
      continue;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

NginxFront::~NginxFront() {
  Stop();
}

void NginxFront::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);  // nginx's fast shutdown
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
}

}  // namespace ger::server
