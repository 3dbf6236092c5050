// ger-host: loads the module, opens its first screen in the main window and runs until the user
// quits; with --screenshot it renders that window off-screen to a PNG file instead.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include <QApplication>
#include <QFont>

#include "hostoptions.h"
#include "module/module.h"
#include "shell.h"

namespace {

bool HasDisplay() {
  return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ger;
  std::vector<std::string> args(argv + 1, argv + argc);
  qt::HostOptions options;
  try {
    options = qt::ParseHostOptions(args);
  } catch (const qt::EHelp& e) {
    std::cout << e.what();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "ger-host: " << e.what() << "\n";
    return 2;
  }
  if (options.screenshot) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  } else if (!HasDisplay()) {
    std::cerr << "ger-host: there is no display here; use --screenshot FILE to render the "
                 "company screen to a picture.\n";
    return 2;
  }
  if (options.script) {
    std::cerr << "ger-host: --script needs the scenario interpreter, which this build does not "
                 "provide yet.\n";
    return 2;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("ger-host");
  QApplication::setApplicationDisplayName("Gerenciador Empresarial");
  QFont font("DejaVu Sans", 9);
  QApplication::setFont(font);

  Application().Settings = options.settings;
  std::optional<TLoadedModule> module;
  try {
    module.emplace(options.module);
  } catch (const std::exception& e) {
    std::cerr << "ger-host: " << e.what() << "\n";
    return 1;
  }
  int rc = 0;
  {
    qt::Shell shell;
    shell.Window().show();
    try {
      module->Call(options.entry);
    } catch (const std::exception& e) {
      std::cerr << "ger-host: " << e.what() << "\n";
      return 1;
    }
    shell.SyncAll();
    if (options.screenshot) {
      if (!shell.Screenshot(*options.screenshot)) {
        std::cerr << "ger-host: cannot write the screenshot '" << *options.screenshot << "'.\n";
        rc = 1;
      }
    } else {
      rc = QApplication::exec();
    }
    Application().Reset();  // the forms go while their module's code is still loaded
  }
  module->Unload();
  return rc;
}
