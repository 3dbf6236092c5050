#pragma once
// The interpreter of scenario files. It plays lines against a world given to it: the loaded
// module, the database, the application server's test hooks and a scratch folder. ger-scenario
// builds a fresh world for each file; ger-host plays a file inside the world it is running.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "script.h"
#include "ui/dialogs.h"

namespace ger {
class TLoadedModule;
class TNetConnection;
namespace db {
class Connection;
}
}  // namespace ger

namespace ger::scenario {

// What a script plays against. The interpreter owns none of it.
struct World {
  TLoadedModule* module = nullptr;  // entry points (call) and globals (expect global)
  std::string databaseUrl;          // sql, expect sql
  // The application server; fail and expect calls use its __fail and __calls methods, which only
  // a server started with --test-hooks answers.
  std::string serverHost = "127.0.0.1";  // a host name or a URL (core/server_url.h)
  int serverPort = 0;
  std::string caFile;         // for an https server: the authorities' file (empty: the system's)
  std::string token;          // sent as a bearer token when not empty
  std::filesystem::path tmp;  // what $TMP stands for in texts
  // Called when the file ends while a modal form is still open (ger-host takes its picture
  // there: what the user sees at that moment). Unset, such an ending fails the file.
  std::function<void()> atEndInModal;
};

// Ends the lines of a file that stopped inside a modal form with World::atEndInModal set. It
// derives from the scripted-session fault, so it passes the application's handler and the modal
// loops it unwinds; Play returns normally.
class ScriptEnded : public ui::EScriptError {
 public:
  ScriptEnded() : ui::EScriptError("the file ended inside a modal form") {}
};

// A line that did not hold: reported as "file:LINE: message". It derives from the scripted-session
// fault, so the application's handler lets it through modal loops and gestures.
class LineFailure : public ui::EScriptError {
 public:
  LineFailure(int line, const std::string& message) : ui::EScriptError(message), line(line) {}
  int line;
};

// A folder of its own under the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  explicit ScratchDir(bool keep = false);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
  bool keep_;
};

// Reads and parses a scenario file; SyntaxError (line 0 when the file cannot be read).
std::vector<Line> ReadScript(const std::filesystem::path& file);

class Interpreter {
 public:
  // `progress` is told each line number before the line runs.
  Interpreter(World world, std::function<void(int)> progress = {});
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  // Plays the lines; LineFailure on the first that does not hold. A modal form opened by a line
  // runs the following lines inside its loop: the application's modal loop is the interpreter's
  // while Play runs, and the previous one comes back afterwards. Dialogs are the application's:
  // the scripted ones must be in use for answer, pick, file and expect message.
  void Play(std::vector<Line> lines);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ger::scenario
