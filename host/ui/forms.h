#pragma once
// Forms and the application object.
//
// A form keeps its focused control (ActiveControl); moving the focus runs the old control's exit
// (which may fail: the focus then stays, or stays where the exit handler put it) and the new
// control's enter. The application keeps the forms, the active form, the dialog service, the
// host settings, the modal-loop hook and the top-level exception handler that wraps every
// gesture, and tells a toolkit when the model changed so that it reads its views again.
#include <chrono>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/dialogs.h"
#include "ui/stdctrls.h"

namespace ger {

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm };

class TForm : public TControl {
 public:
  explicit TForm(std::string name, TComponent* owner = nullptr);
  ~TForm() override;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  TForm* OwnerForm() const override { return const_cast<TForm*>(this); }

  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState state);
  TFormStyle FormStyle = TFormStyle::fsNormal;
  std::string HelpFile;
  int HelpContext = 0;
  bool KeyPreview = false;

  // Focus.
  TControl* ActiveControl() const { return active_; }
  // Moves the focus as the program or a click does: the old control's exit runs first (an
  // exception leaves the focus where it is, or where the exit handler put it, and goes on), then
  // the new control's enter. Null removes the focus. False when the exit handler moved the
  // focus elsewhere. Raises EInvalidOperation for a control that cannot take the focus.
  bool FocusControl(TControl* target);
  void SetActiveControl(TControl* target) { FocusControl(target); }
  // Enter or Escape that the focused control leaves to the form: Enter clicks the default button,
  // Escape the cancel button (when showing and enabled). True when the form took the key.
  virtual bool DialogKey(TControl& from, int key, unsigned shift);
  // The next (or previous) control in tab order that can take the focus, after `from`.
  TControl* FindNextControl(TControl* from, bool forward) const;
  // Called by a control that is going away or losing its place.
  void ForgetControl(TControl* control);

  // Showing and closing.
  void Show();
  void Hide();
  // Runs the application's modal loop until the form closes; the form's modal result.
  TModalResult ShowModal();
  bool Modal() const { return modal_; }
  TModalResult ModalResult() const { return modalResult_; }
  // While modal, a result other than none closes the form.
  void SetModalResult(TModalResult result);
  // Close query, then the close handler with its action; an exception keeps the form open and
  // goes on. Free releases the form (the application destroys it when the gesture ends).
  void Close();
  bool Released() const { return released_; }

  // Run once after construction by TApplication::CreateForm (an exception in it is shown by the
  // application's handler; the form stays).
  void DoCreate();
  void Activate();

  Notify OnCreate, OnShow, OnActivate, OnDeactivate, OnDestroy, OnHide;
  std::function<void(TComponent& sender, TCloseAction& action)> OnClose;
  std::function<void(TComponent& sender, bool& canClose)> OnCloseQuery;

  // Datasets and data sources of the form, found by name (the scenario runner names them).
  void RegisterDataSet(TDataSet& dataset);
  void RegisterDataSource(TDataSource& source);
  TDataSet* FindDataSet(std::string_view name) const;
  TDataSource* FindDataSource(std::string_view name) const;

 private:
  void MoveFocus(TControl* target);
  TControl* active_ = nullptr;
  bool exiting_ = false;
  TWindowState windowState_ = TWindowState::wsNormal;
  bool modal_ = false;
  bool released_ = false;
  TModalResult modalResult_ = TModalResult::mrNone;
  std::vector<TDataSet*> datasets_;
  std::vector<TDataSource*> sources_;
};

// Host settings, from the command line of a shell or a settings file.
struct HostSettings {
  // The application server: a host name (plain HTTP on webPort) or a URL, "http://NAME[:PORT]"
  // or "https://NAME[:PORT]" (core/server_url.h).
  std::string webUrl = "127.0.0.1";
  int webPort = 8200;
  std::string caFile;            // for https: the authorities' PEM file; empty, the system's
  std::string reportDir;         // folder of report templates
  std::string moduloAtiv = "G";  // one-character code of the active host module
  std::string databaseUrl;       // "sqlite:PATH" or "postgresql://..."
  std::string token;             // bearer token for the application server
  int callTimeout = 30;          // seconds a call to the application server may take in all
  // An open screen follows the other seats' saves as they happen (a watcher asks the server to
  // tell it of each change). Off by default; the desktop host turns it on.
  bool liveList = false;

  // "key=value" lines ("#" comments); keys: web_url, web_port, ca_file, report_dir, module,
  // database, token, token_file (the token read from that file, which only its owner may read),
  // call_timeout, live_list (1 or 0). Raises Exception naming the line for an unknown key, a bad
  // address or port, or a CA file that cannot be read.
  void LoadFile(const std::string& path);
  void Set(const std::string& key, const std::string& value);
  // "--key=value" or "--key value" arguments with the same keys (dashes or underscores);
  // unknown arguments are returned for the caller.
  std::vector<std::string> ParseArgs(const std::vector<std::string>& args);
};

class TApplication {
 public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Forms. CreateForm constructs, adopts and runs the form's creation step.
  template <class F, class... Args>
  F& CreateForm(Args&&... args) {
    auto form = std::make_unique<F>(std::forward<Args>(args)...);
    F& ref = *form;
    Adopt(std::move(form));
    ref.DoCreate();
    return ref;
  }
  void Adopt(std::unique_ptr<TForm> form);
  // Forms that exist (not released), in creation order; forms not adopted count once shown.
  std::vector<TForm*> Forms() const;
  TForm* FindForm(std::string_view name) const;
  bool FormExists(const TForm* form) const;
  TForm* ActiveForm() const { return activeForm_; }
  void SetActiveForm(TForm* form);
  TControl* FocusedControl() const;
  TForm* MainForm = nullptr;

  // Called by forms.
  void Register(TForm* form);
  void Unregister(TForm* form);
  void Release(TForm* form);
  // Destroys released forms; only outside any gesture or modal loop.
  void ProcessReleases();

  // The top-level handler. Guard runs one gesture: the silent abort shows nothing, any other
  // exception is shown once in an error dialog; false when the gesture raised. Script and
  // gesture faults (ui::EScriptError, ui::EGestureError) go on to the caller.
  bool Guard(const std::function<void()>& gesture);
  void HandleException(std::exception_ptr error);
  int GestureDepth() const { return depth_; }

  // Dialogs.
  ui::IDialogs& Dialogs() { return *dialogs_; }
  void SetDialogs(std::shared_ptr<ui::IDialogs> dialogs);
  // The scripted dialogs when they are in use; null otherwise.
  ui::ScriptedDialogs* Scripted() const;

  // The nested loop of a modal form: returns when the form is no longer modal. The default runs
  // the queued ModalActions one by one (each as a gesture) and raises ui::EScriptError when the
  // queue runs dry with the form still open.
  std::function<void(TForm&)> RunModalLoop;
  std::deque<std::function<void(TForm&)>> ModalActions;

  HostSettings Settings;

  // The time of the user's keys, which only the pauses between them read (a list's search by
  // prefix); tests and the scenario runner put in a clock of their own.
  std::function<std::chrono::steady_clock::time_point()> Clock;

  // A change of the model at large: a toolkit reads its views again (see ui/view.h).
  void Changed();
  std::function<void()> OnModelChanged;

  // Calls handed over by other threads (a watcher's news), run on the UI thread in the order
  // posted. Post is safe from any thread; it calls the waker, on the posting thread, so that a
  // toolkit's loop wakes and calls RunPosted. Without a waker the calls wait until someone runs
  // them (tests and the scenario runner do so only when they ask for it). RunPosted runs what was
  // posted before it began, each as a gesture; the number run.
  void Post(std::function<void()> call);
  int RunPosted();
  std::size_t PostedCount() const;
  void SetPostedWaker(std::function<void()> waker);

  // Requests to refresh the host's local copy of a table, counted per table name.
  std::map<std::string, int> CacheRefreshes;
  std::function<void(const std::string& table)> OnRefreshLocalCache;

  // Back to a fresh application: forms destroyed, scripted dialogs, default settings, counters
  // cleared (tests and the scenario runner start each case with it).
  void Reset();

 private:
  friend class GestureScope;
  std::vector<std::unique_ptr<TForm>> owned_;
  std::vector<TForm*> forms_;
  std::vector<std::unique_ptr<TForm>> pending_;
  TForm* activeForm_ = nullptr;
  std::shared_ptr<ui::IDialogs> dialogs_;
  int depth_ = 0;
  bool processing_ = false;
  mutable std::mutex postedMutex_;
  std::deque<std::function<void()>> posted_;
  std::function<void()> postedWaker_;
};

TApplication& Application();

// Marks a gesture or modal loop in progress, so released forms outlive it.
class GestureScope {
 public:
  GestureScope();
  ~GestureScope();
  GestureScope(const GestureScope&) = delete;
  GestureScope& operator=(const GestureScope&) = delete;
};

}  // namespace ger
