#pragma once
// Plays one scenario file in a fresh world: a temporary folder, a new database (a SQLite file in
// that folder, or a PostgreSQL database made for the file) seeded by a ger-server child process on
// a free loopback port (with its test hooks), the host settings pointing at both, the scripted
// dialogs, and the module loaded with dlopen. The caller runs it in a process of its own, so every
// file starts with fresh module globals.
#include <filesystem>
#include <functional>
#include <string>

#include "interpreter.h"

namespace ger::scenario {

struct Options {
  std::filesystem::path serverBin;  // ger-server
  std::filesystem::path dataDir;    // reference CSV files for the server's seed
  std::filesystem::path moduleDir;  // where lib<module>.so lies
  std::string module = "Pkg_Ger00200";
  bool keep = false;  // keep the temporary folder
  // The file's database, new and empty (ScratchPgDatabase); empty: a new SQLite file in the
  // file's temporary folder.
  std::string databaseUrl;
  // The server is started with this token file and the module and the runner send its token.
  std::filesystem::path tokenFile;
};

// A database of its own on a PostgreSQL server, created empty from template0 and dropped again
// with the object (connections still open to it are ended first, so a file whose server crashed
// leaves nothing behind). Names are unique per process and object. std::runtime_error naming the
// server when it cannot be created.
class ScratchPgDatabase {
 public:
  explicit ScratchPgDatabase(std::string serverUrl);
  ~ScratchPgDatabase();
  ScratchPgDatabase(const ScratchPgDatabase&) = delete;
  ScratchPgDatabase& operator=(const ScratchPgDatabase&) = delete;
  const std::string& Name() const { return name_; }
  const std::string& Url() const { return url_; }

 private:
  std::string serverUrl_, name_, url_;
};

// The URL of database `name` on the server of a postgresql:// URL (its path replaced).
std::string PgUrlWithDatabase(const std::string& serverUrl, const std::string& name);

struct Outcome {
  bool passed = false;
  int line = 0;
  std::string message;
};

// Runs the file's lines; `progress` is told each line number before the line runs.
Outcome RunFile(const std::filesystem::path& file, const Options& options,
                const std::function<void(int)>& progress = {});

}  // namespace ger::scenario
