#include "ui/grids.h"

#include <algorithm>

#include "core/utf8.h"
#include "ui/dialogs.h"
#include "ui/forms.h"

namespace ger {

const ComponentClass TDBGrid::ClassInfo{"TDBGrid", &TControl::ClassInfo};
const ComponentClass& TDBGrid::Class() const {
  return ClassInfo;
}
const ComponentClass TDBNavigator::ClassInfo{"TDBNavigator", &TControl::ClassInfo};
const ComponentClass& TDBNavigator::Class() const {
  return ClassInfo;
}

namespace {
constexpr const char* kDeleteQuestion = "Excluir registro?";
}  // namespace

// --- TDBGrid ----------------------------------------------------------------------------------

class TDBGrid::Link : public TDataLink {
 public:
  explicit Link(TDBGrid& grid) : grid_(grid) {}
  void ActiveChanged() override { grid_.RecordChanged(); }
  void RecordChanged(TField* field) override {
    // A field written from code refreshes its own cell; the cell being edited in another column
    // keeps what the user typed.
    if (!field || field == grid_.SelectedField())
      grid_.RecordChanged();
    else
      grid_.Changed(ViewAspect::Content);
  }
  void EditingChanged() override {
    if (!Editing()) grid_.RecordChanged();
    grid_.Changed(ViewAspect::Content);
  }
  void LayoutChanged() override { grid_.Changed(ViewAspect::Content); }
  void UpdateData() override { grid_.CommitEdit(); }
  void StateChanged() override { grid_.Changed(ViewAspect::Content); }
  bool FocusControl(TField& field) override { return grid_.FocusField(field); }

 private:
  TDBGrid& grid_;
};

TDBGrid::TDBGrid(TComponent* owner, std::string name)
    : TControl(owner, std::move(name)), link_(std::make_unique<Link>(*this)) {
  SetColor(TColor::clWindow);
}

TDBGrid::~TDBGrid() = default;

TDataSource* TDBGrid::DataSource() const {
  return link_->DataSource();
}
void TDBGrid::SetDataSource(TDataSource* source) {
  link_->SetDataSource(source);
  Changed(ViewAspect::Content);
}
TDataSet* TDBGrid::DataSet() const {
  return link_->DataSet();
}

TColumn& TDBGrid::AddColumn(std::string fieldName, std::string title, int width) {
  TColumn& c = columns_.emplace_back();
  c.FieldName = std::move(fieldName);
  c.Title = std::move(title);
  c.Width = width;
  Changed(ViewAspect::Content);
  return c;
}

std::vector<TColumn*> TDBGrid::Columns() {
  std::vector<TColumn*> out;
  if (columns_.empty()) {
    // Without columns of its own the grid takes every visible field, once the dataset has them.
    if (TDataSet* ds = DataSet()) {
      for (int i = 0; i < ds->FieldCount(); ++i)
        if (ds->Field(i).Visible()) AddColumn(ds->Field(i).FieldName());
    }
  }
  for (TColumn& c : columns_)
    if (c.Visible) out.push_back(&c);
  return out;
}

std::vector<const TColumn*> TDBGrid::Columns() const {
  std::vector<const TColumn*> out;
  for (TColumn* c : const_cast<TDBGrid*>(this)->Columns()) out.push_back(c);
  return out;
}

TColumn* TDBGrid::Column(int index) {
  auto cols = Columns();
  return index >= 0 && index < static_cast<int>(cols.size()) ? cols[index] : nullptr;
}

TField* TDBGrid::ColumnField(int index) const {
  auto cols = Columns();
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || index < 0 || index >= static_cast<int>(cols.size())) return nullptr;
  return ds->FindField(cols[index]->FieldName);
}

std::string TDBGrid::ColumnTitle(int index) const {
  auto cols = Columns();
  if (index < 0 || index >= static_cast<int>(cols.size())) return {};
  if (!cols[index]->Title.empty()) return cols[index]->Title;
  TField* f = ColumnField(index);
  return f ? f->DisplayLabel() : cols[index]->FieldName;
}

TField* TDBGrid::SelectedField() const {
  return ColumnField(selected_);
}

void TDBGrid::SetSelectedField(const TField& field) {
  auto cols = Columns();
  for (int i = 0; i < static_cast<int>(cols.size()); ++i)
    if (utf8::SameText(cols[i]->FieldName, field.FieldName())) {
      SelectColumn(i);
      return;
    }
}

int TDBGrid::Row() const {
  TDataSet* ds = DataSet();
  return ds && ds->Active() ? ds->RecNo() - 1 : -1;
}

int TDBGrid::RowCount() const {
  TDataSet* ds = DataSet();
  return ds && ds->Active() ? ds->RecordCount() : 0;
}

std::vector<std::vector<std::string>> TDBGrid::CellTexts() const {
  std::vector<std::vector<std::string>> out;
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active()) return out;
  std::vector<TField*> fields;
  for (const TColumn* col : Columns()) fields.push_back(ds->FindField(col->FieldName));
  int current = ds->RecNo() - 1;
  int rows = ds->RecordCount();
  out.reserve(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    // Reading through a peek keeps the cursor where it is, so no scroll event reaches the
    // screen's handlers, and every row shows its get-text handlers' texts.
    TDataSet::RowPeek peek(*ds, r);
    std::vector<std::string> row;
    row.reserve(fields.size());
    for (int c = 0; c < static_cast<int>(fields.size()); ++c) {
      if (r == current && c == selected_ && editorActive_)
        row.push_back(editorText_);
      else
        row.push_back(fields[c] ? fields[c]->DisplayText() : std::string());
    }
    out.push_back(std::move(row));
  }
  return out;
}

void TDBGrid::CloseEditor() {
  editorActive_ = false;
  editorModified_ = false;
  editorText_.clear();
  editorCaret_ = 0;
}

void TDBGrid::RecordChanged() {
  CloseEditor();
  Changed(ViewAspect::Content);
}

EditMask TDBGrid::CellMask() const {
  TField* f = SelectedField();
  return f && f->Kind() == FieldKind::String ? EditMask(f->EditMask()) : EditMask();
}

void TDBGrid::CommitEdit() {
  if (!editorModified_) return;
  TField* f = SelectedField();
  if (!f) return;
  EditMask mask = CellMask();
  f->SetText(mask.IsEmpty() ? editorText_ : mask.Unformat(editorText_));
  CloseEditor();
  Changed(ViewAspect::Content);
}

bool TDBGrid::BeginEdit() {
  if (ReadOnly || !Options.Editing) return false;
  TColumn* col = Column(selected_);
  TField* f = SelectedField();
  if (!col || col->ReadOnly || !f || f->ReadOnly()) return false;
  TDataSet* ds = DataSet();
  if (!IsEditing(ds->State())) {
    if (!DataSource() || !DataSource()->Edit()) return false;
  }
  if (!editorActive_) {
    // The cell's text is selected when the editor opens, so the first key replaces it.
    EditMask mask = CellMask();
    editorActive_ = true;
    editorText_ = mask.IsEmpty() ? std::string() : mask.Format("");
    editorCaret_ = mask.IsEmpty() ? 0 : mask.NextInput(0);
  }
  return true;
}

void TDBGrid::SelectColumn(int index) {
  if (index < 0 || index >= ColumnCount() || index == selected_) return;
  CommitEdit();
  const bool handlers = !inColEnter_;
  if (handlers && OnColExit) OnColExit(*this);
  selected_ = index;
  CloseEditor();
  Changed(ViewAspect::Content);
  if (handlers && OnColEnter) {
    inColEnter_ = true;
    try {
      OnColEnter(*this);
    } catch (...) {
      inColEnter_ = false;
      throw;
    }
    inColEnter_ = false;
  }
}

void TDBGrid::SelectRow(int row) {
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || row < 0 || row >= ds->RecordCount()) return;
  CommitEdit();
  if (row != ds->RecNo() - 1) ds->SetRecNo(row + 1);
  CloseEditor();
  Changed(ViewAspect::Content);
}

bool TDBGrid::KeyPressCell(char32_t key) {
  if (TField* f = SelectedField()) key = f->TypedChar(key);
  if (OnKeyPress) OnKeyPress(*this, key);
  if (key == 0) return false;
  if (key == U'\r') {
    CommitEdit();
    return false;
  }
  const bool backspace = key == U'\b';
  if (key < 32 && !backspace) return false;  // Tab and Escape act when the key goes down
  TField* f = SelectedField();
  if (!backspace && f && !f->IsValidChar(key)) return false;
  if (!BeginEdit()) return false;
  EditMask mask = CellMask();
  if (!mask.IsEmpty()) {
    EditMask::Edit e = backspace ? mask.Backspace(editorText_, editorCaret_, 0)
                                 : mask.Type(editorText_, editorCaret_, 0, key);
    if (!e.accepted) return false;
    editorText_ = std::move(e.text);
    editorCaret_ = e.caret;
  } else if (backspace) {
    std::u32string text = utf8::Decode(editorText_);
    if (!text.empty()) text.pop_back();
    editorText_ = utf8::Encode(text);
  } else {
    if (f->Kind() == FieldKind::String && f->Size() > 0 &&
        static_cast<int>(utf8::Length(editorText_)) >= f->Size())
      return false;
    utf8::Append(editorText_, key);
  }
  editorModified_ = true;
  Changed(ViewAspect::Content);
  return true;
}

void TDBGrid::KeyDownCell(int& key, unsigned shift) {
  if (OnKeyDown) OnKeyDown(*this, key, shift);
  switch (key) {
    case Keys::VK_DELETE:
      if (shift & Keys::ssCtrl) {
        key = 0;
        DeleteRowByUser();
      }
      return;
    case Keys::VK_TAB: {
      if (!Options.Tabs || (shift & (Keys::ssCtrl | Keys::ssAlt))) return;
      const int next = selected_ + ((shift & Keys::ssShift) ? -1 : 1);
      if (next < 0 || next >= ColumnCount()) return;  // out of the grid: the form moves on
      key = 0;
      SelectColumn(next);
      return;
    }
    case Keys::VK_ESCAPE:
      key = 0;
      if (editorModified_) {
        RecordChanged();
      } else if (TDataSet* ds = DataSet(); ds && IsEditing(ds->State())) {
        ds->Cancel();
      }
      return;
    default:
      return;
  }
}

void TDBGrid::ChooseCell(const std::string& text) {
  if (!BeginEdit()) return;
  editorText_ = text;
  editorCaret_ = utf8::Length(text);
  editorModified_ = true;
  Changed(ViewAspect::Content);
}

void TDBGrid::PressCellButton() {
  TColumn* col = Column(selected_);
  if (!col || col->ButtonStyle != TColumnButtonStyle::cbsEllipsis) return;
  if (OnEditButtonClick) OnEditButtonClick(*this);
}

void TDBGrid::DeleteRowByUser() {
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty() || ReadOnly) return;
  if (Options.ConfirmDelete &&
      Application().Dialogs().MessageDlg(kDeleteQuestion, TMsgDlgType::mtConfirmation, mbOKCancel,
                                         0) != TModalResult::mrOk)
    return;
  RecordChanged();
  ds->Delete();
}

bool TDBGrid::FocusField(const TField& field) {
  if (!CanFocus()) return false;
  auto cols = Columns();
  auto it = std::find_if(cols.begin(), cols.end(), [&](const TColumn* c) {
    return utf8::SameText(c->FieldName, field.FieldName());
  });
  if (it == cols.end()) return false;
  SelectColumn(static_cast<int>(it - cols.begin()));
  if (!Focused()) SetFocus();
  return true;
}

void TDBGrid::DoExit() {
  CommitEdit();
  if (TDataSet* ds = DataSet();
      Options.CancelOnExit && ds && ds->State() == DataSetState::Insert && !ds->Modified())
    ds->Cancel();
  TControl::DoExit();
}

// --- TDBNavigator -----------------------------------------------------------------------------

class TDBNavigator::Link : public TDataLink {
 public:
  void ActiveChanged() override { ModelChanged(); }
  void EditingChanged() override { ModelChanged(); }
  void RecordChanged(TField*) override { ModelChanged(); }
  void StateChanged() override { ModelChanged(); }
};

TDBNavigator::TDBNavigator(TComponent* owner, std::string name)
    : TControl(owner, std::move(name)), link_(std::make_unique<Link>()) {}

TDBNavigator::~TDBNavigator() = default;

TDataSource* TDBNavigator::DataSource() const {
  return link_->DataSource();
}
void TDBNavigator::SetDataSource(TDataSource* source) {
  link_->SetDataSource(source);
  ModelChanged();
}

bool TDBNavigator::ButtonEnabled(TNavigateBtn button) const {
  TDataSet* ds = link_->DataSet();
  if (!Enabled() || !ds || !ds->Active()) return false;
  bool editing = IsEditing(ds->State());
  bool empty = ds->IsEmpty();
  int recNo = ds->RecNo(), count = ds->RecordCount();
  switch (button) {
    // Moving away from a record being edited would post it around the screen's own checks on
    // confirm (or cancel it silently): the moves wait until the edit is confirmed or cancelled.
    case TNavigateBtn::nbFirst:
    case TNavigateBtn::nbPrior:
      return !editing && !empty && recNo > 1;
    case TNavigateBtn::nbNext:
    case TNavigateBtn::nbLast:
      return !editing && !empty && recNo < count;
    case TNavigateBtn::nbInsert:
      return !editing;
    case TNavigateBtn::nbDelete:
    case TNavigateBtn::nbEdit:
      return !editing && !empty;
    case TNavigateBtn::nbPost:
    case TNavigateBtn::nbCancel:
      return editing;
    case TNavigateBtn::nbRefresh:
      return !editing;
  }
  return false;
}

void TDBNavigator::ClickButton(TNavigateBtn button) {
  if (!ButtonEnabled(button)) return;
  if (BeforeAction) BeforeAction(*this, button);
  TDataSet* ds = link_->DataSet();
  switch (button) {
    case TNavigateBtn::nbFirst:
      ds->First();
      break;
    case TNavigateBtn::nbPrior:
      ds->Prior();
      break;
    case TNavigateBtn::nbNext:
      ds->Next();
      break;
    case TNavigateBtn::nbLast:
      ds->Last();
      break;
    case TNavigateBtn::nbInsert:
      ds->Insert();
      break;
    case TNavigateBtn::nbEdit:
      ds->Edit();
      break;
    case TNavigateBtn::nbPost:
      ds->Post();
      break;
    case TNavigateBtn::nbCancel:
      ds->Cancel();
      break;
    case TNavigateBtn::nbRefresh:
      break;
    case TNavigateBtn::nbDelete:
      if (ConfirmDelete &&
          Application().Dialogs().MessageDlg(kDeleteQuestion, TMsgDlgType::mtConfirmation,
                                             mbOKCancel, 0) != TModalResult::mrOk)
        return;
      ds->Delete();
      break;
  }
  if (OnClickButton) OnClickButton(*this, button);
}

std::string_view NavigateBtnName(TNavigateBtn button) {
  static constexpr std::string_view kNames[] = {"first",  "prior", "next", "last",   "insert",
                                                "delete", "edit",  "post", "cancel", "refresh"};
  return kNames[static_cast<int>(button)];
}

}  // namespace ger
