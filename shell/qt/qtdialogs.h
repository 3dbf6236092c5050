#pragma once
// The dialog service of the UI model shown with Qt: message boxes with Portuguese buttons, the
// pick list with filter-as-you-type, the find dialog, file dialogs, the busy indicator, the
// hourglass cursor, help and the report designer (the desktop's default application).
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QDialog>
#include <QPointer>
#include <QProgressDialog>
#include <QWidget>

#include "ui/dialogs.h"
#include "ui/picklist.h"

class QLineEdit;
class QTableWidget;

namespace ger::qt {

// The captions of the buttons, in Portuguese.
QString ButtonCaption(TMsgDlgBtn button);
// The title of a message box of each type.
QString DialogTitle(TMsgDlgType type);

// The pick list as its own dialog, so that tests reach its table and filter.
class PickListDialog : public QDialog {
  Q_OBJECT
 public:
  PickListDialog(TDataSource& source, const QString& title, QWidget* parent = nullptr);
  // The row of the dataset on the current line of the table; nothing when no line is shown.
  std::optional<int> ChosenRow() const;
  QLineEdit* Filter() const { return filter_; }
  QTableWidget* Table() const { return table_; }
  // Shows only the rows with the text in some column (letter case and accents ignored).
  void ApplyFilter(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* filter_;
  QTableWidget* table_;
  ui::PickListModel model_;
};

class HelpWindow;

class QtDialogs : public ui::IDialogs {
 public:
  // Parent of the dialogs: the main window, when there is one.
  explicit QtDialogs(std::function<QWidget*()> parent = {});
  ~QtDialogs() override;

  TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                          int helpContext) override;
  std::optional<int> PickList(TDataSource& source, const std::string& title) override;
  std::optional<std::string> FindText(TDataSet& dataset) override;
  std::optional<std::string> OpenFile(const ui::FileDialogOptions& options) override;
  std::optional<std::string> SaveFile(const ui::FileDialogOptions& options) override;
  void EditReport(const std::string& file, DateTime when) override;
  void ShowAvi(TForm* over, int kind) override;
  void HideAvi() override;
  void SetCursor(ui::Cursor cursor) override;
  void CopyToClipboard(const std::string& text) override;
  void ShowHelp(const std::string& file, int context) override;
  // The guide in the help window (helpwindow.h); over a modal dialog, as a modal window of its
  // own so that it takes input. The dialogs install it as the model's help viewer.
  void ShowHelpTopic(const std::string& file, const std::string& topic);
  // The help window while it exists (not over a modal dialog).
  HelpWindow* Help() const { return help_.get(); }
  // Report progress and printing (qtdialogs_report.cpp).
  void BeginProgress(const std::string& text, int total) override;
  bool StepProgress(int done, int total) override;
  void EndProgress() override;
  bool PrintReport(const report::Document& document) override;

  bool BusyShown() const { return busy_ != nullptr; }
  QProgressDialog* Progress() const { return progress_; }
  bool HourGlass() const { return overridden_; }
  // Opens a file with the desktop's default application; replaced by tests that must not start
  // programs.
  std::function<bool(const QString& path)> OpenWithDesktop;

 private:
  QWidget* Parent() const;
  // The open and save dialogs: in the folder the screen names, else the one used last, else the
  // user's documents; wide enough for its columns, dates in Portuguese.
  std::optional<std::string> FileDialog(const ui::FileDialogOptions& options, bool save);
  // The help window at the topic as a modal window over `parent` (a dialog waiting for the user).
  void HelpOver(QWidget* parent, const std::string& topic);
  std::function<QWidget*()> parent_;
  QString lastDir_;
  QPointer<QWidget> busy_;
  QPointer<QProgressDialog> progress_;
  bool overridden_ = false;
  std::unique_ptr<HelpWindow> help_;
};

}  // namespace ger::qt
