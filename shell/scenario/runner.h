#pragma once
// Plays one scenario file in a fresh world: a temporary folder, a new SQLite database seeded by a
// ger-server child process on a free loopback port (with its test hooks), the host settings
// pointing at both, the scripted dialogs, and the module loaded with dlopen. The caller runs it in
// a process of its own, so every file starts with fresh module globals.
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
};

struct Outcome {
  bool passed = false;
  int line = 0;
  std::string message;
};

// Runs the file's lines; `progress` is told each line number before the line runs.
Outcome RunFile(const std::filesystem::path& file, const Options& options,
                const std::function<void(int)>& progress = {});

}  // namespace ger::scenario
