#include "shell.h"

#include <exception>
#include <iostream>
#include <thread>

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "convert.h"
#include "core/server_url.h"
#include "helpwindow.h"
#include "icons.h"
#include "look.h"
#include "ui/gestures.h"
#include "ui/signed_in.h"

namespace ger::qt {

namespace G = ui::Gestures;

// --- MainWindow -------------------------------------------------------------------------------

MainWindow::MainWindow(Shell& shell) : shell_(shell) {
  setObjectName("frmPrincipal");
  // No title of its own: the desktop shows the program's name (the application's display name)
  // after the title, and a maximised screen puts its own name first; a title here would be
  // repeated ("Gerenciador Empresarial - [Empresa] — Gerenciador Empresarial").
  mdi_ = new QMdiArea(this);
  mdi_->setObjectName("mdiPrincipal");
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  tools_ = addToolBar("Ferramentas");
  tools_->setObjectName("tbrPrincipal");
  tools_->setMovable(false);
  tools_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  tools_->setIconSize(QSize(22, 22));
  server_ = new QLabel(this);
  wait_ = new QProgressBar(this);
  wait_->setObjectName("prgAguarde");
  wait_->setRange(0, 0);  // no end known: the bar runs back and forth while the server works
  wait_->setMaximumWidth(160);
  wait_->hide();
  statusBar()->addPermanentWidget(wait_);
  statusBar()->addPermanentWidget(server_);
  // The start page lies on the empty MDI area; it hides while a screen is shown.
  start_ = new QWidget(mdi_->viewport());
  start_->setObjectName("pnlInicio");
  auto* layout = new QVBoxLayout(start_);
  auto* title = new QLabel("Gerenciador Empresarial", start_);
  title->setObjectName("lblInicio");
  QFont big = title->font();
  big.setPointSize(big.pointSize() + 6);
  big.setBold(true);
  title->setFont(big);
  title->setAlignment(Qt::AlignCenter);
  auto* hint = new QLabel("Escolha a tela que deseja abrir:", start_);
  hint->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);
  layout->addWidget(hint);
  mdi_->viewport()->installEventFilter(this);
  resize(1024, 768);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mdi_->viewport() && event->type() == QEvent::Resize) {
    start_->adjustSize();
    QSize size = start_->sizeHint();
    start_->setGeometry(
        QRect(QPoint(0, 0), mdi_->viewport()->size()).center().x() - size.width() / 2,
        mdi_->viewport()->height() / 3 - size.height() / 2, size.width(), size.height());
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A screen may refuse to close (its close handler aborts): the program then stays.
  if (shell_.CloseAll())
    event->accept();
  else
    event->ignore();
}

// --- Shell ------------------------------------------------------------------------------------

Shell::Shell() {
  UseDesktopLook();
  window_ = std::make_unique<MainWindow>(*this);
  dialogs_ = std::make_shared<QtDialogs>([this]() -> QWidget* { return window_.get(); });
  TApplication& app = Application();
  app.SetDialogs(dialogs_);
  app.RunModalLoop = [this](TForm& form) { RunModal(form); };
  app.OnModelChanged = [this] { ScheduleSync(); };
  previousRunner_ = blocking::SetRunner([this](const blocking::Work& work) { Wait(work); });
  // A call posted from another thread (a watcher's news) wakes the loop through a queued call.
  app.SetPostedWaker([this] {
    QMetaObject::invokeMethod(
        this, [this] { RunPosted(); }, Qt::QueuedConnection);
  });
  SyncSignedIn();
  connect(window_->Mdi(), &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
    if (!sub || syncDepth_ > 0) return;
    for (Entry& e : entries_)
      if (e.window == sub && e.view && Application().ActiveForm() != e.form) {
        TForm* form = e.form;
        Perform(*form, [form] { Application().Guard([form] { form->Activate(); }); });
        return;
      }
  });
}

Shell::~Shell() {
  TApplication& app = Application();
  app.SetPostedWaker(nullptr);
  app.OnModelChanged = nullptr;
  blocking::SetRunner(std::move(previousRunner_));
  app.RunModalLoop = nullptr;
  app.SetDialogs(nullptr);
  for (auto& [form, loop] : loops_) loop->quit();
  for (Entry& e : entries_)
    if (e.view) e.view->Detach();
}

void Shell::ScheduleSync() {
  if (syncPending_) return;
  syncPending_ = true;
  QTimer::singleShot(0, this, [this] {
    syncPending_ = false;
    SyncAll();
  });
}

void Shell::RunPosted() {
  // Not in the middle of a gesture (a server call waiting, a message box open): the model is
  // then in a state only that gesture may change; the calls wait for its end.
  if (waiting_ > 0 || Application().GestureDepth() > 0) {
    QTimer::singleShot(50, this, [this] { RunPosted(); });
    return;
  }
  if (Application().RunPosted() == 0) return;
  Application().ProcessReleases();
  SyncAll();
}

void Shell::Perform(TForm& form, const std::function<void()>& gesture) {
  if (waiting_ > 0) {
    // A gesture queued before a server call began (a focus change) waits until the call ends:
    // the model is in the middle of another gesture.
    TForm* target = &form;
    QTimer::singleShot(20, this, [this, target, gesture] {
      if (Application().FormExists(target)) Perform(*target, gesture);
    });
    return;
  }
  if (!Application().FormExists(&form)) return;
  try {
    gesture();
  } catch (const ui::EGestureError& e) {
    // The widget let the user try what the model does not allow (a race with a refresh).
    window_->statusBar()->showMessage(ToQ(e.what()), 5000);
  } catch (const ui::EScriptError& e) {
    std::cerr << "ger-host: " << e.what() << "\n";
  } catch (...) {
    Application().HandleException(std::current_exception());
  }
  Application().ProcessReleases();
  SyncAll();
}

FormView* Shell::ViewOf(const TForm& form) const {
  for (const Entry& e : entries_)
    if (e.form == &form && e.view && !e.view->Detached()) return e.view;
  return nullptr;
}

QWidget* Shell::WindowOf(const TForm& form) const {
  for (const Entry& e : entries_)
    if (e.form == &form && e.view && !e.view->Detached()) return e.window;
  return nullptr;
}

void Shell::Open(TForm& form) {
  auto* view = new FormView(form, *this);
  // Pages that do not fit the window scroll rather than clip.
  auto* scroll = new QScrollArea;
  scroll->setWidget(view);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  Entry entry{&form, view, nullptr};
  if (form.FormStyle == TFormStyle::fsMDIChild && !form.Modal()) {
    QMdiSubWindow* sub = window_->Mdi()->addSubWindow(scroll);
    sub->setObjectName(ToQ(form.Name()) + "_janela");
    sub->setWindowIcon(QApplication::windowIcon());
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->installEventFilter(this);
    // The MDI area takes Ctrl+Tab for itself through a filter on the whole application; ours,
    // installed after it, comes first and gives the key to the screen's page control.
    QApplication::instance()->removeEventFilter(this);
    QApplication::instance()->installEventFilter(this);
    int w = form.Width() > 0 ? form.Width() + 16 : 800;
    int h = form.Height() > 0 ? form.Height() + 40 : 560;
    sub->resize(std::min(w, window_->Mdi()->width()), std::min(h, window_->Mdi()->height()));
    entry.window = sub;
  } else {
    auto* top = new QWidget(window_.get(), Qt::Dialog);
    top->setObjectName(ToQ(form.Name()) + "_janela");
    auto* layout = new QVBoxLayout(top);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    if (form.Modal()) top->setWindowModality(Qt::ApplicationModal);
    if (form.Width() > 0 && form.Height() > 0) top->resize(form.Width() + 4, form.Height() + 4);
    top->installEventFilter(this);
    entry.window = top;
  }
  entries_.push_back(entry);
}

void Shell::SyncSignedIn() {
  const TApplication& app = Application();
  const HostSettings& s = app.Settings;
  const std::optional<ServerUrl> server = ParseServerUrl(s.webUrl, s.webPort);
  std::string text =
      "Servidor " + (server ? server->Text() : s.webUrl) + "  Módulo " + s.moduloAtiv;
  if (!SignedInPerson().empty()) text += "  Usuário " + SignedInPerson();
  window_->ServerLabel()->setText(ToQ(text));
}

void Shell::SyncAll() {
  if (syncDepth_ > 0 || waiting_ > 0) {
    ScheduleSync();
    return;
  }
  ++syncDepth_;
  TApplication& app = Application();
  SyncSignedIn();
  // Forms that are gone lose their windows (their controls are gone with them).
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (!app.FormExists(it->form) || !it->view) {
      if (it->view) it->view->Detach();
      if (it->window) {
        it->window->hide();
        it->window->deleteLater();
      }
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
  for (TForm* form : app.Forms())
    if (form->Visible() && !ViewOf(*form)) Open(*form);
  for (Entry& e : entries_) {
    e.view->Sync();
    if (!e.window) continue;
    QString title = PlainCaption(e.form->Caption());
    if (e.window->windowTitle() != title) e.window->setWindowTitle(title);
    bool minimized = e.form->WindowState() == TWindowState::wsMinimized;
    if (!e.form->Visible()) {
      e.window->hide();
    } else if (minimized && !e.window->isMinimized()) {
      e.window->showMinimized();
    } else if (!minimized && (e.window->isHidden() || e.window->isMinimized())) {
      // Screens open filling the MDI area, as the office's other programs do.
      if (qobject_cast<QMdiSubWindow*>(e.window.data()))
        e.window->showMaximized();
      else
        e.window->showNormal();
    }
  }
  // The active form's window comes forward with the model's focus inside it.
  if (TForm* active = app.ActiveForm()) {
    for (Entry& e : entries_) {
      if (e.form != active || !e.window || !e.form->Visible()) continue;
      if (auto* sub = qobject_cast<QMdiSubWindow*>(e.window.data())) {
        if (window_->Mdi()->activeSubWindow() != sub) window_->Mdi()->setActiveSubWindow(sub);
        // Without a window manager nobody gives the activation back when a dialog closes.
        if (!QApplication::activeModalWidget() && !QApplication::activeWindow() &&
            window_->isVisible())
          window_->activateWindow();
      } else if (!e.window->isActiveWindow()) {
        e.window->raise();
        e.window->activateWindow();
      }
      e.view->SyncFocus();
    }
  }
  SyncMenus();
  SyncTools();
  SyncStartPage();
  for (auto& [form, loop] : loops_)
    if (!app.FormExists(form) || !form->Modal()) loop->quit();
  --syncDepth_;
}

TForm* Shell::CurrentChild() const {
  TForm* active = Application().ActiveForm();
  for (const Entry& e : entries_)
    if (e.form == active && e.form->FormStyle == TFormStyle::fsMDIChild) return active;
  if (QMdiSubWindow* sub = window_->Mdi()->activeSubWindow())
    for (const Entry& e : entries_)
      if (e.window == sub) return e.form;
  return nullptr;
}

namespace {
void Signature(const std::vector<TMenuItem*>& items, std::string& out) {
  for (const TMenuItem* i : items) {
    out += i->Name() + "(";
    Signature(i->Items(), out);
    out += ")";
  }
}
}  // namespace

void Shell::SyncMenus() {
  TForm* form = CurrentChild();
  FormView* view = form ? ViewOf(*form) : nullptr;
  TMainMenu* menu = view ? view->MainMenu() : nullptr;
  std::string signature;
  if (menu) Signature(menu->Items(), signature);
  QMenuBar* bar = window_->menuBar();
  if (form != menuForm_ || signature != menuSignature_) {
    bar->clear();
    menuActions_.clear();
    menuForm_ = form;
    menuSignature_ = signature;
    QMenu* file = bar->addMenu("&Arquivo");
    file->setObjectName("mnuArquivo");
    for (const Screen& screen : screens_) {
      QAction* open = file->addAction(screen.caption);
      open->setObjectName("mnuAbrir" + screen.name);
      auto run = screen.open;
      connect(open, &QAction::triggered, this, [this, run] {
        Application().Guard(run);
        Application().ProcessReleases();
        SyncAll();
      });
    }
    if (!screens_.empty()) file->addSeparator();
    QAction* quit = file->addAction("&Sair");
    quit->setObjectName("mnuSair");
    connect(quit, &QAction::triggered, window_.get(), &QWidget::close);
    std::function<void(QMenu*, const std::vector<TMenuItem*>&)> add =
        [&](QMenu* into, const std::vector<TMenuItem*>& items) {
          for (TMenuItem* item : items) {
            if (item->IsSeparator()) {
              QAction* separator = into->addSeparator();
              separator->setObjectName(ToQ(item->Name()));
              menuActions_[separator] = item;
              continue;
            }
            QAction* action = nullptr;
            if (!item->Items().empty()) {
              QMenu* sub = into->addMenu(ToQ(item->Caption()));
              sub->setObjectName(ToQ(item->Name()));
              action = sub->menuAction();
              add(sub, item->Items());
            } else {
              action = into->addAction(ToQ(item->Caption()));
              connect(action, &QAction::triggered, this,
                      [this, item, form] { Perform(*form, [item] { G::Click(*item); }); });
            }
            action->setObjectName(ToQ(item->Name()));
            menuActions_[action] = item;
          }
        };
    if (menu)
      for (TMenuItem* top : menu->Items()) {
        QMenu* m = bar->addMenu(ToQ(top->Caption()));
        m->setObjectName(ToQ(top->Name()));
        menuActions_[m->menuAction()] = top;
        m->menuAction()->setObjectName(ToQ(top->Name()));
        add(m, top->Items());
      }
    QMenu* windows = bar->addMenu("&Janela");
    windows->setObjectName("mnuJanela");
    QAction* cascade = windows->addAction("&Cascata");
    cascade->setObjectName("mnuCascata");
    connect(cascade, &QAction::triggered, this, [this] { Cascade(); });
    QAction* tile = windows->addAction("&Lado a lado");
    tile->setObjectName("mnuLadoALado");
    connect(tile, &QAction::triggered, window_->Mdi(), &QMdiArea::tileSubWindows);
    AddHelpMenu(
        *bar, [this] { return CurrentChild(); }, *dialogs_);
  }
  for (auto& [action, item] : menuActions_) {
    if (item->IsSeparator()) {
      action->setVisible(item->Visible());
      continue;
    }
    QString caption = ToQ(item->Caption());
    if (action->text() != caption) action->setText(caption);
    action->setEnabled(item->Enabled());
    action->setVisible(item->Visible());
    action->setCheckable(item->Checked() || action->isCheckable());
    action->setChecked(item->Checked());
    QKeySequence keys(ToQ(item->ShortCut()));
    if (action->shortcut() != keys) action->setShortcut(keys);
  }
}

void Shell::SyncTools() {
  TForm* form = CurrentChild();
  FormView* view = form ? ViewOf(*form) : nullptr;
  std::vector<TSpeedButton*> buttons = view ? view->ToolButtons() : std::vector<TSpeedButton*>{};
  QToolBar* bar = window_->Tools();
  bool same = buttons.size() == toolActions_.size();
  for (TSpeedButton* b : buttons)
    same = same && std::any_of(toolActions_.begin(), toolActions_.end(),
                               [b](auto& p) { return p.second == b; });
  if (!same) {
    bar->clear();
    toolActions_.clear();
    // Left to right as the screen lays them out.
    std::stable_sort(buttons.begin(), buttons.end(),
                     [](TSpeedButton* a, TSpeedButton* b) { return a->Left() < b->Left(); });
    for (TSpeedButton* b : buttons) {
      QAction* action = bar->addAction(b->Glyph.empty() ? QIcon() : Icon(b->Glyph), QString());
      action->setObjectName(ToQ(b->Name()));
      connect(action, &QAction::triggered, this,
              [this, b, form] { Perform(*form, [b] { G::Click(*b); }); });
      toolActions_[action] = b;
    }
  }
  for (auto& [action, b] : toolActions_) {
    // The caption keeps its "&"; a button with none shows its hint under its picture.
    QString text = ToQ(b->Caption());
    if (text.isEmpty()) text = ToQ(b->Hint());
    if (action->text() != text) action->setText(text);
    action->setToolTip(ToQ(b->Hint()));
    action->setStatusTip(ToQ(b->Hint()));
    action->setEnabled(b->Enabled());
    action->setVisible(b->Visible());
    view->DrawnElsewhere(*b, bar->widgetForAction(action));
  }
}

bool Shell::CloseAll() {
  std::vector<TForm*> forms;
  for (const Entry& e : entries_)
    if (e.form->Visible()) forms.push_back(e.form);
  for (TForm* form : forms) {
    if (!Application().FormExists(form)) continue;
    Perform(*form, [form] { G::Close(*form); });
    if (Application().FormExists(form) && form->Visible() &&
        form->WindowState() != TWindowState::wsMinimized)
      return false;
  }
  return true;
}

bool Shell::eventFilter(QObject* watched, QEvent* event) {
  if (watched == QApplication::focusWidget() && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const auto name = FormKeyName(*key);
    if (name && (*name == "ctrl+tab" || *name == "ctrl+shift+tab")) {
      for (Entry& e : entries_) {
        if (!e.window || !e.window->isAncestorOf(static_cast<QWidget*>(watched))) continue;
        TForm* form = e.form;
        TControl* control = form->ActiveControl();
        if (!control) return false;
        Perform(*form, [control, k = *name] { G::Key(*control, k); });
        return true;
      }
    }
  }
  if (event->type() == QEvent::KeyPress) {
    // Enter or Escape that no control took (the window itself has the focus) still reach the
    // form's default and cancel buttons.
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if ((enter || key->key() == Qt::Key_Escape) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      for (Entry& e : entries_) {
        if (e.window != watched) continue;
        TForm* form = e.form;
        const int vk = enter ? Keys::VK_RETURN : Keys::VK_ESCAPE;
        Perform(*form, [form, vk] { form->DialogKey(*form, vk, 0); });
        return true;
      }
    }
  }
  if (event->type() == QEvent::Close) {
    for (Entry& e : entries_) {
      if (e.window != watched) continue;
      // The close box asks the model; the next read hides the window when the form closed.
      event->ignore();
      TForm* form = e.form;
      QTimer::singleShot(0, this, [this, form] {
        if (Application().FormExists(form)) Perform(*form, [form] { G::Close(*form); });
      });
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

void Shell::RunModal(TForm& form) {
  SyncAll();
  QEventLoop loop;
  loops_.emplace_back(&form, &loop);
  if (form.Modal()) loop.exec();
  loops_.erase(
      std::remove_if(loops_.begin(), loops_.end(), [&](auto& p) { return p.second == &loop; }),
      loops_.end());
  SyncAll();
}

namespace {
// While a server call runs, the user's input goes nowhere: no second command can start.
class InputRefusal : public QObject {
 public:
  InputRefusal() { QApplication::instance()->installEventFilter(this); }
  ~InputRefusal() override { QApplication::instance()->removeEventFilter(this); }
  InputRefusal(const InputRefusal&) = delete;
  InputRefusal& operator=(const InputRefusal&) = delete;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::Close:
        event->ignore();
        return true;
      default:
        return false;
    }
  }
};
}  // namespace

void Shell::Wait(const blocking::Work& work) {
  ++waiting_;
  std::exception_ptr error;
  QEventLoop loop;
  InputRefusal refusal;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // A call that lasts shows that it waits; a quick one shows nothing.
  QTimer slow;
  slow.setSingleShot(true);
  QObject::connect(&slow, &QTimer::timeout, &loop, [this] {
    window_->WaitBar()->show();
    window_->statusBar()->showMessage("Aguardando o servidor de aplicação...");
  });
  slow.start(300);
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  slow.stop();
  window_->WaitBar()->hide();
  window_->statusBar()->clearMessage();
  QApplication::restoreOverrideCursor();
  --waiting_;
  if (error) std::rethrow_exception(error);
}

void Shell::AddScreen(const QString& caption, const QString& name, std::function<void()> open) {
  screens_.push_back(Screen{caption, name, open});
  auto* button = new QPushButton(Icon("window-new"), caption, window_->StartPage());
  button->setObjectName("btnAbrir" + name);
  button->setMinimumHeight(32);
  window_->StartPage()->layout()->addWidget(button);
  connect(button, &QPushButton::clicked, this, [this, open] {
    Application().Guard(open);
    Application().ProcessReleases();
    SyncAll();
  });
  menuSignature_ = "\n";  // the File menu is made again with the new entry
  SyncAll();
}

void Shell::SyncStartPage() {
  bool anyShown = false;
  for (QMdiSubWindow* sub : window_->Mdi()->subWindowList())
    anyShown = anyShown || sub->isVisible();
  QWidget* start = window_->StartPage();
  bool wanted = !anyShown && !screens_.empty();
  if (start->isVisible() != wanted) {
    start->setVisible(wanted);
    if (wanted) {
      QResizeEvent resize(window_->Mdi()->viewport()->size(), window_->Mdi()->viewport()->size());
      QApplication::sendEvent(window_->Mdi()->viewport(), &resize);
    }
  }
}

void Shell::Cascade() {
  // Qt's own cascade shrinks every window to its smallest size; a screen must stay usable, so
  // each keeps the size its form was drawn for (within the area), one title bar further down.
  QMdiArea* mdi = window_->Mdi();
  int step = 0;
  for (QMdiSubWindow* sub : mdi->subWindowList(QMdiArea::StackingOrder)) {
    if (!sub->isVisible() || sub->isMinimized()) continue;
    TForm* form = nullptr;
    for (Entry& e : entries_)
      if (e.window == sub) form = e.form;
    int w = form && form->Width() > 0 ? form->Width() + 16 : 800;
    int h = form && form->Height() > 0 ? form->Height() + 40 : 560;
    sub->showNormal();
    int offset = step * (sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub) + 4);
    QSize room = mdi->viewport()->size();
    sub->setGeometry(offset, offset, std::max(200, std::min(w, room.width() - offset)),
                     std::max(150, std::min(h, room.height() - offset)));
    ++step;
  }
}

bool Shell::Screenshot(const std::string& path) {
  SyncAll();
  window_->show();
  QApplication::processEvents();
  SyncAll();
  QApplication::processEvents();
  QPixmap shot = window_->grab();
  // Dialogs open over the main window are part of what the user sees: each is drawn centred
  // over it, oldest first, with a title bar as a window manager would give it.
  QPainter painter(&shot);
  for (const Entry& e : entries_) {
    if (!e.window || qobject_cast<QMdiSubWindow*>(e.window.data()) || !e.window->isVisible())
      continue;
    const QPixmap dialog = e.window->grab();
    const int titleHeight = 24;
    const QPoint at((shot.width() - dialog.width()) / 2,
                    std::max(titleHeight, (shot.height() - dialog.height() + titleHeight) / 2));
    const QRect frame(at.x() - 1, at.y() - titleHeight, dialog.width() + 2,
                      dialog.height() + titleHeight + 1);
    painter.fillRect(frame.translated(5, 5), QColor(0, 0, 0, 70));
    painter.fillRect(frame, window_->palette().color(QPalette::Highlight));
    painter.setPen(window_->palette().color(QPalette::HighlightedText));
    painter.drawText(QRect(frame.x() + 8, frame.y(), frame.width() - 16, titleHeight),
                     Qt::AlignVCenter | Qt::AlignLeft, e.window->windowTitle());
    painter.drawPixmap(at, dialog);
  }
  painter.end();
  return shot.save(ToQ(path), "PNG");
}

}  // namespace ger::qt
