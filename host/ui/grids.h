#pragma once
// The data-aware grid and the navigator bar.
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/editmask.h"
#include "data/datasource.h"
#include "ui/component.h"
#include "ui/listsearch.h"

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

  // Current cell. SelectedIndex is the current column; Row is the current row among the rows
  // shown (from 0; -1 when none).
  int SelectedIndex() const { return selected_; }
  TField* SelectedField() const;
  // Moves the current column as the user does (column-exit, then column-enter), from code; a
  // field the grid has no column for leaves it where it is.
  void SetSelectedField(const TField& field);
  int Row() const;
  // Rows shown.
  int RowCount() const;

  // What the grid shows of its dataset: the rows its filter lets through, in its order. The
  // dataset keeps every row in its own order and its cursor; the grid only picks and orders what
  // it shows, so Locate, the navigator and the record commands see every row. The current row is
  // always shown, matching or not: a company included, altered or found stays in view. Both are
  // worked out again whenever the dataset's rows change (a reload, a post, a delete).
  //
  // The columns the filter and the find read; empty: the grid's own columns, as texts.
  std::vector<ui::SearchColumn> SearchColumns;
  // Shows only the rows matching the text (listsearch.h); empty shows every row. A current row
  // that does not match the new text is not kept in view: it shows again once it is made
  // current anew or changed (an include, an edit, a save, a reload).
  void SetFilterText(const std::string& text);
  // The dataset row (from 0) matches the filter (every row does without one).
  bool Matches(int row) const;
  const std::string& FilterText() const { return filter_; }
  // Rows of the dataset, shown or not.
  int TotalCount() const;
  // A click on a column's title: ordered by it, a second click on the same title the other way.
  void TitleClick(int column);
  // The order from code: a column (-1: the dataset's own order) and its direction.
  void SetSortColumn(int column, bool descending = false);
  int SortColumn() const { return sortColumn_; }
  bool SortDescending() const { return sortDescending_; }
  // After a title click changed the order.
  Notify OnTitleClick;
  // Rows of the dataset (from 0, as RowPeek takes them) in the order shown: the rows shown, or
  // every row.
  std::vector<int> ShownRows() const;
  std::vector<int> OrderedRows() const;
  // The dataset row of a row shown; -1 when there is none.
  int DataRow(int row) const;
  // The first row (of the dataset, from 0) whose search columns hold the text, going through
  // every row in the grid's order from the current one (from the one after it, with `next`) and
  // from the top again past the last; `wrapped` tells whether it went round. Nothing when no row
  // holds it.
  std::optional<int> FindRow(std::string_view text, bool next, bool& wrapped) const;

  // Rows drawn apart from the others (a company changed on another seat while this one edits
  // it): asked of each dataset row (from 0, as RowPeek takes them) when a view reads the rows;
  // null marks none. The owner calls MarksChanged when what it marks changed.
  std::function<bool(int dataRow)> RowMarked;
  void MarksChanged();
  // The row shown (from 0) is marked.
  bool Marked(int row) const;

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
  struct Shown;
  // The caches of the filter and the order, brought up to date with the dataset.
  const Shown& View() const;
  std::vector<ui::SearchColumn> EffectiveSearchColumns() const;
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
  std::string filter_;
  // The current row when the filter left it out, and the dataset's generation then.
  mutable int hiddenRow_ = -1;
  std::uint64_t hiddenGeneration_ = 0;
  int sortColumn_ = -1;
  bool sortDescending_ = false;
  std::unique_ptr<Shown> shown_;
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
