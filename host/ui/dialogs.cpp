#include "ui/dialogs.h"

#include "data/datasource.h"
#include "report/document.h"
#include "ui/forms.h"

namespace ger::ui {

namespace {
TMsgDlgButtons Bit(TModalResult r) {
  switch (r) {
    case TModalResult::mrYes:
      return mbYes;
    case TModalResult::mrNo:
      return mbNo;
    case TModalResult::mrOk:
      return mbOK;
    case TModalResult::mrCancel:
      return mbCancel;
    case TModalResult::mrAbort:
      return mbAbort;
    case TModalResult::mrRetry:
      return mbRetry;
    case TModalResult::mrIgnore:
      return mbIgnore;
    case TModalResult::mrNone:
      return 0;
  }
  return 0;
}

TModalResult SoleAnswer(TMsgDlgButtons buttons) {
  for (TModalResult r :
       {TModalResult::mrOk, TModalResult::mrYes, TModalResult::mrNo, TModalResult::mrCancel,
        TModalResult::mrAbort, TModalResult::mrRetry, TModalResult::mrIgnore})
    if (buttons & Bit(r)) return r;
  return TModalResult::mrOk;
}

int ButtonCount(TMsgDlgButtons buttons) {
  int n = 0;
  for (unsigned b = buttons & ~static_cast<unsigned>(mbHelp); b; b &= b - 1) ++n;
  return n;
}
}  // namespace

ProgressScope::ProgressScope(IDialogs& dialogs, const std::string& text, int total)
    : dialogs_(dialogs) {
  dialogs_.BeginProgress(text, total);
}

ProgressScope::~ProgressScope() {
  dialogs_.EndProgress();
}

void ProgressScope::Step(int done, int total) {
  if (!dialogs_.StepProgress(done, total)) Abort();
}

bool ScriptedDialogs::QueuesEmpty() const {
  return answers_.empty() && picks_.empty() && files_.empty() && finds_.empty() &&
         prints_.empty() && !cancelAfter_;
}

void ScriptedDialogs::ClearQueues() {
  answers_.clear();
  picks_.clear();
  files_.clear();
  finds_.clear();
  prints_.clear();
  cancelAfter_.reset();
}

std::optional<std::string> ScriptedDialogs::NextMessage() {
  if (read_ >= log_.size()) return std::nullopt;
  return log_[read_++];
}

void ScriptedDialogs::ClearLog() {
  log_.clear();
  read_ = 0;
}

TModalResult ScriptedDialogs::MessageDlg(const std::string& text, TMsgDlgType,
                                         TMsgDlgButtons buttons, int) {
  log_.push_back(text);
  if (ButtonCount(buttons) <= 1) {
    // A notice needs no answer; a queued answer naming its one button is taken.
    TModalResult only = SoleAnswer(buttons);
    if (!answers_.empty() && answers_.front() == only) answers_.pop_front();
    return only;
  }
  if (answers_.empty())
    throw EScriptError("A dialog asked \"" + text + "\" and no answer was queued.");
  TModalResult answer = answers_.front();
  answers_.pop_front();
  if (!(buttons & Bit(answer)))
    throw EScriptError("The queued answer does not fit the dialog \"" + text + "\".");
  return answer;
}

std::optional<int> ScriptedDialogs::PickList(TDataSource& source, const std::string& title) {
  pickTitles_.push_back(title);
  if (picks_.empty())
    throw EScriptError("A pick list \"" + title + "\" opened and no pick was queued.");
  PickAnswer answer = std::move(picks_.front());
  picks_.pop_front();
  if (std::holds_alternative<PickCancel>(answer)) return std::nullopt;
  TDataSet* ds = source.DataSet();
  int count = ds ? ds->RecordCount() : 0;
  if (auto* index = std::get_if<int>(&answer)) {
    if (*index < 0 || *index >= count)
      throw EScriptError("Pick " + std::to_string(*index) + " is out of the list \"" + title +
                         "\" of " + std::to_string(count) + " rows.");
    return *index;
  }
  // The first row whose first shown column holds the text as stored.
  const std::string& text = std::get<std::string>(answer);
  int column = 0;
  for (int i = 0; i < ds->FieldCount(); ++i)
    if (ds->Field(i).Visible()) {
      column = i;
      break;
    }
  DataPacket rows = ds->Data();
  for (std::size_t r = 0; r < rows.rows.size(); ++r) {
    const Value& v = rows.rows[r].at(column);
    if (auto* s = std::get_if<std::string>(&v); s && *s == text) return static_cast<int>(r);
  }
  throw EScriptError("No row of the pick list \"" + title + "\" holds \"" + text + "\".");
}

std::optional<std::string> ScriptedDialogs::FindText(TDataSet& dataset) {
  if (finds_.empty())
    throw EScriptError("A find dialog opened over '" + dataset.Name() +
                       "' and no text was queued.");
  auto text = std::move(finds_.front());
  finds_.pop_front();
  return text;
}

std::optional<std::string> ScriptedDialogs::OpenFile(const FileDialogOptions& options) {
  if (files_.empty())
    throw EScriptError("A file dialog opened (" + options.filter + ") and no file was queued.");
  auto path = std::move(files_.front());
  files_.pop_front();
  return path;
}

std::optional<std::string> ScriptedDialogs::SaveFile(const FileDialogOptions& options) {
  return OpenFile(options);
}

void ScriptedDialogs::EditReport(const std::string& file, DateTime when) {
  reports_.push_back({file, when});
}

void ScriptedDialogs::ShowAvi(TForm*, int kind) {
  aviOn_ = true;
  aviKind_ = kind;
  ++aviCount_;
}

void ScriptedDialogs::HideAvi() {
  aviOn_ = false;
}

void ScriptedDialogs::ShowHelp(const std::string& file, int context) {
  help_.emplace_back(file, context);
}

void ScriptedDialogs::BeginProgress(const std::string& text, int) {
  progressTexts_.push_back(text);
  progressOn_ = true;
  progressSteps_ = 0;
}

bool ScriptedDialogs::StepProgress(int, int) {
  if (cancelAfter_ && progressSteps_ >= *cancelAfter_) {
    cancelAfter_.reset();
    return false;
  }
  ++progressSteps_;
  return true;
}

void ScriptedDialogs::EndProgress() {
  progressOn_ = false;
}

bool ScriptedDialogs::PrintReport(const report::Document& document) {
  bool accept = true;
  if (!prints_.empty()) {
    accept = prints_.front();
    prints_.pop_front();
  }
  if (accept) printed_.push_back({document.title, static_cast<int>(document.pages.size())});
  return accept;
}

}  // namespace ger::ui
