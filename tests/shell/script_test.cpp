// ger-host --script as its users run it: the program is started off-screen against a real
// ger-server with the demo companies, plays a scenario file inside itself and renders the company
// screen; a line that does not hold stops it with the file's line number and no picture. Also the
// renderer's grid, whose every row shows its fields' get-text handlers.
#include <memory>
#include <optional>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "interpreter.h"
#include "shell.h"
#include "shelltest.h"
#include "testforms.h"
#include "ui/gestures.h"
#include "ui/stdctrls.h"

using namespace ger;

namespace {

struct HostRun {
  int exitCode = -1;
  QString errors;
};

// Distinct colours over a grid of sample points: a blank or single-colour picture has few.
int Colours(const QImage& image) {
  QSet<QRgb> seen;
  for (int y = 0; y < image.height(); y += 4)
    for (int x = 0; x < image.width(); x += 4) seen.insert(image.pixel(x, y));
  return static_cast<int>(seen.size());
}

// A notes editor opened modally by a button; closing it makes the opener ask a question.
struct NotesForm : TForm {
  TButton btnFechar{this, "btnFechar"};
  NotesForm() : TForm("frmNotasTeste") {
    btnFechar.SetParent(this);
    btnFechar.OnClick = [this](TComponent&) { SetModalResult(TModalResult::mrOk); };
  }
};
struct OpenerForm : TForm {
  TButton btnAbrir{this, "btnAbrir"};
  TEdit edtResposta{this, "edtResposta"};
  OpenerForm() : TForm("frmAbreNotas") {
    btnAbrir.SetParent(this);
    edtResposta.SetParent(this);
    btnAbrir.OnClick = [this](TComponent&) {
      Application().CreateForm<NotesForm>().ShowModal();
      bool yes = Application().Dialogs().MessageDlg("Gravar as notas?", TMsgDlgType::mtConfirmation,
                                                    mbYesNo, 0) == TModalResult::mrYes;
      edtResposta.SetText(yes ? "gravadas" : "descartadas");
    };
  }
};

}  // namespace

class HostScriptTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  QProcess server;
  int port = 0;

  QString Write(const QString& name, const QByteArray& text) {
    QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(text);
    return path;
  }
  HostRun Host(const QStringList& extra) {
    QProcess host;
    host.setProgram(GER_HOST_BIN);
    QStringList args{"--server-port", QString::number(port), "--db",
                     "sqlite:" + dir.filePath("ger.db")};
    host.setArguments(args + extra);
    host.start();
    HostRun run;
    if (!host.waitForFinished(60000)) {
      host.kill();
      host.waitForFinished();
      run.errors = "ger-host did not finish";
      return run;
    }
    run.exitCode = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
    run.errors = QString::fromUtf8(host.readAllStandardError());
    return run;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    // As ./ger run starts it: the demo companies, no test hooks.
    port = ger::test::StartServer(server, GER_SERVER_BIN, dir.path(), GER_SOURCE_DIR "/data",
                                  {"--demo"});
    QVERIFY(port > 0);
  }
  void cleanupTestCase() {
    server.terminate();
    server.waitForFinished(5000);
  }

  void aScriptPlaysInsideTheHostThenTheScreenIsRendered() {
    QString before = dir.filePath("before.png"), after = dir.filePath("after.png");
    HostRun plain = Host({"--screenshot", before});
    QVERIFY2(plain.exitCode == 0, qPrintable(plain.errors));
    QString script = Write("endereco.scn",
                           "# the host's entry point already opened the company screen\n"
                           "expect global boStCriado \"true\"\n"
                           "expect count cdsEmpresa 3\n"
                           "answer no                      # the scripted dialogs answer\n"
                           "click sbtExcluir\n"
                           "expect message \"Confirma exclusão ?\"\n"
                           "expect count cdsEmpresa 3\n"
                           "click sbtIncluir\n"
                           "paste dbeCdEmpresa \"07\"\n"
                           "type dbeNmEmpresa \"Filial Sete\"\n"
                           "page tshEndereco\n"
                           "expect page tshEndereco\n"
                           "textfile \"$TMP/nota.txt\" \"rascunho\"\n"
                           "expect sql \"SELECT COUNT(*) FROM EMPRESA\" \"3\"\n");
    HostRun played = Host({"--screenshot", after, "--script", script});
    QVERIFY2(played.exitCode == 0, qPrintable(played.errors));
    QVERIFY2(!played.errors.contains("FAIL"), qPrintable(played.errors));
    QImage picture(after), list(before);
    QVERIFY(!picture.isNull());
    QCOMPARE(picture.size(), list.size());
    QVERIFY2(Colours(picture) > 8, "the screenshot is blank");
    // The address page the script left the screen on, not the list the host opens with.
    QVERIFY(picture != list);
  }

  void aFailingLineStopsTheHostWithItsLineNumberAndNoPicture() {
    QString png = dir.filePath("failed.png");
    QString script = Write("falha.scn",
                           "click sbtIncluir\n"
                           "# a comment does not count as a command, but keeps its line number\n"
                           "expect state cdsEmpresa browse\n"
                           "page tshEndereco\n");
    HostRun run = Host({"--screenshot", png, "--script", script});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errors.contains("FAIL " + script +
                                 ":3: expected state of cdsEmpresa \"browse\", found \"insert\""),
             qPrintable(run.errors));
    QVERIFY(!QFile::exists(png));
  }

  void unreadableScriptsAndServerWithoutTestHooksAreReportedClearly() {
    QString png = dir.filePath("none.png");
    QString broken = Write("quebrado.scn", "click sbtIncluir\ntype dbeNmEmpresa \"sem fim\n");
    HostRun syntax = Host({"--screenshot", png, "--script", broken});
    QCOMPARE(syntax.exitCode, 1);
    QVERIFY2(syntax.errors.contains("FAIL " + broken + ":2: "), qPrintable(syntax.errors));

    QString missing = dir.filePath("nao_existe.scn");
    HostRun absent = Host({"--screenshot", png, "--script", missing});
    QCOMPARE(absent.exitCode, 1);
    QVERIFY2(absent.errors.contains("FAIL " + missing + ":0: cannot read the file"),
             qPrintable(absent.errors));

    QString hooks = Write("ganchos.scn", "expect count cdsEmpresa 3\nfail GetEmpresa \"x\"\n");
    HostRun noHooks = Host({"--screenshot", png, "--script", hooks});
    QCOMPARE(noHooks.exitCode, 1);
    QVERIFY2(noHooks.errors.contains("FAIL " + hooks + ":2: ") &&
                 noHooks.errors.contains("has no test hooks (start ger-server with --test-hooks)"),
             qPrintable(noHooks.errors));
    QVERIFY(!QFile::exists(png));
  }

  // The line that opened a modal form is the one reported when it fails after the form closed.
  void aLineFailingAfterItsModalFormClosedIsReportedWithItsOwnNumber() {
    Application().Reset();
    auto& opener = Application().CreateForm<OpenerForm>();
    opener.Show();
    scenario::World world;
    world.tmp = dir.path().toStdString();
    auto play = [&](const char* text) -> std::optional<scenario::LineFailure> {
      try {
        scenario::Interpreter(world).Play(scenario::Parse(text));
      } catch (const scenario::LineFailure& f) {
        return f;
      }
      return std::nullopt;
    };
    auto failure = play("click btnAbrir\nclick btnFechar\nexpect text edtResposta \"x\"\n");
    QVERIFY(failure);
    QCOMPARE(failure->line, 1);
    QVERIFY2(QString(failure->what()).startsWith("click btnAbrir: "), failure->what());
    QVERIFY(!Application().RunModalLoop);  // the interpreter's loop is gone after a failure too

    auto passed = play(
        "answer yes\nclick btnAbrir\nexpect form frmNotasTeste true\nclick btnFechar\n"
        "expect text edtResposta \"gravadas\"\n");
    QVERIFY2(!passed, passed ? passed->what() : "");
    Application().Reset();
  }

  void theGridShowsEveryRowThroughTheGetTextHandlers() {
    auto shell = std::make_unique<qt::Shell>();
    auto& form = Application().CreateForm<test::TfrmTeste>();
    form.cdsDados.FieldByName("NOME").OnGetText = [](TField& f, std::string& text, bool) {
      text = "Nome " + f.AsString();
    };
    form.Show();
    shell->Window().show();
    shell->SyncAll();
    ger::test::Settle();
    auto* grid = qobject_cast<QTableWidget*>(shell->ViewOf(form)->WidgetOf("dbgLista"));
    QVERIFY(grid);
    QCOMPARE(grid->currentRow(), 0);
    for (int move : {2, 1}) {
      ui::Gestures::GridRow(form.grid, move);
      shell->SyncAll();
      QCOMPARE(grid->currentRow(), move);
      QCOMPARE(grid->item(0, 1)->text(), QString("Nome Alfa"));
      QCOMPARE(grid->item(1, 1)->text(), QString("Nome Beta"));
      QCOMPARE(grid->item(2, 1)->text(), QString("Nome Gama"));
    }
    QCOMPARE(form.cdsDados.RecNo(), 2);  // drawing the rows left the cursor where it was
    Application().Reset();
    shell.reset();
  }
};

QTEST_MAIN(HostScriptTest)
#include "script_test.moc"
