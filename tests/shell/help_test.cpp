// Context help on the company screen: the guide built with the program has a topic for every box
// of the screen and a page for every message of the catalogues, its links lead to topics, and F1,
// the Ajuda button and a message's help button open the help window at the topic the model chose.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>

#include "company_screen.h"
#include "core/messages.h"
#include "helpwindow.h"
#include "net/messages.h"
#include "report/messages.h"
#include "routines/routines.h"
#include "ui/dbctrls.h"
#include "ui/gestures.h"
#include "ui/help.h"
#include "ui/picture.h"

using namespace ger;

namespace {

QString ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

QSet<QString> Captures(const QString& text, const QString& pattern) {
  QSet<QString> found;
  for (const QRegularExpressionMatch& m : QRegularExpression(pattern).globalMatch(text))
    found.insert(m.captured(1));
  return found;
}

}  // namespace

class HelpTest : public ger::test::CompanyScreenTest {
  Q_OBJECT

  QString guide;
  QSet<QString> topics;

  QWidget* W(const char* name) { return shell->ViewOf(*screen)->WidgetOf(name); }
  QAction* Action(const char* name) { return shell->Window().findChild<QAction*>(name); }
  bool HasTopic(const std::string& topic) { return topics.contains(QString::fromStdString(topic)); }
  qt::HelpWindow* Help() { return shell->Dialogs().Help(); }

  // The catalogues the screens show messages from, each with a name for the failure.
  std::vector<std::pair<std::string, TMessages>> Catalogues() {
    std::vector<std::pair<std::string, TMessages>> all;
    all.emplace_back("msgPadrao",
                     TMessages(ReadAll(GER_SOURCE_DIR "/Ger00200/msgPadrao.txt").toStdString()));
    all.emplace_back("standard", TMessages(StandardMessages()));
    all.emplace_back("report", report::ReportMessages());
    all.emplace_back("picture", PictureMessages());
    all.emplace_back("help", help::HelpMessages());
    all.emplace_back("net", net::NetMessages());
    return all;
  }

 private slots:
  void initTestCase() {
    guide = ReadAll(qt::GuideFile());
    QVERIFY2(!guide.isEmpty(), qPrintable("the guide was not built: " + qt::GuideFile()));
    topics = Captures(guide, "<a name=\"([^\"]+)\"");
    StartServer({"--demo"});
  }
  void cleanupTestCase() { StopServer(); }
  void init() { OpenScreen(); }
  void cleanup() { CloseScreen(); }

  // Every data-aware box of the company screen has its topic; so do the screens, and every link
  // of the guide leads to a topic of it.
  void everyBoxAndScreenHasATopic() {
    QStringList missing;
    int boxes = 0;
    for (TComponent* component : screen->Components()) {
      auto* control = dynamic_cast<TControl*>(component);
      if (!control) continue;
      const std::string topic = help::BoxTopic(*control);
      if (topic.empty()) continue;
      ++boxes;
      if (!HasTopic(topic)) missing << QString::fromStdString(topic);
    }
    QVERIFY2(missing.isEmpty(), qPrintable("boxes without a topic: " + missing.join(", ")));
    QVERIFY2(boxes >= 70, qPrintable(QString::number(boxes) + " boxes"));
    for (const std::string& topic :
         {help::ScreenTopic(12400200), help::ScreenTopic(12400201), std::string(help::kStartTopic),
          help::FocusTopic(*screen, nullptr), std::string("tela-frmNotasExplicativas"),
          std::string("tela-frmVisualizaRel")})
      QVERIFY2(HasTopic(topic), topic.c_str());
    QStringList broken;
    for (const QString& link : Captures(guide, "href=\"#([^\"]+)\""))
      if (!topics.contains(link)) broken << link;
    QVERIFY2(broken.isEmpty(), qPrintable("links to no topic: " + broken.join(", ")));
    // The pictures are the screen guide's, copied beside the page.
    for (const QString& picture : Captures(guide, "<img src=\"([^\"]+)\""))
      QVERIFY2(QFile::exists(QFileInfo(qt::GuideFile()).dir().filePath(picture)),
               qPrintable(picture));
  }

  // Every message of every catalogue has its page; the keys kept out as captions are keys of a
  // catalogue (a list that names keys no longer there would hide nothing).
  void everyMessageHasAPage() {
    QStringList missing;
    QSet<QString> keys;
    for (const auto& [name, catalogue] : Catalogues())
      for (const std::string& key : catalogue.Keys()) {
        keys.insert(QString::fromStdString(key));
        if (!help::IsCaption(key) && !HasTopic(help::MessageTopic(key)))
          missing << QString::fromStdString(name + ":" + key);
      }
    QVERIFY2(missing.isEmpty(), qPrintable("messages without a page: " + missing.join(", ")));
    for (const char* caption : {"S", "N", "CGC", "Rel_Pagina", "Err_Espaco", "Ajuda_Titulo"}) {
      QVERIFY(help::IsCaption(caption));
      QVERIFY(keys.contains(caption));
    }
    QVERIFY(!help::IsCaption("CGC_Inv"));
  }

  // A dialog's text leads back to its key: as it stands, with a value before it, with "%1"
  // filled in, with a list after it; texts of no catalogue and bare captions lead nowhere.
  void aMessageIsFoundByItsText() {
    QCOMPARE(help::MessageKey("C.G.C. inválido."), std::string("CGC_Inv"));
    QCOMPARE(help::MessageKey("Inscrição já cadastrada."), std::string("Insc_cad"));
    QCOMPARE(help::MessageKey("'31/02/2020' não é uma data válida."), std::string("Data_Inv"));
    QCOMPARE(help::MessageKey(report::ReportMsg("Rel_Gravar", {"/tmp/x.pdf", "disco cheio"})),
             std::string("Rel_Gravar"));
    QCOMPARE(help::MessageKey(
                 "Campos alterados pelo outro usuário, já mostrados como estão gravados:\nNome"),
             std::string("Alt_Outro"));
    // Two texts of which one holds the other: the whole one wins.
    QCOMPARE(help::MessageKey("Arquivo informado não foi encontrado."),
             std::string("Arq_Not_Found"));
    QCOMPARE(help::MessageKey("Arquivo informado não encontrado."), std::string("Arq_Mod_Err"));
    // The transport's refusals, whose catalogue the shell adds: their pages are found too.
    QCOMPARE(help::MessageKey(net::NetMsg("Tls_Vencido", {"srv.escritorio", "01/01/2026"})),
             std::string("Tls_Vencido"));
    QCOMPARE(help::MessageKey("Falha na comunicação com o servidor."), std::string());
    QCOMPARE(help::MessageKey("Sim"), std::string());
    QCOMPARE(help::MessageKey(""), std::string());
  }

  // The model alone (scripted dialogs, no window): F1 in a box asks for the box's topic, F1 in
  // the list for the screen's; the Ajuda button for the screen's help context.
  void theModelChoosesTheTopic() {
    auto scripted = std::make_shared<ui::ScriptedDialogs>();
    Application().SetDialogs(scripted);
    help::SetViewer({});
    help::ClearRequests();
    auto* cnpj = dynamic_cast<TControl*>(screen->FindDeep("dbeCGCEmpresa"));
    auto* list = dynamic_cast<TControl*>(screen->FindDeep("dbgPadrao"));
    QVERIFY(cnpj && list);
    QVERIFY(ui::Gestures::Key(*list, "f1"));
    QVERIFY(ui::Gestures::Click(*screen->FindDeep("sbtIncluir")));
    QVERIFY(ui::Gestures::Key(*cnpj, "f1"));
    QVERIFY(ui::Gestures::Click(*screen->FindDeep("sbtAjuda")));
    QVERIFY(ui::Gestures::Click(*screen->FindDeep("sbtCancelar")));
    Application().SetDialogs(shell->SharedDialogs());
    help::SetViewer([this](const std::string& file, const std::string& topic) {
      shell->Dialogs().ShowHelpTopic(file, topic);
    });
    using Topic = std::pair<std::string, std::string>;
    QCOMPARE(help::Requests(), (std::vector<Topic>{{"Gerhelp.hlp", "tela-12400200"},
                                                   {"Gerhelp.hlp", "campo-dbeCGCEmpresa"}}));
    // The Ajuda button names the screen's help file and context; the dialogs map it.
    QCOMPARE(scripted->HelpRequests(),
             (std::vector<std::pair<std::string, int>>{{"Gerhelp.hlp", 12400200}}));
    QVERIFY(scripted->Log().empty());
  }

  // In the window: F1 in the registration box opens the help window at its topic; Ajuda at the
  // screen's; back and forward go between them; the page is searched.
  void f1AndAjudaOpenTheHelpWindow() {
    Action("sbtIncluir")->trigger();
    ger::test::Settle();
    QWidget* box = W("dbeCGCEmpresa");
    QVERIFY(box);
    QTest::mouseClick(box, Qt::LeftButton);
    ger::test::Settle();
    QVERIFY(box->hasFocus());
    QTest::keyClick(box, Qt::Key_F1);
    ger::test::Settle();
    QVERIFY(Help() && Help()->isVisible());
    QCOMPARE(Help()->Topic(), QString("campo-dbeCGCEmpresa"));
    QVERIFY2(Help()->windowTitle().startsWith("Ajuda - Inscrição (CNPJ"),
             qPrintable(Help()->windowTitle()));
    QVERIFY(Help()->Browser()->toPlainText().contains("C.G.C. inválido."));
    QVERIFY(!Help()->BackButton()->isEnabled());

    Action("sbtAjuda")->trigger();
    ger::test::Settle();
    QCOMPARE(Help()->Topic(), QString("tela-12400200"));
    QCOMPARE(Help()->Heading(), QString("A tela Empresa"));
    QVERIFY(Help()->BackButton()->isEnabled());
    Help()->BackButton()->click();
    QCOMPARE(Help()->Topic(), QString("campo-dbeCGCEmpresa"));
    QVERIFY(Help()->ForwardButton()->isEnabled());
    Help()->ForwardButton()->click();
    QCOMPARE(Help()->Topic(), QString("tela-12400200"));

    QVERIFY(Help()->Find("dígitos verificadores"));
    QVERIFY(Help()->Browser()->textCursor().hasSelection());
    QVERIFY(!Help()->Find("xyzzy-nada"));
    QVERIFY(Help()->findChild<QLabel*>("lblSituacao")->text().contains("xyzzy-nada"));

    // A link followed inside the window, to another topic.
    Help()->Browser()->setSource(QUrl("#msg-Excl"));
    ger::test::Settle();
    QCOMPARE(Help()->Topic(), QString("msg-Excl"));
    QCOMPARE(Help()->Heading(), QString("Confirma exclusão ?"));
    Help()->close();
    Action("sbtCancelar")->trigger();
    ger::test::Settle();
  }

  // A message of the catalogue has a help button that opens its page over the message, which
  // stays until answered.
  void aMessageOpensItsPage() {
    QString topic, title;
    bool helpButton = false;
    ger::test::OnNextModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QPushButton* button = box ? box->findChild<QPushButton*>("btn128") : nullptr;
      helpButton = button != nullptr;
      if (!button) {
        modal->close();
        return;
      }
      ger::test::OnNextModal([&, box](QWidget* window) {
        if (auto* h = qobject_cast<qt::HelpWindow*>(window)) {
          topic = h->Topic();
          title = h->windowTitle();
        }
        window->close();
        ger::test::OnNextModal([](QWidget* again) { again->close(); });
        Q_UNUSED(box);
      });
      button->click();
    });
    shell->Dialogs().MessageDlg("C.G.C. inválido.", TMsgDlgType::mtError, mbOK, 0);
    QVERIFY(helpButton);
    QCOMPARE(topic, QString("msg-CGC_Inv"));
    QCOMPARE(title, QString("Ajuda - C.G.C. inválido."));

    // A text of no catalogue has no help button.
    helpButton = true;
    ger::test::OnNextModal([&](QWidget* modal) {
      helpButton = modal->findChild<QPushButton*>("btn128") != nullptr;
      modal->close();
    });
    shell->Dialogs().MessageDlg("Falha na comunicação com o servidor.", TMsgDlgType::mtError, mbOK,
                                0);
    QVERIFY(!helpButton);
  }

  // Another help file than the guide is not there: the user reads that, in a sentence.
  void anotherHelpFileIsNotAvailable() {
    QString seen;
    ger::test::AnswerNext("OK", &seen);
    shell->Dialogs().ShowHelp("Outro.hlp", 5);
    QCOMPARE(seen, QString("A ajuda não está disponível nesta instalação (Outro.hlp)."));
  }
};

QTEST_MAIN(HelpTest)
#include "help_test.moc"
