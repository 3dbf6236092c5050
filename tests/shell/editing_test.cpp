// Typing, the clipboard, the context menu, lists, dates and the focus as the user meets them on
// the widgets: every change must arrive in the model, and the widget must show what the model
// holds, caret included.
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "core/blocking.h"
#include "data/dataset.h"
#include "forms/frmrotgeral.h"
#include "geometry.h"
#include "renderer.h"
#include "shell_fixture.h"
#include "ui/dbctrls.h"

using namespace ger;

namespace {

// A record with a message, a masked registration, a date, a kind and a flag.
class TfrmEdicao : public TForm {
 public:
  TfrmEdicao() : TForm("frmEdicao") {
    FormStyle = TFormStyle::fsMDIChild;
    SetCaption("Edição");
    SetBounds(0, 0, 600, 400);
    cds.AddField({"MENSAGEM", FieldKind::String, 2000});
    cds.AddField({"INSCRICAO", FieldKind::String, 14});
    cds.AddField({"DATA", FieldKind::DateTime, 0});
    cds.AddField({"TIPO", FieldKind::String, 10});
    cds.AddField({"ATIVO", FieldKind::String, 1});
    cds.SetData(DataPacket{cds.FieldDefs(),
                           {{std::string("Olá"), std::string(""), std::monostate{},
                             std::string("Dois"), std::monostate{}}}});
    cds.FieldByName("INSCRICAO").SetEditMask("99.999.999/9999-99;0; ");
    dts.SetDataSet(&cds);
    RegisterDataSet(cds);
    int order = 0;
    auto place = [&](TControl& c, int top, int width, int height) {
      c.SetParent(this);
      c.SetBounds(8, top, width, height);
      c.SetTabOrder(order++);
    };
    place(memMensagem, 8, 400, 120);
    memMensagem.SetDataSource(dts);
    memMensagem.SetDataField("MENSAGEM");
    place(dbeInscricao, 136, 200, 23);
    dbeInscricao.SetDataSource(dts);
    dbeInscricao.SetDataField("INSCRICAO");
    place(dbdData, 168, 120, 23);
    dbdData.SetDataSource(dts);
    dbdData.SetDataField("DATA");
    place(dcbTipo, 200, 160, 23);
    dcbTipo.SetStyle(TComboBoxStyle::csDropDownList);
    dcbTipo.SetItems({"Um", "Dois", "Três"});
    dcbTipo.SetDataSource(dts);
    dcbTipo.SetDataField("TIPO");
    dcbTipo.OnChange = [this](TComponent&) { ++tipoChanges; };
    place(dckAtivo, 232, 160, 20);
    dckAtivo.SetCaption("Ativo");
    dckAtivo.SetDataSource(dts);
    dckAtivo.SetDataField("ATIVO");
    dckAtivo.ValueChecked = "S";
    dckAtivo.ValueUnchecked = "N";
    place(edtSemMenu, 260, 160, 23);
    edtSemMenu.PopupMenu = &pmnVazio;
  }
  TClientDataSet cds{"cdsEdicao"};
  TDataSource dts{"dtsEdicao"};
  TDBMemo memMensagem{this, "memMensagem"};
  TDBEdit dbeInscricao{this, "dbeInscricao"};
  TDBDateEdit dbdData{this, "dbdData"};
  TDBComboBox dcbTipo{this, "dcbTipo"};
  TDBCheckBox dckAtivo{this, "dckAtivo"};
  TEdit edtSemMenu{this, "edtSemMenu"};
  TPopupMenu pmnVazio{this, "pmnVazio"};
  int tipoChanges = 0;
};

}  // namespace

class EditingTest : public ger::test::ShellFixture {
  Q_OBJECT

  TfrmEdicao* form = nullptr;

  template <class W>
  W* Widget(const char* name) {
    return WidgetOf<W>(*form, name);
  }
  void Into(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 5));
    ger::test::Settle();
  }
  // Clicks a menu's entry as the user does: the menu closes and the action runs.
  static void Choose(QMenu* menu, const char* name) {
    auto* action = menu->findChild<QAction*>(name);
    if (!action || !action->isEnabled()) {
      menu->close();  // a missing entry fails the test instead of leaving the menu open
      QFAIL(name);
    }
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
  }
  // Opens the widget's context menu and hands it to `act` while it is shown.
  void ContextMenu(QWidget* w, std::function<void(QMenu*)> act) {
    bool seen = false;
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act, &seen] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      timer->stop();
      timer->deleteLater();
      seen = true;
      act(menu);
    });
    timer->start();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w, &event);
    ger::test::Settle();
    if (!seen) {
      timer->stop();
      timer->deleteLater();
      act(nullptr);
    }
  }

 private slots:
  void init() {
    NewShell();
    form = &Application().CreateForm<TfrmEdicao>();
    form->Show();
    ShowWindow();
  }
  void cleanup() {
    CloseShell();
    form = nullptr;
  }

  // Typed key by key into a multi-line box, the text reads as typed, line breaks included: the
  // caret stays where the model put it after every key.
  void aMemoTakesMultiLineTextInOrder() {
    form->cds.Edit();
    auto* memo = Widget<QPlainTextEdit>("memMensagem");
    Into(memo);
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(memo, " Prezado cliente,");
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "segue a nota.");
    ger::test::Settle();
    QCOMPARE(form->memMensagem.Text(), std::string("Olá Prezado cliente,\nsegue a nota."));
    QCOMPARE(memo->toPlainText(), QString("Olá Prezado cliente,\nsegue a nota."));
    // The caret moved by the user is where typing goes, also on the second line.
    QTextCursor cursor = memo->textCursor();
    cursor.setPosition(QString("Olá Prezado cliente,\nsegue").size());
    memo->setTextCursor(cursor);
    QTest::keyClicks(memo, " abaixo");
    ger::test::Settle();
    QCOMPARE(form->memMensagem.Text(), std::string("Olá Prezado cliente,\nsegue abaixo a nota."));
    // A text stored with "\r\n" line breaks: typing after the break still lands in place.
    form->cds.FieldByName("MENSAGEM").SetAsString("a\r\nb");
    ger::test::Settle();
    QCOMPARE(memo->toPlainText(), QString("a\nb"));
    cursor = memo->textCursor();
    cursor.setPosition(3);
    memo->setTextCursor(cursor);
    QTest::keyClicks(memo, "c");
    ger::test::Settle();
    QCOMPARE(form->memMensagem.Text(), std::string("a\r\nbc"));
    QTest::keyClick(memo, Qt::Key_Tab);
    ger::test::Settle();
    QCOMPARE(form->cds.FieldByName("MENSAGEM").AsString(), std::string("a\r\nbc"));
  }

  // Ctrl+X, Ctrl+V and Ctrl+Z change the model, not only the widget: what the box shows is
  // what is stored when it is left.
  void clipboardKeysChangeTheModel() {
    form->cds.Edit();
    auto* memo = Widget<QPlainTextEdit>("memMensagem");
    Into(memo);
    QTextCursor cursor = memo->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(3, QTextCursor::KeepAnchor);
    memo->setTextCursor(cursor);
    QTest::keyClick(memo, Qt::Key_X, Qt::ControlModifier);
    ger::test::Settle();
    QCOMPARE(QApplication::clipboard()->text(), QString("Olá"));
    QCOMPARE(form->memMensagem.Text(), std::string(""));
    QTest::keyClicks(memo, "Caro ");
    QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
    ger::test::Settle();
    QCOMPARE(form->memMensagem.Text(), std::string("Caro Olá"));
    QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier);
    ger::test::Settle();
    QCOMPARE(form->memMensagem.Text(), std::string("Caro "));
    QCOMPARE(memo->toPlainText(), QString("Caro "));
    QTest::keyClick(memo, Qt::Key_Tab);
    ger::test::Settle();
    QCOMPARE(form->cds.FieldByName("MENSAGEM").AsString(), std::string("Caro "));
    // While the record is browsed nothing changes, whatever the keys.
    form->cds.Post();
    Into(memo);
    QApplication::clipboard()->setText("não");
    QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_X, Qt::ControlModifier);
    ger::test::Settle();
    QCOMPARE(form->memMensagem.Text(), std::string("Caro "));
    QCOMPARE(memo->toPlainText(), QString("Caro "));
  }

  // The context menu speaks Portuguese and its paste and delete reach the model; a box whose
  // menu the screen emptied offers none.
  void theContextMenuEditsThroughTheModel() {
    form->cds.Edit();
    auto* memo = Widget<QPlainTextEdit>("memMensagem");
    Into(memo);
    memo->selectAll();
    QApplication::clipboard()->setText("Colado");
    QStringList captions;
    ContextMenu(memo->viewport(), [&](QMenu* menu) {
      if (!menu) return;
      for (QAction* a : menu->actions())
        if (!a->isSeparator()) captions << a->text().remove('&');
      Choose(menu, "actColar");
    });
    QVERIFY(!captions.isEmpty());
    QCOMPARE(captions, (QStringList{"Desfazer", "Recortar", "Copiar", "Colar", "Excluir",
                                    "Selecionar tudo"}));
    QCOMPARE(form->memMensagem.Text(), std::string("Colado"));
    memo->selectAll();
    ContextMenu(memo->viewport(), [](QMenu* menu) {
      if (menu) Choose(menu, "actExcluir");
    });
    QCOMPARE(form->memMensagem.Text(), std::string(""));
    QCOMPARE(memo->toPlainText(), QString(""));
    QTest::keyClick(memo, Qt::Key_Tab);
    ger::test::Settle();
    QCOMPARE(form->cds.FieldByName("MENSAGEM").AsString(), std::string(""));

    bool anyMenu = true;
    ContextMenu(Widget<QLineEdit>("edtSemMenu"), [&](QMenu* menu) {
      anyMenu = menu != nullptr;
      if (menu) menu->close();
    });
    QVERIFY(!anyMenu);
  }

  // A masked box typed key by key shows its mask while it fills and stores the digits only.
  void aMaskedBoxTypedKeyByKey() {
    form->cds.Edit();
    auto* box = Widget<QLineEdit>("dbeInscricao");
    Into(box);
    QCOMPARE(box->text(), QString("  .   .   /    -  "));
    for (QChar digit : QString("112223330001")) {
      QTest::keyClick(box, digit.toLatin1());
      ger::test::Settle();
    }
    QCOMPARE(box->text(), QString("11.222.333/0001-  "));
    QCOMPARE(box->cursorPosition(), 16);
    QTest::keyClicks(box, "8x1");
    QTest::keyClick(box, Qt::Key_Tab);
    ger::test::Settle();
    QCOMPARE(box->text(), QString("11.222.333/0001-81"));
    QCOMPARE(form->cds.FieldByName("INSCRICAO").AsString(), std::string("11222333000181"));
  }

  // A list is chosen with the keyboard (arrows, a letter) and with its pop-up, as a user does;
  // each choice runs the change handler once and reaches the field.
  void aListDrivenByKeyboardAndPopup() {
    form->cds.Edit();
    auto* combo = Widget<QComboBox>("dcbTipo");
    Into(combo);
    QTest::keyClick(combo, Qt::Key_Down);
    ger::test::Settle();
    QCOMPARE(form->dcbTipo.Text(), std::string("Três"));
    QCOMPARE(combo->currentText(), QString("Três"));
    QTest::keyClick(combo, Qt::Key_U);  // the next entry starting with the letter
    ger::test::Settle();
    QCOMPARE(form->dcbTipo.Text(), std::string("Um"));
    QCOMPARE(form->tipoChanges, 2);
    // The pop-up: Alt+Down opens it, the arrows and Enter choose in it.
    QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
    ger::test::Settle();
    QAbstractItemView* list = combo->view();
    QTRY_VERIFY(list->isVisible());
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    ger::test::Settle();
    QVERIFY(!list->isVisible());
    QCOMPARE(form->dcbTipo.Text(), std::string("Dois"));
    QCOMPARE(form->tipoChanges, 3);
    QTest::keyClick(combo, Qt::Key_Tab);
    ger::test::Settle();
    QCOMPARE(form->cds.FieldByName("TIPO").AsString(), std::string("Dois"));
  }

  // The date box shows its mask and offers a calendar; the chosen date is typed into the box
  // through the model; an impossible date stays in the box for the screen's check.
  void theDateBoxHasAMaskAndACalendar() {
    form->cds.Edit();
    auto* box = Widget<QLineEdit>("dbdData");
    Into(box);
    QCOMPARE(box->text(), QString("__/__/____"));
    bool chose = false;
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, &chose] {
      auto* popup = QApplication::activePopupWidget();
      auto* calendar = popup ? popup->findChild<QCalendarWidget*>("calData") : nullptr;
      if (!calendar) return;
      timer->stop();
      timer->deleteLater();
      calendar->setSelectedDate(QDate(2024, 2, 29));
      emit calendar->activated(QDate(2024, 2, 29));
      chose = true;
    });
    timer->start();
    QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
    ger::test::Settle();
    QVERIFY(chose);
    QCOMPARE(box->text(), QString("29/02/2024"));
    QTest::keyClick(box, Qt::Key_Tab);
    ger::test::Settle();
    QCOMPARE(form->cds.FieldByName("DATA").AsString(), std::string("29/02/2024"));
    // Typed digit by digit, an impossible date is kept in the box, uncommitted.
    Into(box);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, "31022023");
    QTest::keyClick(box, Qt::Key_Tab);
    ger::test::Settle();
    QCOMPARE(box->text(), QString("31/02/2023"));
    QCOMPARE(form->cds.FieldByName("DATA").AsString(), std::string("29/02/2024"));
  }

  // The focus shows on every kind of control, also when the model moved it there.
  void theFocusIsVisibleOnListsAndCheckBoxes() {
    for (const char* name : {"dcbTipo", "dckAtivo"}) {
      QWidget* w = shell->ViewOf(*form)->WidgetOf(name);
      form->FocusControl(&form->memMensagem);
      shell->SyncAll();
      ger::test::Settle();
      QImage without = w->grab().toImage();
      form->FocusControl(dynamic_cast<TControl*>(form->FindDeep(name)));
      shell->SyncAll();
      ger::test::Settle();
      QVERIFY2(w->hasFocus(), name);
      QImage with = w->grab().toImage();
      QVERIFY2(with != without, name);
    }
  }
};

// The base dialogs show their buttons with picture and caption; Enter and Escape press them.
class DialogButtonsTest : public ger::test::ShellFixture {
  Q_OBJECT

 private slots:
  void init() { NewShell(); }
  void cleanup() { CloseShell(); }

  void theButtonColumnIsShownAndAnswersEnterAndEscape() {
    struct Dialogo : TfrmRotiGeral {
      TEdit edtNome{this, "edtNome"};
      int confirmed = 0;
      Dialogo() : TfrmRotiGeral("frmDialogo") {
        SetCaption("Diálogo");
        edtNome.SetParent(&grbRotina);
        edtNome.SetBounds(8, 20, 200, 23);
        sbtConfirma.OnClick = [this](TComponent&) { ++confirmed; };
      }
    };
    auto& d = Application().CreateForm<Dialogo>();
    d.Show();
    shell->SyncAll();
    ger::test::Settle();
    qt::FormView* view = shell->ViewOf(d);
    QVERIFY(view);
    auto* confirm = qobject_cast<QToolButton*>(view->WidgetOf("sbtConfirma"));
    auto* cancel = qobject_cast<QToolButton*>(view->WidgetOf("sbtCancel"));
    QVERIFY(confirm && cancel);
    QVERIFY(confirm->isVisible() && cancel->isVisible());
    QCOMPARE(confirm->text().remove('&'), QString("Confirmar"));
    QCOMPARE(cancel->text().remove('&'), QString("Cancelar"));
    QVERIFY(!confirm->icon().isNull());
    QVERIFY(!cancel->icon().isNull());
    QVERIFY(qt::CheckLayout(*view).empty());
    auto* name = qobject_cast<QLineEdit*>(view->WidgetOf("edtNome"));
    QTest::mouseClick(name, Qt::LeftButton);
    ger::test::Settle();
    QTest::keyClick(name, Qt::Key_Return);
    ger::test::Settle();
    QCOMPARE(d.confirmed, 1);
    QTest::keyClick(name, Qt::Key_Escape);
    ger::test::Settle();
    QVERIFY(!Application().FormExists(&d) || !d.Visible());
  }
};

// A server call that lasts: the window keeps painting and shows that it waits, the user's keys
// reach nothing, and a failure of the call reaches the caller once the window is free again.
class WaitTest : public ger::test::ShellFixture {
  Q_OBJECT

 private slots:
  void init() { NewShell(); }
  void cleanup() { CloseShell(); }

  void aLongCallKeepsTheWindowAliveAndRefusesInput() {
    auto& form = Application().CreateForm<TfrmEdicao>();
    form.Show();
    shell->Window().show();
    QVERIFY(QTest::qWaitForWindowActive(&shell->Window()));
    shell->SyncAll();
    ger::test::Settle();
    form.cds.Edit();
    auto* box = qobject_cast<QLineEdit*>(shell->ViewOf(form)->WidgetOf("edtSemMenu"));
    QTest::mouseClick(box, Qt::LeftButton);
    ger::test::Settle();

    // The call lasts until the window has shown its wait bar and the user has typed meanwhile.
    std::atomic<bool> observed{false};
    bool barShown = false, painted = false;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      painted = true;  // the event loop runs while the call waits
      if (!shell->Waiting() || !shell->Window().WaitBar()->isVisible()) return;
      barShown = true;
      QTest::keyClicks(box, "abc");
      QTest::mouseClick(box, Qt::LeftButton);
      observed = true;
    });
    watcher.start();
    blocking::Run([&] {
      for (int i = 0; i < 1000 && !observed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    watcher.stop();
    QVERIFY(barShown);
    QVERIFY(painted);
    QVERIFY(!shell->Waiting());
    QVERIFY(!shell->Window().WaitBar()->isVisible());
    ger::test::Settle();
    QCOMPARE(form.edtSemMenu.Text(), std::string(""));
    // Once the call is over the box takes keys again.
    QTest::keyClicks(box, "ok");
    ger::test::Settle();
    QCOMPARE(form.edtSemMenu.Text(), std::string("ok"));

    bool thrown = false;
    try {
      blocking::Run([] { throw std::runtime_error("sem resposta"); });
    } catch (const std::runtime_error& e) {
      thrown = std::string(e.what()) == "sem resposta";
    }
    QVERIFY(thrown);
    QVERIFY(!shell->Waiting());
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = 0;
  {
    EditingTest t;
    failures += QTest::qExec(&t, argc, argv);
  }
  {
    DialogButtonsTest t;
    failures += QTest::qExec(&t, argc, argv);
  }
  {
    WaitTest t;
    failures += QTest::qExec(&t, argc, argv);
  }
  return failures;
}

#include "editing_test.moc"
