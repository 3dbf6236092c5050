#pragma once
// The desktop shell around the renderer: the main window (menu bar, tool bar, MDI area, status
// bar), one FormView per shown model form, the Qt dialogs, and the nested Qt event loop of modal
// forms. It installs itself into the application object and takes it back on destruction.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QPointer>

#include "core/blocking.h"
#include "qtdialogs.h"
#include "renderer.h"

class QEventLoop;
class QMdiArea;
class QMdiSubWindow;
class QLabel;
class QToolBar;
class QProgressBar;

namespace ger::qt {

class Shell;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(Shell& shell);
  QMdiArea* Mdi() const { return mdi_; }
  QToolBar* Tools() const { return tools_; }
  QLabel* ServerLabel() const { return server_; }
  // The moving bar shown while a server call lasts.
  QProgressBar* WaitBar() const { return wait_; }
  // What the MDI area shows while no screen is open: the screens the user can open.
  QWidget* StartPage() const { return start_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Shell& shell_;
  QMdiArea* mdi_;
  QToolBar* tools_;
  QLabel* server_;
  QProgressBar* wait_;
  QWidget* start_;
};

class Shell : public QObject, public GestureSink {
  Q_OBJECT
 public:
  Shell();
  ~Shell() override;

  MainWindow& Window() { return *window_; }
  QtDialogs& Dialogs() { return *dialogs_; }
  std::shared_ptr<QtDialogs> SharedDialogs() { return dialogs_; }

  void Perform(TForm& form, const std::function<void()>& gesture) override;
  // Reads the model into every window: new forms get a window, gone forms lose theirs.
  void SyncAll();
  // The status bar's server, module and the person signed in.
  void SyncSignedIn();
  FormView* ViewOf(const TForm& form) const;
  // The top-level window or MDI sub-window showing the form.
  QWidget* WindowOf(const TForm& form) const;
  // The MDI child whose menus and tool buttons the main window shows.
  TForm* CurrentChild() const;
  // Closes every form as its close box would; false when one refused.
  bool CloseAll();
  // Renders the main window to a PNG file; false when the file cannot be written.
  bool Screenshot(const std::string& path);

  // A screen the user can open from the menu and the start page (the module's creators); the
  // opening runs as a gesture.
  void AddScreen(const QString& caption, const QString& name, std::function<void()> open);
  // Window menu: every open screen at its own size, one below and right of the other.
  void Cascade();
  // Runs work that waits on the server on another thread while the windows keep painting and
  // the user's input is refused (the runner of blocking::Run while the shell exists).
  void Wait(const blocking::Work& work);
  bool Waiting() const { return waiting_ > 0; }
  // Runs the calls other threads posted to the application, once no gesture is under way.
  void RunPosted();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Entry {
    TForm* form;
    QPointer<FormView> view;
    QPointer<QWidget> window;  // the MDI sub-window or the top-level window
  };
  void Open(TForm& form);
  void SyncMenus();
  void SyncTools();
  void ScheduleSync();
  void RunModal(TForm& form);
  void SyncStartPage();
  struct Screen {
    QString caption;
    QString name;
    std::function<void()> open;
  };
  std::vector<Screen> screens_;

  std::unique_ptr<MainWindow> window_;
  std::shared_ptr<QtDialogs> dialogs_;
  std::vector<Entry> entries_;
  std::vector<std::pair<TForm*, QEventLoop*>> loops_;
  std::map<QAction*, TMenuItem*> menuActions_;
  std::map<QAction*, TSpeedButton*> toolActions_;
  TForm* menuForm_ = nullptr;
  std::string menuSignature_;
  bool syncPending_ = false;
  int syncDepth_ = 0;
  int waiting_ = 0;
  blocking::Runner previousRunner_;
};

}  // namespace ger::qt
