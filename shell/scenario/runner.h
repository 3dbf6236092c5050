#pragma once
// Plays one scenario file in a fresh world: a temporary folder, a new SQLite database seeded by a
// ger-server child process on a free loopback port (with its test hooks), the host settings
// pointing at both, the scripted dialogs, and the module loaded with dlopen.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "script.h"
#include "ui/dialogs.h"

namespace ger::scenario {

struct Options {
  std::filesystem::path serverBin;  // ger-server
  std::filesystem::path dataDir;    // reference CSV files for the server's seed
  std::filesystem::path moduleDir;  // where lib<module>.so lies
  std::string module = "Pkg_Ger00200";
  bool keep = false;  // keep the temporary folder
};

// A line that did not hold: the runner reports "file:LINE: message". It derives from the
// scripted-session fault, so the application's handler lets it through modal loops and gestures.
class LineFailure : public ui::EScriptError {
 public:
  LineFailure(int line, const std::string& message) : ui::EScriptError(message), line(line) {}
  int line;
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
