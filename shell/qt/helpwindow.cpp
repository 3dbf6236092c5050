#include "helpwindow.h"

#include <QAction>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "convert.h"
#include "module/module.h"
#include "qtdialogs.h"
#include "ui/forms.h"
#include "ui/help.h"

namespace ger::qt {
namespace {

QString Text(std::string_view key, std::initializer_list<std::string_view> args = {}) {
  return ToQ(help::HelpMsg(key, args));
}

// The heading of the block that holds the anchor: a topic's anchor sits in its heading.
QString HeadingOf(const QTextDocument& document, const QString& anchor) {
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (block.charFormat().anchorNames().contains(anchor)) return block.text().trimmed();
    for (auto it = block.begin(); !it.atEnd(); ++it)
      if (it.fragment().charFormat().anchorNames().contains(anchor)) return block.text().trimmed();
  }
  return {};
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
  setObjectName("frmAjuda");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowFlag(Qt::WindowMinMaxButtonsHint, true);
  // A help window left open does not keep the program running after the main window closed.
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(760, 600);

  auto button = [this](const QString& caption, const char* name, const char* icon) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setText(caption);
    b->setIcon(QIcon::fromTheme(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    return b;
  };
  back_ = button(Text("Ajuda_Voltar"), "btnVoltar", "go-previous");
  forward_ = button(Text("Ajuda_Avancar"), "btnAvancar", "go-next");
  QToolButton* home = button(Text("Ajuda_Inicio"), "btnInicio", "go-home");
  find_ = new QLineEdit(this);
  find_->setObjectName("edtProcurar");
  find_->setClearButtonEnabled(true);
  auto* findLabel = new QLabel(Text("Ajuda_Procurar"), this);
  findLabel->setBuddy(find_);
  browser_ = new QTextBrowser(this);
  browser_->setObjectName("txbGuia");
  // Links lead to other topics of the guide only: nothing opens outside the window.
  browser_->setOpenExternalLinks(false);
  browser_->setOpenLinks(true);
  status_ = new QLabel(this);
  status_->setObjectName("lblSituacao");

  auto* tools = new QHBoxLayout;
  tools->addWidget(back_);
  tools->addWidget(forward_);
  tools->addWidget(home);
  tools->addSpacing(16);
  tools->addWidget(findLabel);
  tools->addWidget(find_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(tools);
  layout->addWidget(browser_, 1);
  layout->addWidget(status_);

  back_->setEnabled(false);
  forward_->setEnabled(false);
  connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
  connect(home, &QToolButton::clicked, browser_, &QTextBrowser::home);
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QWidget::setEnabled);
  // The history's top (source()) is the page being left while this signal runs: the topic is
  // the signal's.
  connect(browser_, &QTextBrowser::sourceChanged, this,
          [this](const QUrl& url) { Shown(url.fragment()); });
  connect(find_, &QLineEdit::returnPressed, this, [this] { Find(find_->text()); });
  connect(find_, &QLineEdit::textChanged, status_, &QLabel::clear);
}

void HelpWindow::Open(const QString& guide, const QString& topic) {
  QUrl url = QUrl::fromLocalFile(guide);
  if (!topic.isEmpty()) url.setFragment(topic);
  if (browser_->source() == url) {
    // The same topic again: back at its heading, where the user may have scrolled away from.
    browser_->scrollToAnchor(topic);
    return;
  }
  browser_->setSource(url);
}

QString HelpWindow::Topic() const {
  return browser_->source().fragment();
}

bool HelpWindow::Find(const QString& text) {
  status_->clear();
  if (text.isEmpty()) return false;
  if (browser_->find(text)) return true;
  // From the top once more before saying it is not there.
  QTextCursor cursor = browser_->textCursor();
  cursor.movePosition(QTextCursor::Start);
  browser_->setTextCursor(cursor);
  if (browser_->find(text)) return true;
  status_->setText(Text("Ajuda_NaoAchou", {FromQ(text)}));
  return false;
}

void HelpWindow::Shown(const QString& topic) {
  heading_ = topic.isEmpty() ? QString() : HeadingOf(*browser_->document(), topic);
  if (heading_.isEmpty()) heading_ = browser_->documentTitle();
  setWindowTitle(Text("Ajuda_Titulo", {FromQ(heading_)}));
}

void HelpWindow::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (returnTo_ && returnTo_->isVisible()) returnTo_->activateWindow();
}

QString GuideFile() {
  return QString::fromStdString((TLoadedModule::HostLibraryDir() / "help" / "index.html").string());
}

void AddHelpMenu(QMenuBar& bar, std::function<TForm*()> current, QtDialogs& dialogs) {
  QMenu* menu = bar.addMenu(Text("Ajuda_Menu"));
  menu->setObjectName("mnuAjuda");
  QAction* screen = menu->addAction(Text("Ajuda_Tela"));
  screen->setObjectName("mnuAjudaTela");
  // In a box F1 is the box's own (the box's topic); elsewhere in the window, the screen's.
  screen->setShortcut(QKeySequence(Qt::Key_F1));
  QObject::connect(screen, &QAction::triggered, menu, [current, &dialogs] {
    TForm* form = current ? current() : nullptr;
    dialogs.ShowHelpTopic(form ? form->HelpFile : std::string(),
                          help::ScreenTopic(form ? form->HelpContext : 0));
  });
  QAction* guide = menu->addAction(Text("Ajuda_Guia"));
  guide->setObjectName("mnuAjudaGuia");
  QObject::connect(guide, &QAction::triggered, menu,
                   [&dialogs] { dialogs.ShowHelpTopic({}, std::string(help::kStartTopic)); });
}

}  // namespace ger::qt
