// A company included by keyboard alone in the real window: the module, a ger-server on a new
// SQLite database without companies, and nothing but key events sent where the user's keys go
// (the focused widget, or the pop-up menu the keys opened).
#include <memory>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "company_screen.h"
#include "convert.h"
#include "data/dataset.h"
#include "db/database.h"
#include "module/module.h"
#include "shell.h"
#include "shelltest.h"
#include "ui/comctrls.h"

using namespace ger;

class KeyboardTest : public ger::test::CompanyScreenTest {
  Q_OBJECT

  QStringList messages;

  QWidget* W(const char* name) { return shell->ViewOf(*screen)->WidgetOf(name); }
  TDataSet& Companies() { return *screen->FindDataSet("cdsEmpresa"); }
  std::string Focused() {
    TControl* c = screen->ActiveControl();
    return c ? c->Name() : std::string("(none)");
  }
  // Where the keyboard's keys go now.
  static QWidget* KeyTarget() {
    if (QWidget* popup = QApplication::activePopupWidget()) return popup;
    if (QWidget* focus = QApplication::focusWidget()) return focus;
    return QApplication::activeWindow();
  }
  static void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = KeyTarget();
    QVERIFY(target);
    QTest::keyClick(target, key, modifiers);
    ger::test::Settle();
  }
  // Typed key by key into whatever has the focus at each key.
  static void Type(const QString& text) {
    for (QChar ch : text) {
      QWidget* target = KeyTarget();
      QVERIFY(target);
      if (ch.unicode() < 0x80) {
        QTest::keyClicks(target, QString(ch));
        continue;
      }
      // A letter of a Portuguese keyboard that has no key of its own in the test's table.
      QTest::sendKeyEvent(QTest::Press, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
      QTest::sendKeyEvent(QTest::Release, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
    ger::test::Settle();
  }
  // A menu of the bar by its Alt letter, then an entry by its letter.
  static void Menu(Qt::Key menu, Qt::Key entry) {
    Key(menu, Qt::AltModifier);
    QVERIFY2(qobject_cast<QMenu*>(QApplication::activePopupWidget()), "no menu opened");
    Key(entry);
    QVERIFY(!QApplication::activePopupWidget());
  }
  // Any dialog on the way is a failure: it is written down and closed.
  void AnswerModals() {
    ger::test::OnNextModal([this](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      messages << (box ? box->text() : modal->objectName());
      modal->close();
      AnswerModals();
    });
  }
  // Types into the focused box and leaves it with Tab.
  void Fill(const char* box, const QString& text) {
    QCOMPARE(Focused(), std::string(box));
    QVERIFY2(W(box) && W(box)->hasFocus(), box);
    Type(text);
    Key(Qt::Key_Tab);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join("\n")));
  }

 private slots:
  // No --demo: the database holds only the reference lists.
  void initTestCase() { StartServer(); }
  void cleanupTestCase() { StopServer(); }
  void init() { OpenScreen(); }
  void cleanup() { CloseScreen(); }

  void aCompanyIsIncludedAndSavedByKeyboardAlone() {
    QCOMPARE(Companies().RecordCount(), 0);
    AnswerModals();

    Menu(Qt::Key_M, Qt::Key_I);  // Manutenção › Incluir
    QCOMPARE(Companies().State(), DataSetState::Insert);
    Fill("dbeCdEmpresa", "01");
    Fill("dbeNmEmpresa", "Primeira");
    Fill("dbeRazaoSoc", "Primeira Comércio Ltda");
    Fill("dbeCompRazSoc", "");
    Fill("cboTipo", "");
    // The CNPJ key by key under its mask.
    QCOMPARE(Focused(), std::string("dbeCGCEmpresa"));
    Type("11444777000161");
    auto* cnpj = qobject_cast<QLineEdit*>(W("dbeCGCEmpresa"));
    QCOMPARE(cnpj->text().trimmed(), QString("11444777000161"));
    Key(Qt::Key_Tab);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join("\n")));
    // Once checked, the number is a CNPJ and shows under that mask.
    QCOMPARE(cnpj->text(), QString("11.444.777/0001-61"));

    Menu(Qt::Key_O, Qt::Key_E);  // Operação › Endereço
    Key(Qt::Key_Tab);
    Fill("dbeCdPais", "1058");
    Fill("dbeSgEstado", "SP");
    Fill("dbeCdMunicipio", "5030");

    Menu(Qt::Key_M, Qt::Key_C);  // Manutenção › Confirmar
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join("\n")));
    QCOMPARE(Companies().State(), DataSetState::Browse);

    auto db = db::Connection::Open("sqlite:" + dir.filePath("ger.db").toStdString());
    DataPacket row = db->Query(
        "SELECT NMEMPRESA, NMRAZSOCEMPR, NRINSJUREMPR, CDPAIS, SGESTADO, CDMUNICIPIO"
        " FROM EMPRESA WHERE CDEMPRESA = '01'");
    QCOMPARE(row.rows.size(), std::size_t(1));
    QStringList got;
    for (const Value& v : row.rows.front()) got << QString::fromStdString(qt::ValueText(v));
    QCOMPARE(got, (QStringList{"Primeira", "Primeira Comércio Ltda", "11444777000161", "1058", "SP",
                               "5030"}));

    // The screen browses the stored company.
    QCOMPARE(Companies().RecordCount(), 1);
    QCOMPARE(Companies().FieldByName("CDEMPRESA").AsString(), std::string("01"));
    auto* grid = qobject_cast<QTableWidget*>(W("dbgPadrao"));
    QCOMPARE(grid->rowCount(), 1);
  }

  // The keys the boxes leave reach the model: Ctrl+Tab and Ctrl+PgUp change the page through its
  // checks and enter the page's first box, F2 opens a box's search. Runs after the company above
  // was stored.
  void pageAndSearchKeysGoThroughTheModel() {
    QCOMPARE(Companies().RecordCount(), 1);
    AnswerModals();
    // The screen opens with the focus in its list.
    QCOMPARE(Focused(), std::string("dbgPadrao"));
    QCOMPARE(QApplication::focusWidget(), W("dbgPadrao"));
    Menu(Qt::Key_M, Qt::Key_A);  // Manutenção › Alterar
    QCOMPARE(Focused(), std::string("dbeNmEmpresa"));
    Key(Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(screen->FindDeep("tshEndereco"),
             static_cast<TComponent*>(
                 dynamic_cast<TPageControl&>(*screen->FindDeep("pgcPadrao")).ActivePage()));
    QCOMPARE(Focused(), std::string("dbeCdPais"));
    QCOMPARE(QApplication::focusWidget(), W("dbeCdPais"));
    Key(Qt::Key_F2);
    QCOMPARE(messages.size(), 1);  // the country list, closed at once
    messages.clear();
    Key(Qt::Key_PageUp, Qt::ControlModifier);
    QCOMPARE(Focused(), std::string("dbeNmEmpresa"));  // the code box is closed while altering
    Menu(Qt::Key_M, Qt::Key_N);                        // Manutenção › Cancelar
    QCOMPARE(Companies().State(), DataSetState::Browse);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join("\n")));
  }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
