#pragma once
// The company screen of the real module, drawn by the real shell off-screen, against a ger-server
// each test case starts on a database of its own.
#include <memory>
#include <optional>

#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "module/module.h"
#include "shell_fixture.h"

namespace ger::test {

class CompanyScreenTest : public ShellFixture {
 protected:
  QTemporaryDir dir;
  QProcess server;
  int port = 0;
  std::optional<TLoadedModule> module;
  TForm* screen = nullptr;

  // For initTestCase: the server on a new SQLite file in `dir` (with `extra` options).
  void StartServer(const QStringList& extra = {}) {
    port =
        ger::test::StartServer(server, GER_SERVER_BIN, dir.path(), GER_SOURCE_DIR "/data", extra);
    QVERIFY(port > 0);
  }
  void StopServer() {
    server.terminate();
    server.waitForFinished(5000);
  }
  // For init: a new shell, the module loaded and its screen opened by IniProc.
  void OpenScreen() {
    NewShell();
    HostSettings& s = Application().Settings;
    s.webUrl = "127.0.0.1";
    s.webPort = port;
    s.databaseUrl = "sqlite:" + dir.filePath("ger.db").toStdString();
    module.emplace("Pkg_Ger00200");
    shell->Window().show();
    QVERIFY(QTest::qWaitForWindowActive(&shell->Window()));
    module->Call("IniProc");
    shell->SyncAll();
    Settle();
    screen = Application().FindForm("frmEmpresa");
    QVERIFY(screen);
    QVERIFY(shell->ViewOf(*screen));
  }
  // For cleanup.
  void CloseScreen() {
    module.reset();
    CloseShell();
    screen = nullptr;
  }
};

}  // namespace ger::test
