// The renderer and the main window over a form made of the UI model's own controls: gestures on
// the widgets reach the model through its handlers, and the widgets show what the model holds.
#include <memory>

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include "shell_fixture.h"
#include "testforms.h"

using namespace ger;
using ger::test::TfrmTeste;

class RendererTest : public ger::test::ShellFixture {
  Q_OBJECT

  TfrmTeste* form = nullptr;

  template <class W>
  W* Widget(const char* name) {
    return WidgetOf<W>(*form, name);
  }
  QAction* Action(const char* name) { return shell->Window().findChild<QAction*>(name); }
  QLineEdit* Edit(const char* name) { return Widget<QLineEdit>(name); }
  // Include, as the user does: the tool bar button.
  void Include() {
    QAction* include = Action("sbtIncluir");
    QVERIFY(include);
    include->trigger();
    ger::test::Settle();
  }

 private slots:
  void init() {
    NewShell();
    form = &Application().CreateForm<TfrmTeste>();
    form->Show();
    ShowWindow();
  }
  void cleanup() {
    CloseShell();
    form = nullptr;
  }

  void childOpensInTheMdiArea() {
    QCOMPARE(shell->Window().Mdi()->subWindowList().size(), 1);
    QCOMPARE(shell->Window().Mdi()->subWindowList().front()->windowTitle(), QString("Teste"));
    QVERIFY(Edit("dbeCodigo"));
    QCOMPARE(Edit("dbeCodigo")->geometry(), QRect(80, 8, 60, 23));
    // Mandatory boxes in the information colour.
    QCOMPARE(Edit("dbeCodigo")->palette().color(QPalette::Base), QColor(255, 255, 225));
  }

  void includeFocusesTheCodeBox() {
    Include();
    QCOMPARE(form->cdsDados.State(), DataSetState::Insert);
    QCOMPARE(form->pgcPaginas.ActivePage(), &form->tshDados);
    QCOMPARE(Widget<QTabWidget>("pgcPaginas")->currentIndex(), 1);
    QVERIFY(Edit("dbeCodigo")->isEnabled());
    QVERIFY(Edit("dbeCodigo")->hasFocus());
    QCOMPARE(form->ActiveControl(), &form->dbeCodigo);
  }

  void typedLettersAreFilteredByTheModel() {
    Include();
    QTest::mouseClick(Edit("dbeNumero"), Qt::LeftButton);
    ger::test::Settle();
    QCOMPARE(form->ActiveControl(), &form->dbeNumero);
    QTest::keyClicks(Edit("dbeNumero"), "a1b2-c3");
    ger::test::Settle();
    QCOMPARE(form->dbeNumero.Text(), std::string("123"));
    QCOMPARE(Edit("dbeNumero")->text(), QString("123"));
    // Leaving the box commits what the model holds.
    QTest::keyClick(Edit("dbeNumero"), Qt::Key_Tab);
    ger::test::Settle();
    QCOMPARE(form->cdsDados.FieldByName("NUMERO").AsString(), std::string("123"));
  }

  void typingWhileBrowsingIsRefused() {
    QVERIFY(form->cdsDados.State() == DataSetState::Browse);
    form->pgcPaginas.SetActivePage(form->tshDados);
    shell->SyncAll();
    QTest::mouseClick(Edit("dbeNome"), Qt::LeftButton);
    ger::test::Settle();
    QTest::keyClicks(Edit("dbeNome"), "xyz");
    ger::test::Settle();
    QCOMPARE(Edit("dbeNome")->text(), QString("Alfa"));
    QCOMPARE(form->cdsDados.FieldByName("NOME").AsString(), std::string("Alfa"));
  }

  void caretPlacedByTheUserIsWhereTypingGoes() {
    Include();
    QTest::mouseClick(Edit("dbeNome"), Qt::LeftButton);
    ger::test::Settle();
    QTest::keyClicks(Edit("dbeNome"), "ac");
    ger::test::Settle();
    Edit("dbeNome")->setCursorPosition(1);
    QTest::keyClicks(Edit("dbeNome"), "b");
    ger::test::Settle();
    QCOMPARE(form->dbeNome.Text(), std::string("abc"));
    QTest::keyClick(Edit("dbeNome"), Qt::Key_Backspace);
    ger::test::Settle();
    QCOMPARE(form->dbeNome.Text(), std::string("ac"));
  }

  void refusedExitPutsTheFocusBack() {
    Include();
    QTest::keyClicks(Edit("dbeCodigo"), "99");
    ger::test::Settle();
    QString seen;
    ger::test::AnswerNext("OK", &seen);
    QTest::mouseClick(Edit("dbeNome"), Qt::LeftButton);
    ger::test::Settle();
    QCOMPARE(seen, QString("Código inválido."));
    QCOMPARE(form->ActiveControl(), &form->dbeCodigo);
    QVERIFY(Edit("dbeCodigo")->hasFocus());
    QVERIFY(!Edit("dbeNome")->hasFocus());
    // A good code lets the focus go where the user clicked.
    QTest::keyClick(Edit("dbeCodigo"), Qt::Key_Backspace);
    QTest::keyClick(Edit("dbeCodigo"), Qt::Key_Backspace);
    QTest::keyClicks(Edit("dbeCodigo"), "05");
    ger::test::Settle();
    QTest::mouseClick(Edit("dbeNome"), Qt::LeftButton);
    ger::test::Settle();
    QCOMPARE(form->ActiveControl(), &form->dbeNome);
    QVERIFY(Edit("dbeNome")->hasFocus());
  }

  void tabMovesThroughTheModel() {
    Include();
    QTest::keyClicks(Edit("dbeCodigo"), "07");
    int exits = form->codeExits;
    QTest::keyClick(Edit("dbeCodigo"), Qt::Key_Tab);
    ger::test::Settle();
    QCOMPARE(form->codeExits, exits + 1);
    QCOMPARE(form->ActiveControl(), &form->dbeNome);
    QVERIFY(Edit("dbeNome")->hasFocus());
    QCOMPARE(form->cdsDados.FieldByName("CODIGO").AsString(), std::string("07"));
    QTest::keyClick(Edit("dbeNome"), Qt::Key_Backtab, Qt::ShiftModifier);
    ger::test::Settle();
    QCOMPARE(form->ActiveControl(), &form->dbeCodigo);
  }

  void tabClickFollowsTheModel() {
    auto* tabs = Widget<QTabWidget>("pgcPaginas");
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    ger::test::Settle();
    QCOMPARE(form->pgcPaginas.ActivePage(), &form->tshDados);
    QCOMPARE(form->pageChanges, 1);
    form->allowPageChange = false;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    ger::test::Settle();
    QCOMPARE(form->pgcPaginas.ActivePage(), &form->tshDados);
    QCOMPARE(tabs->currentIndex(), 1);
    // Hidden and disabled tabs as the model says.
    form->tshBloqueada.SetTabVisible(false);
    shell->SyncAll();
    QVERIFY(!tabs->isTabVisible(2));
    QVERIFY(tabs->isTabVisible(1));
  }

  void menusOfTheActiveChild() {
    QMenuBar* bar = shell->Window().menuBar();
    QStringList titles;
    for (QAction* a : bar->actions()) titles << a->text();
    QVERIFY(titles.contains("&Operação"));
    QVERIFY(titles.contains("&Manutenção"));
    QAction* edit = Action("mnuEditar");
    QVERIFY(edit);
    QCOMPARE(edit->text(), QString("Editar &Modelo"));
    QCOMPARE(edit->shortcut(), QKeySequence("Ctrl+E"));
    QVERIFY(Action("mnuMarcado")->isChecked());
    QVERIFY(!Action("mnuDesligado")->isEnabled());
    QVERIFY(Action("N1")->isSeparator());
    form->mnuMarcado.SetChecked(false);
    form->mnuDesligado.SetEnabled(true);
    shell->SyncAll();
    QVERIFY(!Action("mnuMarcado")->isChecked());
    QVERIFY(Action("mnuDesligado")->isEnabled());
    // The short cut reaches the model's item, also while a box has the focus.
    form->pgcPaginas.SetActivePage(form->tshDados);
    shell->SyncAll();
    QTest::mouseClick(Edit("dbeNome"), Qt::LeftButton);
    ger::test::Settle();
    QTest::keyClick(Edit("dbeNome"), Qt::Key_E, Qt::ControlModifier);
    ger::test::Settle();
    QCOMPARE(form->editClicks, 1);
    form->mnuEditar.SetEnabled(false);
    shell->SyncAll();
    QTest::keyClick(Edit("dbeNome"), Qt::Key_E, Qt::ControlModifier);
    ger::test::Settle();
    QCOMPARE(form->editClicks, 1);
  }

  void toolButtonsInTheMainToolBar() {
    QAction* include = Action("sbtIncluir");
    QAction* remove = Action("sbtExcluir");
    QVERIFY(include && remove);
    QCOMPARE(include->text(), QString("Incluir"));
    QVERIFY(include->isEnabled());
    QVERIFY(!remove->isEnabled());
    QVERIFY(shell->Window().Tools()->actions().contains(include));
    form->sbtExcluir.SetEnabled(true);
    form->sbtIncluir.SetVisible(false);
    shell->SyncAll();
    QVERIFY(remove->isEnabled());
    QVERIFY(!include->isVisible());
  }

  void messageDialogAnswered() {
    form->pgcPaginas.SetActivePage(form->tshDados);
    shell->SyncAll();
    auto* button = Widget<QPushButton>("btnPerguntar");
    QVERIFY(button);
    QString seen;
    ger::test::AnswerNext("Não", &seen);
    QTest::mouseClick(button, Qt::LeftButton);
    ger::test::Settle();
    QCOMPARE(seen, QString("Confirma a exclusão?"));
    QCOMPARE(form->answer, TModalResult::mrNo);
    ger::test::AnswerNext("Sim");
    QTest::mouseClick(button, Qt::LeftButton);
    ger::test::Settle();
    QCOMPARE(form->answer, TModalResult::mrYes);
  }

  void gridShowsRowsAndMovesTheCursor() {
    auto* grid = Widget<QTableWidget>("dbgLista");
    QVERIFY(grid);
    QCOMPARE(grid->rowCount(), 3);
    QCOMPARE(grid->columnCount(), 2);
    QCOMPARE(grid->horizontalHeaderItem(0)->text(), QString("Código"));
    QCOMPARE(grid->item(1, 1)->text(), QString("Beta"));
    QRect cell = grid->visualItemRect(grid->item(2, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    ger::test::Settle();
    QCOMPARE(form->cdsDados.RecNo(), 3);
    QCOMPARE(form->grid.SelectedIndex(), 1);
    // A change of the data shows in the grid.
    form->cdsDados.First();
    shell->SyncAll();
    QCOMPARE(grid->currentRow(), 0);
  }

  // A text its box cuts (an official description) is shown whole: as the box's tool tip, and a
  // list's entries whole in its open list.
  void cutTextsAreShownWholeAsToolTips() {
    form->pgcPaginas.SetActivePage(form->tshDados);
    form->dbeNome.SetBounds(80, 36, 120, 23);
    const std::string longName = "FABRICAÇÃO DE OUTROS PRODUTOS DE M";
    form->cdsDados.Edit();
    form->cdsDados.FieldByName("NOME").SetAsString(longName);
    const std::string longEntry = "Microempresa ou empresa de pequeno porte (ME EPP)";
    form->cbxTipo.SetItems({"CNPJ", longEntry});
    form->cbxTipo.SetItemIndex(1);
    shell->SyncAll();
    ger::test::Settle();
    QCOMPARE(Edit("dbeNome")->toolTip(), QString::fromStdString(longName));
    auto* combo = Widget<QComboBox>("cbxTipo");
    QCOMPARE(combo->toolTip(), QString::fromStdString(longEntry));
    QVERIFY(combo->view()->minimumWidth() >
            combo->fontMetrics().horizontalAdvance(QString::fromStdString(longEntry)));
    // Texts that fit need no tip.
    form->cdsDados.FieldByName("NOME").SetAsString("Ana");
    form->cbxTipo.SetItemIndex(0);
    shell->SyncAll();
    QCOMPARE(Edit("dbeNome")->toolTip(), QString());
    QCOMPARE(combo->toolTip(), QString());
    form->cdsDados.Cancel();
  }

  void checkAndComboReachTheModel() {
    form->pgcPaginas.SetActivePage(form->tshDados);
    shell->SyncAll();
    auto* check = Widget<QCheckBox>("chkAtivo");
    QTest::mouseClick(check, Qt::LeftButton);
    ger::test::Settle();
    QVERIFY(form->chkAtivo.Checked());
    QVERIFY(check->isChecked());
    auto* combo = Widget<QComboBox>("cbxTipo");
    QCOMPARE(combo->count(), 3);
    QTest::mouseClick(combo, Qt::LeftButton);
    ger::test::Settle();
    emit combo->activated(2);  // the user's choice in the drop-down list
    ger::test::Settle();
    QCOMPARE(form->cbxTipo.ItemIndex(), 2);
    QCOMPARE(form->comboChanges, 1);
    form->cbxTipo.SetItemIndex(0);
    shell->SyncAll();
    QCOMPARE(combo->currentIndex(), 0);
  }

  void modalFormRunsANestedLoop() {
    TForm& dialog = Application().CreateForm<TForm>("frmPergunta");
    dialog.SetCaption("Pergunta");
    dialog.SetBounds(0, 0, 300, 120);
    TEdit edit(&dialog, "edtResposta");
    edit.SetParent(&dialog);
    edit.SetBounds(10, 10, 200, 23);
    TButton ok(&dialog, "btnOk");
    ok.SetParent(&dialog);
    ok.SetCaption("OK");
    ok.SetBounds(10, 50, 80, 25);
    ok.ModalResult = TModalResult::mrOk;
    ger::test::OnNextModal([this, &dialog](QWidget*) {
      qt::FormView* view = shell->ViewOf(dialog);
      auto* line = qobject_cast<QLineEdit*>(view->WidgetOf("edtResposta"));
      QTest::mouseClick(line, Qt::LeftButton);
      ger::test::Settle();
      QTest::keyClicks(line, "sim");
      ger::test::Settle();
      QTest::mouseClick(qobject_cast<QPushButton*>(view->WidgetOf("btnOk")), Qt::LeftButton);
    });
    TModalResult result = dialog.ShowModal();
    QCOMPARE(result, TModalResult::mrOk);
    QCOMPARE(edit.Text(), std::string("sim"));
    shell->SyncAll();
    QVERIFY(!shell->WindowOf(dialog)->isVisible());
    dialog.Close();
  }

  void screenshotIsNotBlank() {
    QTemporaryDir dir;
    QString path = dir.filePath("tela.png");
    QVERIFY(shell->Screenshot(path.toStdString()));
    QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(1024, 768));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
      for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() > 20, "the picture holds almost no distinct colours");
  }
};

QTEST_MAIN(RendererTest)
#include "renderer_test.moc"
