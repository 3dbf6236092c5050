#pragma once
// Every dialog the screens open, as one interface. The Qt shell shows real dialogs; the scripted
// implementation below answers from queues (tests and the scenario runner) and writes the text
// of every message dialog to a log.
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "core/value.h"
#include "ui/stdctrls.h"

namespace ger {

class TDataSet;
class TDataSource;
class TForm;
namespace report {
struct Document;
}

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : unsigned {
  mbYes = 1,
  mbNo = 2,
  mbOK = 4,
  mbCancel = 8,
  mbAbort = 16,
  mbRetry = 32,
  mbIgnore = 64,
  mbHelp = 128
};
using TMsgDlgButtons = unsigned;  // an or of TMsgDlgBtn
inline constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
inline constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;

namespace ui {

enum class Cursor { crDefault, crHourGlass };

struct FileDialogOptions {
  std::string filter;  // "Description|*.ext|..." pairs
  std::string title;
  std::string initialDir;
  std::string defaultExt;
  std::string fileName;
};

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  // A message with buttons; the answer is the button pressed.
  virtual TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                                  int helpContext) = 0;
  // A pick list over the rows of the data source's dataset (not empty); the chosen row, from 0.
  virtual std::optional<int> PickList(TDataSource& source, const std::string& title) = 0;
  // The text the user looks for in the dataset; nothing when the dialog was cancelled.
  virtual std::optional<std::string> FindText(TDataSet& dataset) = 0;
  virtual std::optional<std::string> OpenFile(const FileDialogOptions& options) = 0;
  virtual std::optional<std::string> SaveFile(const FileDialogOptions& options) = 0;
  // The report designer over a template file.
  virtual void EditReport(const std::string& file, DateTime when) = 0;
  // The wait animation; kind as the screens pass it (0 connecting, 6 loading).
  virtual void ShowAvi(TForm* over, int kind) = 0;
  virtual void HideAvi() = 0;
  virtual void SetCursor(Cursor cursor) = 0;
  // Puts the text on the system's clipboard (a list's "Copiar"), for the user to paste elsewhere.
  virtual void CopyToClipboard(const std::string& text) = 0;
  virtual void ShowHelp(const std::string& file, int context) = 0;
  // A long task: a progress indication with a cancel button. A toolkit may wait a moment before
  // showing it, so that quick tasks do not flash. StepProgress answers false once the user has
  // cancelled; the task then stops and calls EndProgress.
  virtual void BeginProgress(const std::string& text, int total) = 0;
  virtual bool StepProgress(int done, int total) = 0;
  virtual void EndProgress() = 0;
  // The system's print dialog (printer, pages, copies), then the pages to the printer; false
  // when the user cancelled the dialog.
  virtual bool PrintReport(const report::Document& document) = 0;
};

// A progress indication for the length of a scope; Step raises the silent abort once the user
// has cancelled, so a task ends where it stands and its scopes clean up.
class ProgressScope {
 public:
  ProgressScope(IDialogs& dialogs, const std::string& text, int total = 0);
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  void Step(int done, int total);

 private:
  IDialogs& dialogs_;
};

// A scripted answer was needed and none was queued, or the queued one does not fit: a fault of
// the script, reported by the runner, never shown as a dialog.
class EScriptError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// A gesture that the user could not make (a disabled or hidden control, an unknown entry).
class EGestureError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class ScriptedDialogs : public IDialogs {
 public:
  struct PickCancel {};
  using PickAnswer = std::variant<int, std::string, PickCancel>;

  // Queues.
  void Answer(TModalResult answer) { answers_.push_back(answer); }
  void Pick(PickAnswer answer) { picks_.push_back(std::move(answer)); }
  void File(std::optional<std::string> path) { files_.push_back(std::move(path)); }
  // The next print dialog is answered with OK (true) or Cancel; OK when none is queued.
  void Print(bool accept) { prints_.push_back(accept); }
  // The user cancels the next progress indication once it has made `steps` steps.
  void CancelProgress(int steps = 0) { cancelAfter_ = steps; }
  void Find(std::optional<std::string> text) { finds_.push_back(std::move(text)); }
  bool QueuesEmpty() const;
  void ClearQueues();

  // The message log, oldest first.
  const std::vector<std::string>& Log() const { return log_; }
  // The oldest unread message, then marked read; nothing when all were read.
  std::optional<std::string> NextMessage();
  std::size_t UnreadCount() const { return log_.size() - read_; }
  void ClearLog();

  // What the other dialogs were asked to do.
  struct ReportEdit {
    std::string file;
    DateTime when;
  };
  const std::vector<ReportEdit>& ReportsEdited() const { return reports_; }
  bool AviShown() const { return aviOn_; }
  int AviKind() const { return aviKind_; }
  int AviCount() const { return aviCount_; }
  Cursor CurrentCursor() const { return cursor_; }
  // What the last copy put on the clipboard.
  const std::string& Clipboard() const { return clipboard_; }
  const std::vector<std::pair<std::string, int>>& HelpRequests() const { return help_; }
  const std::vector<std::string>& PickTitles() const { return pickTitles_; }
  // Reports sent to the printer: title and number of pages.
  struct Printed {
    std::string title;
    int pages;
  };
  const std::vector<Printed>& PrintedReports() const { return printed_; }
  // Progress indications begun (their texts), and whether one is shown now.
  const std::vector<std::string>& ProgressTexts() const { return progressTexts_; }
  bool ProgressShown() const { return progressOn_; }

  TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                          int helpContext) override;
  std::optional<int> PickList(TDataSource& source, const std::string& title) override;
  std::optional<std::string> FindText(TDataSet& dataset) override;
  std::optional<std::string> OpenFile(const FileDialogOptions& options) override;
  std::optional<std::string> SaveFile(const FileDialogOptions& options) override;
  void EditReport(const std::string& file, DateTime when) override;
  void ShowAvi(TForm* over, int kind) override;
  void HideAvi() override;
  void SetCursor(Cursor cursor) override { cursor_ = cursor; }
  void CopyToClipboard(const std::string& text) override { clipboard_ = text; }
  void ShowHelp(const std::string& file, int context) override;
  void BeginProgress(const std::string& text, int total) override;
  bool StepProgress(int done, int total) override;
  void EndProgress() override;
  bool PrintReport(const report::Document& document) override;

 private:
  std::deque<TModalResult> answers_;
  std::deque<PickAnswer> picks_;
  std::deque<std::optional<std::string>> files_;
  std::deque<std::optional<std::string>> finds_;
  std::vector<std::string> log_;
  std::size_t read_ = 0;
  std::vector<ReportEdit> reports_;
  std::vector<std::pair<std::string, int>> help_;
  std::vector<std::string> pickTitles_;
  std::deque<bool> prints_;
  std::vector<Printed> printed_;
  std::vector<std::string> progressTexts_;
  std::optional<int> cancelAfter_;
  int progressSteps_ = 0;
  bool progressOn_ = false;
  bool aviOn_ = false;
  int aviKind_ = -1;
  int aviCount_ = 0;
  Cursor cursor_ = Cursor::crDefault;
  std::string clipboard_;
};

}  // namespace ui
}  // namespace ger
