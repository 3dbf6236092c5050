// ger-host: loads the module, opens its first screen in the main window and runs until the user
// quits; with --screenshot it renders that window off-screen to a PNG file instead, after playing
// the scenario file given with --script inside this very host (same module, server and database).
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include <QApplication>
#include <QFont>

#include "geometry.h"
#include "hostoptions.h"
#include "interpreter.h"
#include "module/module.h"
#include "shell.h"
#include "ui/dialogs.h"

namespace {

bool HasDisplay() {
  return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
}

// Plays the scenario file against the running host with the scripted dialogs in force, then gives
// the shell its Qt dialogs back. A line that does not hold is reported as "FAIL file:LINE: ...".
// A file that ends inside a modal form (the report preview, a dialog) runs `atEndInModal` there,
// so the picture shows that form open.
bool PlayScript(const std::string& file, ger::TLoadedModule& module, ger::qt::Shell& shell,
                std::function<void()> atEndInModal) {
  using namespace ger;
  using namespace ger::scenario;
  auto fail = [&](int line, const std::string& message) {
    std::cerr << "FAIL " << file << ":" << line << ": " << message << "\n";
    return false;
  };
  std::vector<Line> lines;
  try {
    lines = ReadScript(file);
  } catch (const SyntaxError& e) {
    return fail(e.line, e.what());
  }
  TApplication& app = Application();
  struct DialogsScope {
    qt::Shell& shell;
    ~DialogsScope() { Application().SetDialogs(shell.SharedDialogs()); }
  } restore{shell};
  app.SetDialogs(std::make_shared<ui::ScriptedDialogs>());
  int line = 0;
  try {
    ScratchDir tmp;
    World world;
    world.module = &module;
    world.databaseUrl = app.Settings.databaseUrl;
    world.serverHost = app.Settings.webUrl;
    world.serverPort = app.Settings.webPort;
    world.caFile = app.Settings.caFile;
    world.tmp = tmp.Path();
    world.atEndInModal = std::move(atEndInModal);
    Interpreter interpreter(world, [&line](int n) { line = n; });
    interpreter.Play(std::move(lines));
  } catch (const LineFailure& f) {
    return fail(f.line, f.what());
  } catch (const std::exception& e) {
    return fail(line, e.what());
  }
  return true;
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
    // After "Fechar" the screen can be opened again from the menu and the start page.
    TLoadedModule& loaded = *module;
    shell.AddScreen("&Empresa", "Empresa", [&loaded] { loaded.Call("CriaEmpresa"); });
    shell.Window().show();
    try {
      module->Call(options.entry);
    } catch (const std::exception& e) {
      std::cerr << "ger-host: " << e.what() << "\n";
      return 1;
    }
    shell.SyncAll();
    std::optional<bool> shot;  // taken inside a modal form the script left open
    auto takeShot = [&] { shot = shell.Screenshot(*options.screenshot); };
    if (options.script &&
        !PlayScript(*options.script, *module, shell,
                    options.screenshot ? std::function<void()>(takeShot) : nullptr)) {
      rc = 1;
    } else if (options.screenshot) {
      if (!shot) takeShot();
      if (!*shot) {
        std::cerr << "ger-host: cannot write the screenshot '" << *options.screenshot << "'.\n";
        rc = 1;
      }
      // What the picture shows is checked by the geometry the toolkit reports, for the reviewer.
      for (TForm* form : Application().Forms())
        if (qt::FormView* view = shell.ViewOf(*form))
          for (const qt::LayoutProblem& p : qt::CheckLayout(*view))
            std::cerr << "layout: " << form->Name() << ": " << p.text << "\n";
    } else {
      rc = QApplication::exec();
    }
    Application().Reset();  // the forms go while their module's code is still loaded
  }
  module->Unload();
  return rc;
}
