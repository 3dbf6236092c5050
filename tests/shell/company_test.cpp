// The company screen through the real module, a real ger-server with the demo companies and its
// SQLite database, drawn by the shell off-screen and driven with mouse and keyboard events.
#include <memory>
#include <optional>

#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "data/dataset.h"
#include "module/module.h"
#include "shell.h"
#include "shelltest.h"
#include "ui/comctrls.h"

using namespace ger;

class CompanyTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  QProcess server;
  int port = 0;
  std::unique_ptr<qt::Shell> shell;
  std::optional<TLoadedModule> module;
  TForm* screen = nullptr;

  QWidget* W(const char* name) { return shell->ViewOf(*screen)->WidgetOf(name); }
  QLineEdit* Edit(const char* name) { return qobject_cast<QLineEdit*>(W(name)); }
  QAction* Action(const char* name) { return shell->Window().findChild<QAction*>(name); }
  TDataSet& Companies() { return *screen->FindDataSet("cdsEmpresa"); }
  void ClickTab(const char* sheet) {
    auto* tabs = qobject_cast<QTabWidget*>(W("pgcPadrao"));
    int index = tabs->indexOf(W(sheet));
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(index).center());
    ger::test::Settle();
  }

 private slots:
  void initTestCase() {
    server.setProgram(GER_SERVER_BIN);
    server.setArguments(
        {"--data-dir", dir.path(), "--port", "0", "--demo", "--data", GER_SOURCE_DIR "/data"});
    server.start();
    QVERIFY(server.waitForStarted());
    QByteArray out;
    while (!out.contains("listening on") && server.waitForReadyRead(20000))
      out += server.readAllStandardOutput();
    int colon = out.lastIndexOf(':');
    port = out.mid(colon + 1).trimmed().toInt();
    QVERIFY2(port > 0, out.constData());
  }
  void cleanupTestCase() {
    server.terminate();
    server.waitForFinished(5000);
  }
  void init() {
    shell = std::make_unique<qt::Shell>();
    HostSettings& s = Application().Settings;
    s.webUrl = "127.0.0.1";
    s.webPort = port;
    s.databaseUrl = "sqlite:" + dir.filePath("ger.db").toStdString();
    module.emplace("Pkg_Ger00200");
    shell->Window().show();
    QVERIFY(QTest::qWaitForWindowActive(&shell->Window()));
    module->Call("IniProc");
    shell->SyncAll();
    ger::test::Settle();
    screen = Application().FindForm("frmEmpresa");
    QVERIFY(screen);
    QVERIFY(shell->ViewOf(*screen));
  }
  void cleanup() {
    module.reset();
    Application().Reset();
    shell.reset();
    screen = nullptr;
  }

  void opensWithTheDemoCompanies() {
    auto* grid = qobject_cast<QTableWidget*>(W("dbgPadrao"));
    QVERIFY(grid);
    QVERIFY(grid->rowCount() >= 3);
    QCOMPARE(grid->rowCount(), Companies().RecordCount());
    QStringList menus;
    for (QAction* a : shell->Window().menuBar()->actions()) menus << a->objectName();
    QVERIFY(menus.contains("mnuOperacao"));
    QVERIFY(menus.contains("mnuManutencao"));
    QVERIFY(Action("sbtIncluir")->isEnabled());
    QVERIFY(!Action("sbtConfirmar")->isEnabled());
    QCOMPARE(Action("mnuEdit")->shortcut(), QKeySequence("Ctrl+E"));
  }

  void includeFocusesTheCode() {
    Action("sbtIncluir")->trigger();
    ger::test::Settle();
    QCOMPARE(Companies().State(), DataSetState::Insert);
    QVERIFY(Edit("dbeCdEmpresa")->isEnabled());
    QVERIFY(Edit("dbeCdEmpresa")->hasFocus());
    QVERIFY(Action("sbtConfirmar")->isEnabled());
    Action("sbtCancelar")->trigger();
    ger::test::Settle();
    QCOMPARE(Companies().State(), DataSetState::Browse);
  }

  // The registration box's menu has no items: a right click offers no paste, not even the
  // line edit's own menu; the other boxes keep theirs.
  void registrationBoxHasNoContextMenu() {
    Action("sbtIncluir")->trigger();
    ger::test::Settle();
    QCOMPARE(Edit("dbeCGCEmpresa")->contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(Edit("dbeNmEmpresa")->contextMenuPolicy(), Qt::DefaultContextMenu);
    Action("sbtCancelar")->trigger();
    ger::test::Settle();
  }

  void cagedTakesOnlyDigits() {
    Action("sbtAlterar")->trigger();
    ger::test::Settle();
    QCOMPARE(Companies().State(), DataSetState::Edit);
    ClickTab("tshInformacoesOficiais");
    auto* pages = dynamic_cast<TPageControl*>(screen->FindDeep("pgcPadrao"));
    QCOMPARE(pages->ActivePage()->Name(), std::string("tshInformacoesOficiais"));
    QLineEdit* caged = Edit("dbeNRCAGED");
    QTest::mouseClick(caged, Qt::LeftButton);
    ger::test::Settle();
    QTest::keySequence(caged, QKeySequence::SelectAll);
    QTest::keyClick(caged, Qt::Key_Delete);
    QTest::keyClicks(caged, "ab12cd34");
    ger::test::Settle();
    auto* box = dynamic_cast<TCustomEdit*>(screen->FindDeep("dbeNRCAGED"));
    QCOMPARE(box->Text(), std::string("1234"));
    QCOMPARE(caged->text(), QString("1234"));
    Action("sbtCancelar")->trigger();
    ger::test::Settle();
  }

  void alterAndConfirmWithTheKeyboard() {
    Action("sbtAlterar")->trigger();
    ger::test::Settle();
    QLineEdit* name = Edit("dbeNmEmpresa");
    QTest::mouseClick(name, Qt::LeftButton);
    ger::test::Settle();
    QTest::keyClick(name, Qt::Key_End);
    QTest::keyClicks(name, " Ltda");
    QTest::keyClick(name, Qt::Key_Tab);
    ger::test::Settle();
    std::string expected = name->text().toStdString();
    QVERIFY(name->text().endsWith(" Ltda"));
    Action("sbtConfirmar")->trigger();
    ger::test::Settle();
    QCOMPARE(Companies().State(), DataSetState::Browse);
    // Reloaded from the server: the list shows the stored name.
    QCOMPARE(Companies().FieldByName("NMEMPRESA").AsString(), expected);
    auto* grid = qobject_cast<QTableWidget*>(W("dbgPadrao"));
    QCOMPARE(grid->item(grid->currentRow(), 1)->text().toStdString(), expected);
  }

  void screenshotShowsTheScreen() {
    QString path = dir.filePath("empresa.png");
    QVERIFY(shell->Screenshot(path.toStdString()));
    QImage image(path);
    QCOMPARE(image.size(), QSize(1024, 768));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
      for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() > 20);
  }
};

QTEST_MAIN(CompanyTest)
#include "company_test.moc"
