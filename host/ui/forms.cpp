#include "ui/forms.h"

#include <algorithm>
#include <charconv>
#include <fstream>

#include "core/secret_file.h"
#include "core/server_url.h"
#include "core/utf8.h"
#include "data/datasource.h"
#include "ui/comctrls.h"

namespace ger {

namespace {
// Controls of the form in tab order: depth first through the parents, siblings by tab order
// (then by creation).
void Collect(const TControl* parent, std::vector<TControl*>& out) {
  std::vector<TControl*> children = parent->Controls();
  std::stable_sort(children.begin(), children.end(),
                   [](TControl* a, TControl* b) { return a->TabOrder() < b->TabOrder(); });
  for (TControl* c : children) {
    out.push_back(c);
    Collect(c, out);
  }
}
}  // namespace

// --- TForm ------------------------------------------------------------------------------------

TForm::TForm(std::string name, TComponent* owner) : TControl(owner, std::move(name)) {
  SetVisible(false);
  Application().Register(this);
}

TForm::~TForm() {
  if (OnDestroy) {
    try {
      OnDestroy(*this);
    } catch (...) {
      // A destructor cannot report; the form is going away either way.
    }
  }
  Application().Unregister(this);
}

const ComponentClass TForm::ClassInfo{"TForm", &TControl::ClassInfo};
const ComponentClass& TForm::Class() const {
  return ClassInfo;
}

void TForm::SetWindowState(TWindowState state) {
  if (windowState_ == state) return;
  windowState_ = state;
  Changed(ViewAspect::Look);
}

bool TForm::FocusControl(TControl* target) {
  if (target == active_) return true;
  if (target && (target == this || !target->CanFocus()))
    throw EInvalidOperation("Não é possível dar o foco a um controle desabilitado ou invisível ('" +
                            (target ? target->Name() : std::string()) + "').");
  if (exiting_) {
    // An exit handler moving the focus: no second exit of the control being left.
    MoveFocus(target);
    if (target) target->DoEnter();
    return true;
  }
  if (TControl* old = active_) {
    exiting_ = true;
    try {
      old->DoExit();
    } catch (...) {
      exiting_ = false;
      ModelChanged();
      throw;
    }
    exiting_ = false;
    if (active_ != old) return false;
  }
  MoveFocus(target);
  if (target) target->DoEnter();
  return true;
}

void TForm::MoveFocus(TControl* target) {
  TControl* old = active_;
  active_ = target;
  if (old) old->Changed(ViewAspect::Current);
  if (target) target->Changed(ViewAspect::Current);
  ModelChanged();
}

TControl* TForm::FindNextControl(TControl* from, bool forward) const {
  std::vector<TControl*> all;
  Collect(this, all);
  std::vector<TControl*> stops;
  for (TControl* c : all)
    if (c->TabStop() && c->CanFocus() && !dynamic_cast<TPageControl*>(c)) stops.push_back(c);
  if (stops.empty()) return nullptr;
  auto it = std::find(stops.begin(), stops.end(), from);
  if (it == stops.end()) return forward ? stops.front() : stops.back();
  std::ptrdiff_t i = it - stops.begin();
  std::ptrdiff_t n = static_cast<std::ptrdiff_t>(stops.size());
  return stops[((forward ? i + 1 : i - 1) % n + n) % n];
}

namespace {
TControl* FindButton(const TControl& parent, bool isDefault) {
  for (TControl* c : parent.Controls()) {
    if (!c->Visible() || !c->Enabled()) continue;
    if (isDefault ? c->IsDefaultButton() : c->IsCancelButton()) return c;
    if (TControl* found = FindButton(*c, isDefault)) return found;
  }
  return nullptr;
}
}  // namespace

bool TForm::DialogKey(TControl&, int key, unsigned shift) {
  if (shift & (Keys::ssCtrl | Keys::ssAlt)) return false;
  if (key != Keys::VK_RETURN && key != Keys::VK_ESCAPE) return false;
  TControl* button = FindButton(*this, key == Keys::VK_RETURN);
  if (!button || !button->Showing()) return false;
  // As a click: a push button takes the focus first, so the focused box commits and exits.
  if (button->TakesFocus() && !FocusControl(button)) return true;
  button->Click();
  return true;
}

void TForm::ForgetControl(TControl* control) {
  if (active_ == control) active_ = nullptr;
}

void TForm::Show() {
  if (released_) return;
  SetVisible(true);
  if (windowState_ == TWindowState::wsMinimized) SetWindowState(TWindowState::wsNormal);
  if (OnShow) OnShow(*this);
  Activate();
}

void TForm::Activate() {
  TApplication& app = Application();
  if (app.ActiveForm() == this) return;
  if (TForm* previous = app.ActiveForm(); previous && previous->OnDeactivate)
    previous->OnDeactivate(*previous);
  app.SetActiveForm(this);
  if (OnActivate) OnActivate(*this);
}

void TForm::Hide() {
  if (!Visible()) return;
  SetVisible(false);
  if (OnHide) OnHide(*this);
  TApplication& app = Application();
  if (app.ActiveForm() == this) {
    TForm* next = nullptr;
    for (TForm* f : app.Forms())
      if (f != this && f->Visible()) next = f;
    app.SetActiveForm(next);
  }
}

TModalResult TForm::ShowModal() {
  if (modal_) throw EInvalidOperation("O formulário '" + Name() + "' já está aberto.");
  TApplication& app = Application();
  TForm* previous = app.ActiveForm();
  modalResult_ = TModalResult::mrNone;
  modal_ = true;
  GestureScope scope;
  Show();
  try {
    if (app.RunModalLoop) {
      app.RunModalLoop(*this);
    } else {
      while (modal_) {
        if (app.ModalActions.empty())
          throw ui::EScriptError("O formulário modal '" + Name() +
                                 "' continua aberto e não há mais ações para ele.");
        auto action = std::move(app.ModalActions.front());
        app.ModalActions.pop_front();
        app.Guard([&] { action(*this); });
      }
    }
  } catch (...) {
    modal_ = false;
    throw;
  }
  modal_ = false;
  if (previous && previous != this && app.FormExists(previous)) app.SetActiveForm(previous);
  return modalResult_;
}

void TForm::SetModalResult(TModalResult result) {
  modalResult_ = result;
  if (modal_ && result != TModalResult::mrNone) Close();
}

void TForm::Close() {
  if (released_) return;
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(*this, canClose);
  if (!canClose) {
    modalResult_ = TModalResult::mrNone;
    return;
  }
  TCloseAction action = FormStyle == TFormStyle::fsMDIChild && !modal_ ? TCloseAction::caMinimize
                                                                       : TCloseAction::caHide;
  if (OnClose) OnClose(*this, action);  // an exception keeps the form open
  if (action == TCloseAction::caNone) {
    modalResult_ = TModalResult::mrNone;
    return;
  }
  if (modal_) {
    if (modalResult_ == TModalResult::mrNone) modalResult_ = TModalResult::mrCancel;
    modal_ = false;
  }
  switch (action) {
    case TCloseAction::caMinimize:
      SetWindowState(TWindowState::wsMinimized);
      break;
    case TCloseAction::caHide:
      Hide();
      break;
    case TCloseAction::caFree:
      Hide();
      released_ = true;
      Application().Release(this);
      break;
    case TCloseAction::caNone:
      break;
  }
}

void TForm::DoCreate() {
  try {
    if (OnCreate) OnCreate(*this);
  } catch (...) {
    // As the platform does: the error is shown, the form exists all the same.
    Application().HandleException(std::current_exception());
  }
}

void TForm::RegisterDataSet(TDataSet& dataset) {
  datasets_.push_back(&dataset);
}
void TForm::RegisterDataSource(TDataSource& source) {
  sources_.push_back(&source);
}

TDataSet* TForm::FindDataSet(std::string_view name) const {
  for (TDataSet* d : datasets_)
    if (utf8::SameText(d->Name(), name)) return d;
  return nullptr;
}

TDataSource* TForm::FindDataSource(std::string_view name) const {
  for (TDataSource* s : sources_)
    if (utf8::SameText(s->Name(), name)) return s;
  return nullptr;
}

// --- HostSettings -----------------------------------------------------------------------------

void HostSettings::Set(const std::string& rawKey, const std::string& value) {
  std::string key = rawKey;
  std::replace(key.begin(), key.end(), '-', '_');
  if (key == "web_url") {
    if (!ParseServerUrl(value, webPort))
      throw Exception("Invalid server address '" + value +
                      "': expected a host name, http://NAME[:PORT] or https://NAME[:PORT].");
    webUrl = value;
  } else if (key == "ca_file") {
    if (!value.empty() && !std::ifstream(value))
      throw Exception("Cannot read the CA file '" + value + "'.");
    caFile = value;
  } else if (key == "web_port") {
    int port = 0;
    auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
    if (ec != std::errc() || p != value.data() + value.size() || port <= 0 || port > 65535)
      throw Exception("Invalid web port '" + value + "': expected a number from 1 to 65535.");
    webPort = port;
  } else if (key == "report_dir") {
    reportDir = value;
  } else if (key == "module") {
    if (utf8::Length(value) != 1)
      throw Exception("Invalid module '" + value + "': expected one character.");
    moduloAtiv = value;
  } else if (key == "database") {
    databaseUrl = value;
  } else if (key == "token") {
    token = value;
  } else if (key == "call_timeout") {
    int seconds = 0;
    auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (ec != std::errc() || p != value.data() + value.size() || seconds < 1 || seconds > 3600)
      throw Exception("Invalid call timeout '" + value +
                      "': expected a number of seconds from 1 to 3600.");
    callTimeout = seconds;
  } else if (key == "live_list") {
    if (value != "0" && value != "1")
      throw Exception("Invalid live list setting '" + value + "': expected 1 or 0.");
    liveList = value == "1";
  } else if (key == "token_file") {
    try {
      token = ReadTokenFile(value);
    } catch (const std::runtime_error& e) {
      throw Exception(e.what());
    }
  } else {
    throw Exception("Unknown host setting '" + rawKey + "'.");
  }
}

void HostSettings::LoadFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw Exception("Cannot read the host settings file '" + path + "'.");
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string_view text = utf8::Trim(line);
    if (text.empty() || text.front() == '#') continue;
    auto eq = text.find('=');
    if (eq == std::string_view::npos)
      throw Exception(path + ":" + std::to_string(number) + ": expected key=value.");
    std::string key(utf8::Trim(text.substr(0, eq)));
    std::replace(key.begin(), key.end(), '-', '_');
    // A token written in the settings is kept as a token file is.
    if (key == "token")
      if (std::string mode = ModeReadableByOthers(path); !mode.empty())
        throw Exception(path + ":" + std::to_string(number) +
                        ": the file holds a token and can be read by other users (mode " + mode +
                        "); make it readable by its owner only (chmod 600), or give the token "
                        "in a token_file");
    try {
      Set(std::string(utf8::Trim(text.substr(0, eq))),
          std::string(utf8::Trim(text.substr(eq + 1))));
    } catch (const Exception& e) {
      throw Exception(path + ":" + std::to_string(number) + ": " + e.Message());
    }
  }
}

std::vector<std::string> HostSettings::ParseArgs(const std::vector<std::string>& args) {
  static const std::vector<std::string> kKeys = {
      "web_url",  "web_port", "ca_file",    "report_dir",   "module",
      "database", "token",    "token_file", "call_timeout", "live_list"};
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      rest.push_back(arg);
      continue;
    }
    std::string body = arg.substr(2);
    std::string key = body, value;
    bool hasValue = false;
    if (auto eq = body.find('='); eq != std::string::npos) {
      key = body.substr(0, eq);
      value = body.substr(eq + 1);
      hasValue = true;
    }
    std::string norm = key;
    std::replace(norm.begin(), norm.end(), '-', '_');
    if (std::find(kKeys.begin(), kKeys.end(), norm) == kKeys.end()) {
      rest.push_back(arg);
      continue;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) throw Exception("Missing value for --" + key + ".");
      value = args[++i];
    }
    Set(norm, value);
  }
  return rest;
}

// --- TApplication -----------------------------------------------------------------------------

TApplication::TApplication() : dialogs_(std::make_shared<ui::ScriptedDialogs>()) {}

TApplication::~TApplication() {
  processing_ = true;
  pending_.clear();
  owned_.clear();
}

TApplication& Application() {
  static TApplication app;
  return app;
}

void TApplication::Adopt(std::unique_ptr<TForm> form) {
  owned_.push_back(std::move(form));
}

void TApplication::Register(TForm* form) {
  forms_.push_back(form);
}

void TApplication::Unregister(TForm* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  if (activeForm_ == form) activeForm_ = nullptr;
  if (MainForm == form) MainForm = nullptr;
  Changed();
}

std::vector<TForm*> TApplication::Forms() const {
  std::vector<TForm*> out;
  for (TForm* f : forms_)
    if (!f->Released()) out.push_back(f);
  return out;
}

TForm* TApplication::FindForm(std::string_view name) const {
  for (TForm* f : Forms())
    if (utf8::SameText(f->Name(), name)) return f;
  return nullptr;
}

bool TApplication::FormExists(const TForm* form) const {
  for (TForm* f : Forms())
    if (f == form) return true;
  return false;
}

void TApplication::SetActiveForm(TForm* form) {
  activeForm_ = form;
  Changed();
}

TControl* TApplication::FocusedControl() const {
  return activeForm_ ? activeForm_->ActiveControl() : nullptr;
}

void TApplication::Release(TForm* form) {
  if (activeForm_ == form) activeForm_ = nullptr;
  auto it = std::find_if(owned_.begin(), owned_.end(),
                         [form](const std::unique_ptr<TForm>& f) { return f.get() == form; });
  if (it != owned_.end()) {
    pending_.push_back(std::move(*it));
    owned_.erase(it);
  }
  // Destroyed later (end of the gesture, or ProcessReleases): the caller may be running inside
  // one of the form's own handlers.
  Changed();
}

void TApplication::ProcessReleases() {
  if (depth_ > 0 || processing_) return;
  processing_ = true;
  while (!pending_.empty()) {
    auto doomed = std::move(pending_);
    pending_.clear();
    doomed.clear();
  }
  processing_ = false;
}

GestureScope::GestureScope() {
  ++Application().depth_;
}
GestureScope::~GestureScope() {
  TApplication& app = Application();
  if (--app.depth_ == 0) app.ProcessReleases();
}

bool TApplication::Guard(const std::function<void()>& gesture) {
  bool completed = false;
  {
    GestureScope scope;
    try {
      gesture();
      completed = true;
    } catch (const ui::EScriptError&) {
      throw;
    } catch (const ui::EGestureError&) {
      throw;
    } catch (...) {
      HandleException(std::current_exception());
    }
  }
  Changed();
  return completed;
}

void TApplication::HandleException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    // The silent abort: whoever raised it has told the user already.
  } catch (const ui::EScriptError&) {
    throw;
  } catch (const ui::EGestureError&) {
    throw;
  } catch (const std::exception& e) {
    dialogs_->MessageDlg(e.what(), TMsgDlgType::mtError, mbOK, 0);
  } catch (...) {
    dialogs_->MessageDlg("Erro desconhecido.", TMsgDlgType::mtError, mbOK, 0);
  }
}

void TApplication::SetDialogs(std::shared_ptr<ui::IDialogs> dialogs) {
  dialogs_ = dialogs ? std::move(dialogs) : std::make_shared<ui::ScriptedDialogs>();
}

ui::ScriptedDialogs* TApplication::Scripted() const {
  return dynamic_cast<ui::ScriptedDialogs*>(dialogs_.get());
}

void TApplication::Changed() {
  if (OnModelChanged) OnModelChanged();
}

void TApplication::Post(std::function<void()> call) {
  // The waker is called under the lock, so that a toolkit taking it away (SetPostedWaker with
  // null) is never called after it did.
  std::lock_guard lock(postedMutex_);
  posted_.push_back(std::move(call));
  if (postedWaker_) postedWaker_();
}

int TApplication::RunPosted() {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard lock(postedMutex_);
    calls.swap(posted_);
  }
  for (auto& call : calls) Guard(call);
  return static_cast<int>(calls.size());
}

std::size_t TApplication::PostedCount() const {
  std::lock_guard lock(postedMutex_);
  return posted_.size();
}

void TApplication::SetPostedWaker(std::function<void()> waker) {
  std::lock_guard lock(postedMutex_);
  postedWaker_ = std::move(waker);
}

void TApplication::Reset() {
  {
    std::lock_guard lock(postedMutex_);
    posted_.clear();
  }
  processing_ = true;
  pending_.clear();
  // Destroying a form may destroy others it owns; take them out one at a time.
  while (!owned_.empty()) {
    auto form = std::move(owned_.back());
    owned_.pop_back();
    form.reset();
  }
  processing_ = false;
  activeForm_ = nullptr;
  MainForm = nullptr;
  dialogs_ = std::make_shared<ui::ScriptedDialogs>();
  RunModalLoop = nullptr;
  ModalActions.clear();
  Settings = HostSettings{};
  CacheRefreshes.clear();
  OnRefreshLocalCache = nullptr;
  OnModelChanged = nullptr;
  Clock = nullptr;
  depth_ = 0;
  Changed();
}

}  // namespace ger
