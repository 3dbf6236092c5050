// The company screen through the real module, a real ger-server with the demo companies and its
// SQLite database, drawn by the shell off-screen and driven with mouse and keyboard events.
#include <memory>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "company_screen.h"
#include "data/dataset.h"
#include "geometry.h"
#include "module/module.h"
#include "shell.h"
#include "shelltest.h"
#include "ui/comctrls.h"

using namespace ger;

class CompanyTest : public ger::test::CompanyScreenTest {
  Q_OBJECT

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
  void initTestCase() { StartServer({"--demo"}); }
  void cleanupTestCase() { StopServer(); }
  void init() { OpenScreen(); }
  void cleanup() { CloseScreen(); }

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

  // The title bar names the program once, after the screen's name (the desktop appends the
  // program's name to every title that does not end with it).
  void theWindowTitleNamesTheProgramOnce() {
    const QString program = "Gerenciador Empresarial";
    QApplication::setApplicationDisplayName(program);
    ger::test::Settle();
    const QString title = shell->Window().windowTitle();
    const QString shown = title.endsWith(program)
                              ? title
                              : (title.isEmpty() ? program : title + " \u2014 " + program);
    QApplication::setApplicationDisplayName(QString());
    QCOMPARE(shown.count(program), 1);
    QVERIFY2(shown.contains("Empresa"), qPrintable(shown));
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

  // The template menu the screen pops up from code: under its tool button, with both receipts;
  // Escape closes it, a choice closes it and runs the item's handler, Ctrl+E opens it as the
  // button does, and the items' state follows the model while it is open.
  void theTemplateMenuOpensUnderItsButton() {
    auto* menu = dynamic_cast<TPopupMenu*>(screen->FindDeep("pmnEdtModelo"));
    auto* receivable = dynamic_cast<TMenuItem*>(screen->FindDeep("mnuModeloREC"));
    QVERIFY(menu && receivable);
    QWidget* button = shell->Window().Tools()->widgetForAction(Action("sbtEditModelo"));
    QVERIFY(button && button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    ger::test::Settle();
    auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(shown && shown->isVisible());
    QCOMPARE(shown->objectName(), QString("pmnEdtModelo"));
    QVERIFY(menu->Shown());
    QStringList captions;
    for (QAction* a : shown->actions())
      if (a->isVisible()) captions << a->text();
    QCOMPARE(captions, (QStringList{"Recibo de Contas a Pagar", "Recibo de Contas a Receber"}));
    // Right under the button: at its left edge, unless the screen's edge pushed it left.
    const QPoint under = button->mapToGlobal(QPoint(0, button->height()));
    const QRect screenRect = shown->screen()->geometry();
    QCOMPARE(shown->geometry().top(), under.y());
    QVERIFY(
        shown->geometry().left() == under.x() ||
        (shown->geometry().right() == screenRect.right() && shown->geometry().left() < under.x()));

    QAction* receivableAction = shown->findChild<QAction*>("mnuModeloREC");
    QVERIFY(receivableAction && receivableAction->isEnabled());
    shell->Perform(*screen, [receivable] { receivable->SetEnabled(false); });
    QVERIFY(!receivableAction->isEnabled());
    shell->Perform(*screen, [receivable] { receivable->SetVisible(false); });
    QVERIFY(!receivableAction->isVisible());
    shell->Perform(*screen, [receivable] {
      receivable->SetVisible(true);
      receivable->SetEnabled(true);
    });

    QTest::keyClick(shown, Qt::Key_Escape);
    ger::test::Settle();
    QVERIFY(!QApplication::activePopupWidget());
    QVERIFY(!menu->Shown());

    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : &shell->Window(), Qt::Key_E, Qt::ControlModifier);
    ger::test::Settle();
    shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(shown);
    QVERIFY(menu->Shown());
    QAction* payable = shown->findChild<QAction*>("mnuModelo");
    QVERIFY(payable);
    // The demo companies keep the "*" placeholder as their template: no such file.
    QString seen;
    ger::test::AnswerNext("OK", &seen);
    QTest::mouseClick(shown, Qt::LeftButton, {}, shown->actionGeometry(payable).center());
    ger::test::Settle();
    QCOMPARE(seen, QString("Arquivo informado não encontrado."));
    QVERIFY(!menu->Shown());
    QVERIFY(!QApplication::activePopupWidget());
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

  // Closing the main window while a company is altered goes through the screen's question:
  // Cancelar keeps everything open with the change, Não drops it and closes.
  void closingTheMainWindowAsksAboutAPendingChange() {
    Action("sbtAlterar")->trigger();
    ger::test::Settle();
    QLineEdit* name = Edit("dbeNmEmpresa");
    QTest::mouseClick(name, Qt::LeftButton);
    QTest::keyClick(name, Qt::Key_End);
    QTest::keyClicks(name, "X");
    ger::test::Settle();
    const auto answer = [](QString* asked, const QString& button) {
      ger::test::OnNextModal([asked, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        *asked = box->text();
        for (QAbstractButton* b : box->buttons())
          if (b->text().remove('&') == button) b->click();
      });
    };
    QString asked;
    answer(&asked, "Cancelar");
    QVERIFY(!shell->Window().close());
    ger::test::Settle();
    QCOMPARE(asked, QString("Deseja salvar as alterações?"));
    QVERIFY(Application().FormExists(screen));
    QCOMPARE(Companies().State(), DataSetState::Edit);
    asked.clear();
    answer(&asked, "Não");
    QVERIFY(shell->Window().close());
    ger::test::Settle();
    QCOMPARE(asked, QString("Deseja salvar as alterações?"));
    Application().ProcessReleases();
    QVERIFY(!Application().FormExists(screen));
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

  // The page-by-page review: every page of the screen, the report launcher and the notes
  // editor at 1024x768, checked by the geometry the toolkit reports (nothing out of its
  // container, over a sibling or over a caption). GER_SCREEN_GUIDE names the folder that keeps
  // the pictures (the screen guide in docs/screens).
  void everyPageIsLaidOutSoundly() {
    const QString out = qEnvironmentVariable("GER_SCREEN_GUIDE", dir.path());
    QStringList problems;
    auto review = [&](const QString& picture, QWidget* window, const qt::FormView& view) {
      QImage image = window->grab().toImage();
      QVERIFY2(image.save(out + "/" + picture + ".png", "PNG"), qPrintable(picture));
      for (const qt::LayoutProblem& p : qt::CheckLayout(view))
        problems << picture + ": " + QString::fromStdString(p.text);
    };
    QCOMPARE(shell->Window().size(), QSize(1024, 768));
    auto* pages = dynamic_cast<TPageControl*>(screen->FindDeep("pgcPadrao"));
    int seen = 0;
    for (TTabSheet* page : pages->Pages()) {
      if (!page->TabVisible()) continue;
      ClickTab(page->Name().c_str());
      QCOMPARE(pages->ActivePage(), page);
      if (page->Name() == "tshParametrizaoDFe") {
        auto* inner = qobject_cast<QTabWidget*>(W("pgcParamDFe"));
        for (int i = 0; i < inner->count(); ++i) {
          QTest::mouseClick(inner->tabBar(), Qt::LeftButton, {},
                            inner->tabBar()->tabRect(i).center());
          ger::test::Settle();
          review(QString::fromStdString(page->Name()) + "_" + QString::number(i + 1),
                 &shell->Window(), *shell->ViewOf(*screen));
          ++seen;
        }
        continue;
      }
      review(QString::fromStdString(page->Name()), &shell->Window(), *shell->ViewOf(*screen));
      ++seen;
    }
    QVERIFY(seen >= 9);
    ClickTab("tshFolhaDados");

    // The dialogs are modal: they are reviewed while their loop runs, then closed by Escape.
    for (const auto& [button, name] : {std::pair{"sbtImprimir", "frmRelEmpresa"},
                                       std::pair{"sbtNotasExplicativas", "frmNotasExplicativas"}}) {
      bool reviewed = false, escaped = false;
      auto* poll = new QTimer(this);
      poll->setInterval(20);
      const std::string formName = name;
      connect(poll, &QTimer::timeout, this, [&, poll, formName] {
        TForm* form = Application().FindForm(formName);
        qt::FormView* view = form ? shell->ViewOf(*form) : nullptr;
        if (!view || !view->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        ger::test::Settle();
        review(QString::fromStdString(formName), view->window(), *view);
        reviewed = true;
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : view->window(), Qt::Key_Escape);
        ger::test::Settle();
        escaped = !Application().FormExists(form) || !form->Visible();
        if (!escaped) shell->Perform(*form, [form] { form->Close(); });  // never left open
      });
      poll->start();
      QTimer::singleShot(20000, poll, [poll] { poll->stop(); });  // fails below, never hangs
      if (QAction* action = Action(button)) {
        action->trigger();
      } else {
        QVERIFY2(W(button), button);
        QTest::mouseClick(W(button), Qt::LeftButton);
      }
      ger::test::Settle();
      QVERIFY2(reviewed, name);
      QVERIFY2(escaped, name);
      QVERIFY(!Application().FindForm(formName) || !Application().FindForm(formName)->Visible());
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("\n")));
  }
};

QTEST_MAIN(CompanyTest)
#include "company_test.moc"
