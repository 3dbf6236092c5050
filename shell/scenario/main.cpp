// ger-scenario: plays scenario files against the real module, application server and database,
// without a display. Each file runs in its own child process, so the module's globals, the
// application object and the database start fresh, and a crash fails that file only.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "core/secret_file.h"
#include "module/module.h"
#include "paths.h"
#include "runner.h"

namespace fs = std::filesystem;
using namespace ger::scenario;

namespace {

fs::path ExeDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : exe.parent_path();
}

void WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

// Runs one file in a child process; the result line for the report.
bool RunInChild(const std::string& file, const Options& options, int timeoutSeconds,
                std::string& report) {
  int fds[2];
  if (pipe(fds) != 0) {
    report = "FAIL " + file + ":0: cannot create a pipe";
    return false;
  }
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (timeoutSeconds > 0) alarm(static_cast<unsigned>(timeoutSeconds));
    Outcome o = RunFile(file, options,
                        [&](int line) { WriteAll(fds[1], "@" + std::to_string(line) + "\n"); });
    WriteAll(fds[1], o.passed ? std::string("PASS\n")
                              : "FAIL " + std::to_string(o.line) + " " + OneLine(o.message) + "\n");
    close(fds[1]);
    std::fflush(nullptr);
    _exit(o.passed ? 0 : 1);
  }
  close(fds[1]);
  std::string all;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) all.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);

  int lastLine = 0;
  std::size_t pos = 0;
  while (pos < all.size()) {
    std::size_t end = all.find('\n', pos);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(pos, end - pos);
    pos = end + 1;
    if (line.rfind("@", 0) == 0) {
      lastLine = std::atoi(line.c_str() + 1);
    } else if (line == "PASS") {
      report = "PASS " + file;
      return true;
    } else if (line.rfind("FAIL ", 0) == 0) {
      std::size_t space = line.find(' ', 5);
      std::string number = line.substr(5, space - 5);
      std::string message = space == std::string::npos ? "" : line.substr(space + 1);
      report = "FAIL " + file + ":" + number + ": " + message;
      return false;
    }
  }
  std::string why;
  if (WIFSIGNALED(status))
    why = WTERMSIG(status) == SIGALRM
              ? "timed out after " + std::to_string(timeoutSeconds) + " s"
              : std::string("the run ended abnormally (") + strsignal(WTERMSIG(status)) + ")";
  else
    why =
        "the run ended without a result (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
  report = "FAIL " + file + ":" + std::to_string(lastLine) + ": " + why;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "ger-scenario: plays scenario files against the module, ger-server and a fresh database"};
  Options options;
  fs::path exeDir = ExeDir();
  options.serverBin = exeDir / "ger-server";
  options.dataDir = ger::server::ReferenceDataDir();
  int timeout = 300;
  std::string pgServer;
  std::vector<std::string> files;
  app.add_option("--data", options.dataDir, "folder of the reference CSV files");
  app.add_option("--server", options.serverBin, "the ger-server program");
  app.add_option("--module", options.module, "module name or file")->capture_default_str();
  app.add_option("--module-dir", options.moduleDir,
                 "folder of the module (default: the host library's folder)");
  app.add_option("--pg", pgServer,
                 "PostgreSQL server (postgresql://...) on which each file gets a new database of "
                 "its own instead of a SQLite file; it is dropped after the file");
  app.add_option("--token-file", options.tokenFile,
                 "file holding the access token the server is started with and the module sends "
                 "(readable by its owner only)");
  app.add_flag("--keep", options.keep, "keep each file's temporary folder");
  app.add_option("--timeout", timeout, "seconds a file may run (0: no limit)")
      ->capture_default_str();
  app.add_option("files", files, "scenario files")->required();
  CLI11_PARSE(app, argc, argv);

  try {
    if (options.moduleDir.empty()) options.moduleDir = ger::TLoadedModule::HostLibraryDir();
    if (!options.tokenFile.empty()) ger::ReadTokenFile(options.tokenFile.string());
  } catch (const std::exception& e) {
    std::cerr << "ger-scenario: " << e.what() << "\n";
    return 2;
  }
  if (!fs::is_regular_file(options.serverBin)) {
    std::cerr << "ger-scenario: the application server " << options.serverBin
              << " does not exist (use --server)\n";
    return 2;
  }
  if (!fs::is_directory(options.dataDir)) {
    std::cerr << "ger-scenario: the reference data folder " << options.dataDir
              << " does not exist (use --data)\n";
    return 2;
  }

  int passed = 0, failed = 0;
  for (const std::string& file : files) {
    std::string report;
    Options fileOptions = options;
    // Made and dropped here, outside the file's process, so a file that crashes or times out
    // leaves no database behind.
    std::optional<ScratchPgDatabase> pg;
    try {
      if (!pgServer.empty()) {
        pg.emplace(pgServer);
        fileOptions.databaseUrl = pg->Url();
      }
      (RunInChild(file, fileOptions, timeout, report) ? passed : failed)++;
    } catch (const std::exception& e) {
      report = "FAIL " + file + ":0: " + e.what();
      ++failed;
    }
    std::cout << report << std::endl;
  }
  std::cout << passed << " passed, " << failed << " failed" << std::endl;
  return failed == 0 ? 0 : 1;
}
