// The Qt dialogs of the host: Portuguese message boxes, the pick list with its filter, the find
// dialog, the report designer call and the file filters, and the command line of ger-host.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "convert.h"
#include "data/dataset.h"
#include "data/datasource.h"
#include "hostoptions.h"
#include "qtdialogs.h"
#include "shelltest.h"

using namespace ger;

namespace {
struct Cities {
  TClientDataSet cds{"cdsCidades"};
  TDataSource dts{"dtsCidades"};
  Cities() {
    cds.AddField({"CDMUNI", FieldKind::String, 4});
    cds.AddField({"NMMUNI", FieldKind::String, 40});
    cds.AddField({"INTERNO", FieldKind::String, 4});
    cds.FieldByName("CDMUNI").SetDisplayLabel("Código");
    cds.FieldByName("NMMUNI").SetDisplayLabel("Município");
    cds.FieldByName("INTERNO").SetVisible(false);
    cds.SetData(DataPacket{cds.FieldDefs(),
                           {{std::string("5030"), std::string("São Paulo"), std::string("x")},
                            {std::string("4606"), std::string("Santos"), std::string("y")},
                            {std::string("0400"), std::string("Campinas"), std::string("z")}}});
    dts.SetDataSet(&cds);
  }
};
}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  // With no folder named by the screen the file dialogs open in the user's documents (their home
  // when there is none), then in the folder used last; wide, dates in Portuguese.
  void fileDialogsOpenInTheDocumentsThenTheLastFolder() {
    QTemporaryDir home, other;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.startsWith(home.path())) QDir().mkpath(documents);
    const QString expected = QFileInfo(documents).isDir() ? documents : home.path();
    QFile picture(other.filePath("logo.bmp"));
    QVERIFY(picture.open(QIODevice::WriteOnly));
    picture.close();
    qt::QtDialogs dialogs;
    QString opened;
    int width = 0;
    QLocale locale;
    ger::test::OnNextModal([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      QVERIFY(dialog);
      opened = dialog->directory().absolutePath();
      width = dialog->width();
      locale = dialog->locale();
      dialog->selectFile(other.filePath("logo.bmp"));
      static_cast<QDialog*>(dialog)->accept();  // as the Abrir button
    });
    auto chosen = dialogs.OpenFile({});
    QCOMPARE(opened, QDir(expected).absolutePath());
    QVERIFY(width >= 800);
    QCOMPARE(locale.language(), QLocale::Portuguese);
    QVERIFY(chosen.has_value());
    ger::test::OnNextModal([&](QWidget* modal) {
      opened = qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
      qobject_cast<QFileDialog*>(modal)->reject();
    });
    QVERIFY(!dialogs.SaveFile({}).has_value());
    QCOMPARE(opened, QDir(other.path()).absolutePath());
    qputenv("HOME", savedHome);
  }

  void messageBoxesSpeakPortuguese() {
    qt::QtDialogs dialogs;
    QStringList captions;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ger::test::OnNextModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      icon = box->icon();
      for (QAbstractButton* b : box->buttons()) captions << b->text().remove('&');
      QTest::keyClick(box, Qt::Key_Escape);
    });
    TModalResult r = dialogs.MessageDlg("Excluir?", TMsgDlgType::mtConfirmation, mbYesNo, 0);
    QCOMPARE(r, TModalResult::mrNo);  // Escape never answers Yes
    QCOMPARE(icon, QMessageBox::Question);
    captions.sort();
    QCOMPARE(captions, QStringList({"Não", "Sim"}));
    ger::test::OnNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
    QCOMPARE(dialogs.MessageDlg("Excluir?", TMsgDlgType::mtConfirmation, mbYesNo, 0),
             TModalResult::mrYes);
    ger::test::OnNextModal([&](QWidget* modal) {
      icon = qobject_cast<QMessageBox*>(modal)->icon();
      QTest::keyClick(modal, Qt::Key_Return);
    });
    QCOMPARE(dialogs.MessageDlg("Falhou.", TMsgDlgType::mtError, mbOK, 0), TModalResult::mrOk);
    QCOMPARE(icon, QMessageBox::Critical);
  }

  // Ctrl+C copies what the box says, title and buttons included, and leaves the box open.
  void messageBoxCopiesItsTextWithCtrlC() {
    qt::QtDialogs dialogs;
    QApplication::clipboard()->clear();
    QString copied;
    bool stayed = false;
    ger::test::OnNextModal([&](QWidget* modal) {
      QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, Qt::Key_C,
                      Qt::ControlModifier);
      copied = QApplication::clipboard()->text();
      stayed = modal->isVisible();
      QTest::keyClick(modal, Qt::Key_Escape);
    });
    dialogs.MessageDlg("Registro alterado.\nCampos: Nome.", TMsgDlgType::mtError, mbOK, 0);
    QVERIFY(stayed);
    const QString line = "---------------------------\n";
    QCOMPARE(copied, line + "Erro\n" + line + "Registro alterado.\nCampos: Nome.\n" + line +
                         "OK   \n" + line);
  }

  void pickListFiltersAsTheUserTypes() {
    Cities c;
    qt::PickListDialog dialog(c.dts, "Municípios");
    QTableWidget* table = dialog.Table();
    QCOMPARE(table->columnCount(), 2);  // the hidden field stays hidden
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QString("Município"));
    QTest::keyClicks(dialog.Filter(), "sao");  // accents and letter case do not matter
    int shown = 0;
    for (int r = 0; r < table->rowCount(); ++r) shown += table->isRowHidden(r) ? 0 : 1;
    QCOMPARE(shown, 1);
    QCOMPARE(dialog.ChosenRow(), std::optional<int>(0));
    dialog.Filter()->clear();
    QTest::keyClicks(dialog.Filter(), "camp");
    QCOMPARE(dialog.ChosenRow(), std::optional<int>(2));
    dialog.Filter()->setText("nada disso");
    QCOMPARE(dialog.ChosenRow(), std::nullopt);
  }

  void pickListEnterPicksEscapeCancels() {
    Cities c;
    qt::QtDialogs dialogs;
    ger::test::OnNextModal([](QWidget* modal) {
      auto* filter = modal->findChild<QLineEdit*>("edtFiltro");
      QTest::keyClicks(filter, "san");
      QTest::keyClick(filter, Qt::Key_Return);
    });
    QCOMPARE(dialogs.PickList(c.dts, "Municípios"), std::optional<int>(1));
    ger::test::OnNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QCOMPARE(dialogs.PickList(c.dts, "Municípios"), std::nullopt);
    // Nothing to pick: the empty-list text instead of an empty table.
    c.cds.EmptyDataSet();
    QString seen;
    ger::test::AnswerNext("OK", &seen);
    QCOMPARE(dialogs.PickList(c.dts, "Municípios|Nenhum município cadastrado."), std::nullopt);
    QCOMPARE(seen, QString("Nenhum município cadastrado."));
  }

  void findDialogGivesTheText() {
    Cities c;
    qt::QtDialogs dialogs;
    ger::test::OnNextModal([](QWidget* modal) {
      auto* edit = modal->findChild<QLineEdit*>("edtProcurar");
      QTest::keyClicks(edit, "Santos");
      QTest::keyClick(edit, Qt::Key_Return);
    });
    QCOMPARE(dialogs.FindText(c.cds), std::optional<std::string>("Santos"));
    ger::test::OnNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QCOMPARE(dialogs.FindText(c.cds), std::nullopt);
  }

  void missingTemplateIsReportedNotOpened() {
    qt::QtDialogs dialogs;
    QStringList opened;
    dialogs.OpenWithDesktop = [&](const QString& path) {
      opened << path;
      return true;
    };
    QString seen;
    ger::test::AnswerNext("OK", &seen);
    dialogs.EditReport("/nao/existe/recibo.qr2", DateTime());
    QVERIFY(seen.contains("recibo.qr2"));
    QVERIFY(opened.isEmpty());
    QTemporaryDir dir;
    QString file = dir.filePath("recibo.qr2");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    dialogs.EditReport(file.toStdString(), DateTime());
    QCOMPARE(opened, QStringList({file}));
  }

  void busyIndicatorAndHourGlass() {
    qt::QtDialogs dialogs;
    dialogs.ShowAvi(nullptr, 0);
    QVERIFY(dialogs.BusyShown());
    dialogs.HideAvi();
    QVERIFY(!dialogs.BusyShown());
    dialogs.SetCursor(ui::Cursor::crHourGlass);
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    dialogs.SetCursor(ui::Cursor::crHourGlass);  // twice is still one override
    dialogs.SetCursor(ui::Cursor::crDefault);
    QVERIFY(!QApplication::overrideCursor());
  }

  // A quick report ends its progress box before the box's delay has passed, and the preview or
  // the "saved" message opens next in a loop of its own: the box must not appear there, modal
  // over it, once the delay runs out.
  void endedProgressStaysHiddenInTheNextLoop() {
    qt::QtDialogs dialogs;
    bool cameBack = false;
    QEventLoop program;  // the report runs from a gesture, inside the program's loop
    QTimer::singleShot(0, &program, [&] {
      dialogs.BeginProgress("Gerando o relatório", 10);
      for (int i = 0; i <= 10; ++i) dialogs.StepProgress(i, 10);
      dialogs.EndProgress();
      QWidget next;  // what opens after the report, in a loop of its own
      next.show();
      QEventLoop preview;
      QTimer::singleShot(900, &preview, &QEventLoop::quit);
      preview.exec();
      for (QWidget* w : QApplication::topLevelWidgets())
        cameBack = cameBack || (qobject_cast<QProgressDialog*>(w) && w->isVisible());
      program.quit();
    });
    program.exec();
    QVERIFY2(!cameBack, "the ended progress box came back over what opened next");
  }

  void translations() {
    QCOMPARE(qt::FileFilter("Imagens|*.bmp;*.jpg|Todos|*.*"),
             QString("Imagens (*.bmp *.jpg);;Todos (*)"));
    QCOMPARE(qt::FileFilter("Modelos|*.qr2|sem padrão|"), QString("Modelos (*.qr2)"));
    QCOMPARE(qt::PlainCaption("Editar &Modelo"), QString("Editar Modelo"));
    QCOMPARE(qt::PlainCaption("P && D"), QString("P & D"));
    QKeyEvent backtab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(qt::KeyName(backtab), std::optional<std::string>("shift+tab"));
    QKeyEvent ctrlDelete(QEvent::KeyPress, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(qt::KeyName(ctrlDelete), std::optional<std::string>("ctrl+delete"));
    QKeyEvent ctrlE(QEvent::KeyPress, Qt::Key_E, Qt::ControlModifier, "e");
    QCOMPARE(qt::TypedText(ctrlE), std::nullopt);  // a command, not a letter
    QKeyEvent accent(QEvent::KeyPress, Qt::Key_Ccedilla, Qt::NoModifier, "ç");
    QCOMPARE(qt::TypedText(accent), std::optional<QString>("ç"));
    QString text = QString::fromUtf8("a😀b");
    QCOMPARE(qt::Utf16Offset(text, 2), 3);
    QCOMPARE(qt::CharacterIndex(text, 3), 2);
  }

  void commandLine() {
    qt::HostOptions o = qt::ParseHostOptions(
        {"--server-host", "servidor", "--server-port", "8300", "--db", "sqlite:/tmp/x.db"});
    QCOMPARE(o.settings.webUrl, std::string("servidor"));
    QCOMPARE(o.settings.webPort, 8300);
    QCOMPARE(o.settings.databaseUrl, std::string("sqlite:/tmp/x.db"));
    QCOMPARE(o.module, std::string("Pkg_Ger00200"));
    QVERIFY_THROWS_EXCEPTION(Exception, qt::ParseHostOptions({"--server-port", "99999"}));
    QVERIFY_THROWS_EXCEPTION(Exception, qt::ParseHostOptions({"--bogus"}));
    QVERIFY_THROWS_EXCEPTION(Exception, qt::ParseHostOptions({"--script", "a.scn"}));
    // The settings file first, the command line over it.
    QTemporaryDir dir;
    QFile f(dir.filePath("host.conf"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("web_url=arquivo\nweb_port=8400\nmodule=/\n");
    f.close();
    o = qt::ParseHostOptions({"--settings", f.fileName().toStdString(), "--server-port", "8500"});
    QCOMPARE(o.settings.webUrl, std::string("arquivo"));
    QCOMPARE(o.settings.webPort, 8500);
    QCOMPARE(o.settings.moduloAtiv, std::string("/"));
    // A seat elsewhere: the whole address, and the office's authority.
    o = qt::ParseHostOptions(
        {"--server-url", "https://ger.example.com", "--ca-file", f.fileName().toStdString()});
    QCOMPARE(o.settings.webUrl, std::string("https://ger.example.com"));
    QCOMPARE(o.settings.caFile, f.fileName().toStdString());
    QVERIFY_THROWS_EXCEPTION(
        Exception, qt::ParseHostOptions({"--server-url", "https://a", "--server-host", "b"}));
    QVERIFY_THROWS_EXCEPTION(Exception, qt::ParseHostOptions({"--server-url", "gopher://a"}));
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
