#pragma once
// The data-aware grid and the navigator bar.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/editmask.h"
#include "data/datasource.h"
#include "ui/component.h"

namespace ger {

class TDBGrid;

enum class TColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };

// A grid column bound to a field by name. A pick list gives the cell a list of choices; the
// ellipsis style gives the cell a button (the grid's edit-button-click event).
struct TColumn {
  std::string FieldName;
  std::string Title;  // the field's label when empty
  int Width = 64;
  bool ReadOnly = false;
  bool Visible = true;
  std::vector<std::string> PickList;
  TColumnButtonStyle ButtonStyle = TColumnButtonStyle::cbsAuto;
};

struct TDBGridOptions {
  bool Editing = true;
  bool Titles = true;
  bool Tabs = false;          // Tab moves between columns
  bool ConfirmDelete = true;  // Ctrl+Delete asks first
  bool CancelOnExit = true;   // leaving the grid cancels an untouched new row
  bool RowSelect = false;
};

class TDBGrid : public TControl {
 public:
  explicit TDBGrid(TComponent* owner = nullptr, std::string name = {});
  ~TDBGrid() override;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  bool GrowsDown() const override { return true; }

  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* source);
  void SetDataSource(TDataSource& source) { SetDataSource(&source); }
  TDataSet* DataSet() const;

  // Columns. With none added the grid shows every visible field of the dataset.
  TColumn& AddColumn(std::string fieldName, std::string title = {}, int width = 64);
  std::vector<TColumn*> Columns();
  std::vector<const TColumn*> Columns() const;
  int ColumnCount() const { return static_cast<int>(Columns().size()); }
  TColumn* Column(int index);
  std::string ColumnTitle(int index) const;
  TField* ColumnField(int index) const;

  TDBGridOptions Options;
  bool ReadOnly = false;

  // Current cell. SelectedIndex is the current column; Row is the dataset's current row (from 0).
  int SelectedIndex() const { return selected_; }
  TField* SelectedField() const;
  // Moves the current column as the user does (column-exit, then column-enter), from code; a
  // field the grid has no column for leaves it where it is.
  void SetSelectedField(const TField& field);
  int Row() const;
  int RowCount() const;

  // The texts of every cell, row by row, as shown: each row through the fields' get-text
  // handlers (read without moving the cursor), the cell being edited with its editor text.
  std::vector<std::vector<std::string>> CellTexts() const;
  bool EditorActive() const { return editorActive_; }
  const std::string& EditorText() const { return editorText_; }

  // Events with the platform's names.
  Notify OnColEnter, OnColExit, OnEditButtonClick, OnCellClick;
  std::function<void(TComponent& sender, char32_t& key)> OnKeyPress;

  // User gestures (the gestures module calls them). Each may raise; see the platform rules:
  // moving the column or the row first commits the cell being edited. A column change made while
  // the column-enter handler runs (a check sending the user back to a cell) moves the column
  // without running the handler again.
  void SelectColumn(int index);
  void SelectRow(int row);
  // A typed character, after OnKeyPress (which may discard it): Enter commits the cell, Backspace
  // removes a character, others go into the cell under the field's edit mask.
  bool KeyPressCell(char32_t key);
  // A key going down, after OnKeyDown: Tab and Shift+Tab move the column (with Options.Tabs),
  // Escape puts the cell back or cancels the row's edit, Ctrl+Delete deletes the row. A key the
  // grid acted on is set to 0; others (Tab out of the last column) are left to the form.
  void KeyDownCell(int& key, unsigned shift);
  // The input entry points of a control are the cell's.
  bool KeyPress(char32_t key) override { return KeyPressCell(key); }
  void KeyDown(int& key, unsigned shift) override { KeyDownCell(key, shift); }
  bool WantsReturn() const override { return true; }  // Enter commits the cell
  // Picks an entry of the current column's pick list ("grid choose").
  void ChooseCell(const std::string& text);
  // Presses the current cell's button; nothing when the column has none.
  void PressCellButton();
  // Ctrl+Delete: deletes the current row, asking first when ConfirmDelete is set.
  void DeleteRowByUser();

  // Commits the cell being edited to its field (also done by the dataset's post).
  void CommitEdit();

  bool TakesFocus() const override { return true; }
  void DoExit() override;
  // Focuses the grid on the field's column (TField::FocusControl).
  bool FocusField(const TField& field);

 private:
  class Link;
  bool BeginEdit();
  void RecordChanged();
  void CloseEditor();
  // The edit mask of the cell being edited (empty for a field without one).
  EditMask CellMask() const;
  std::unique_ptr<Link> link_;
  std::deque<TColumn> columns_;
  int selected_ = 0;
  bool editorActive_ = false;
  bool editorModified_ = false;
  bool inColEnter_ = false;
  // The editor's text as shown (a masked cell with its literals and blanks) and its caret.
  std::string editorText_;
  std::size_t editorCaret_ = 0;
};

enum class TNavigateBtn {
  nbFirst,
  nbPrior,
  nbNext,
  nbLast,
  nbInsert,
  nbDelete,
  nbEdit,
  nbPost,
  nbCancel,
  nbRefresh
};

// Buttons that move through and edit the dataset of a data source. It never takes the focus.
class TDBNavigator : public TControl {
 public:
  explicit TDBNavigator(TComponent* owner = nullptr, std::string name = {});
  ~TDBNavigator() override;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* source);
  void SetDataSource(TDataSource& source) { SetDataSource(&source); }
  std::vector<TNavigateBtn> VisibleButtons{TNavigateBtn::nbFirst, TNavigateBtn::nbPrior,
                                           TNavigateBtn::nbNext, TNavigateBtn::nbLast};
  bool ConfirmDelete = true;
  bool ButtonEnabled(TNavigateBtn button) const;
  // Runs the button's action (disabled: nothing); BeforeAction may abort.
  void ClickButton(TNavigateBtn button);
  std::function<void(TComponent&sender, TNavigateBtn button)> BeforeAction, OnClickButton;

 private:
  class Link;
  std::unique_ptr<Link> link_;
};

std::string_view NavigateBtnName(TNavigateBtn button);

}  // namespace ger
