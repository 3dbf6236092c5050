#pragma once
// The command line of ger-host.
#include <optional>
#include <string>
#include <vector>

#include "ui/forms.h"

namespace ger::qt {

struct HostOptions {
  std::string module = "Pkg_Ger00200";  // a name in the library folder, or a path
  std::string entry = "IniProc";        // the entry point that opens the first screen
  std::optional<std::string> screenshot;
  std::optional<std::string> script;
  std::optional<std::string> settingsFile;
  HostSettings settings;  // server address, database and the rest, settings file first
};

// Parses the arguments (without the program name). Raises Exception with an English sentence for
// operators on a bad or unknown option, a missing value, a bad port or an unreadable settings
// file; `--help` raises EHelp with the usage text.
class EHelp : public Exception {
 public:
  using Exception::Exception;
};
HostOptions ParseHostOptions(const std::vector<std::string>& args);

}  // namespace ger::qt
