#include "ui/grids.h"

#include <algorithm>
#include <numeric>

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

// The filter's and the order's work, each kept until what it was worked out from changes: the
// search keys and the sort keys until the dataset's rows change, the matches until the text
// does, the rows shown until any of those or the current row does.
struct TDBGrid::Shown {
  static constexpr std::uint64_t kNever = ~std::uint64_t{0};
  const TDataSet* dataset = nullptr;
  std::uint64_t keysGen = kNever;
  ui::RowKeys keys;
  std::uint64_t matchGen = kNever;
  std::string matchText;
  std::vector<char> matches;
  std::uint64_t orderGen = kNever;
  int orderColumn = -1;
  bool orderDescending = false;
  std::vector<int> order;
  std::uint64_t shownGen = kNever;
  std::string shownText;
  int shownColumn = -1;
  bool shownDescending = false;
  int shownCurrent = -2;
  std::vector<int> rows;      // dataset rows shown, in order
  std::vector<int> position;  // per dataset row: its row shown, -1 when hidden
};

TDBGrid::TDBGrid(TComponent* owner, std::string name)
    : TControl(owner, std::move(name)),
      link_(std::make_unique<Link>(*this)),
      shown_(std::make_unique<Shown>()) {
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
  if (!ds || !ds->Active()) return -1;
  const int current = ds->RecNo() - 1;
  const Shown& v = View();
  return current >= 0 && current < static_cast<int>(v.position.size())
             ? v.position[static_cast<std::size_t>(current)]
             : -1;
}

int TDBGrid::RowCount() const {
  TDataSet* ds = DataSet();
  return ds && ds->Active() ? static_cast<int>(View().rows.size()) : 0;
}

int TDBGrid::TotalCount() const {
  TDataSet* ds = DataSet();
  return ds && ds->Active() ? ds->RecordCount() : 0;
}

std::vector<ui::SearchColumn> TDBGrid::EffectiveSearchColumns() const {
  if (!SearchColumns.empty()) return SearchColumns;
  std::vector<ui::SearchColumn> out;
  for (const TColumn* c : Columns()) out.push_back({c->FieldName, false});
  return out;
}

const TDBGrid::Shown& TDBGrid::View() const {
  Shown& v = *shown_;
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active()) {
    v = Shown{};
    return v;
  }
  if (v.dataset != ds) {
    v = Shown{};
    v.dataset = ds;
  }
  const std::uint64_t gen = ds->Generation();
  const int count = ds->RecordCount();
  const ui::SearchText text(filter_);
  if (!text.Empty() && (v.matchGen != gen || v.matchText != filter_)) {
    if (v.keysGen != gen) {
      v.keys.Build(*ds, EffectiveSearchColumns());
      v.keysGen = gen;
    }
    v.matches.assign(static_cast<std::size_t>(count), 0);
    for (int r = 0; r < count; ++r)
      v.matches[static_cast<std::size_t>(r)] = v.keys.Matches(r, text);
    v.matchGen = gen;
    v.matchText = filter_;
  }
  if (v.orderGen != gen || v.orderColumn != sortColumn_ || v.orderDescending != sortDescending_) {
    v.order.resize(static_cast<std::size_t>(count));
    std::iota(v.order.begin(), v.order.end(), 0);
    TField* f = sortColumn_ >= 0 ? ColumnField(sortColumn_) : nullptr;
    if (f) {
      // Texts as shown, without regard to case and accents, then as shown, so the order is
      // total; rows that compare equal keep the dataset's order.
      std::vector<std::pair<std::string, std::string>> keys(static_cast<std::size_t>(count));
      for (int r = 0; r < count; ++r) {
        TDataSet::RowPeek peek(*ds, r);
        std::string shown = f->DisplayText();
        keys[static_cast<std::size_t>(r)] = {utf8::FoldKey(shown), std::move(shown)};
      }
      const bool descending = sortDescending_;
      std::stable_sort(v.order.begin(), v.order.end(), [&](int a, int b) {
        const auto& ka = keys[static_cast<std::size_t>(a)];
        const auto& kb = keys[static_cast<std::size_t>(b)];
        return descending ? kb < ka : ka < kb;
      });
    }
    v.orderGen = gen;
    v.orderColumn = sortColumn_;
    v.orderDescending = sortDescending_;
  }
  const int current = ds->RecNo() - 1;
  // Once another row was current, or the rows changed, the row left out shows again.
  if (hiddenRow_ != current || hiddenGeneration_ != gen) hiddenRow_ = -1;
  const int pinned = hiddenRow_ >= 0 ? -1 : current;
  if (v.shownGen != gen || v.shownText != filter_ || v.shownColumn != sortColumn_ ||
      v.shownDescending != sortDescending_ || v.shownCurrent != pinned) {
    v.rows.clear();
    v.position.assign(static_cast<std::size_t>(count), -1);
    for (int r : v.order) {
      if (!text.Empty() && r != pinned && !v.matches[static_cast<std::size_t>(r)]) continue;
      v.position[static_cast<std::size_t>(r)] = static_cast<int>(v.rows.size());
      v.rows.push_back(r);
    }
    v.shownGen = gen;
    v.shownText = filter_;
    v.shownColumn = sortColumn_;
    v.shownDescending = sortDescending_;
    v.shownCurrent = pinned;
  }
  return v;
}

std::vector<int> TDBGrid::ShownRows() const {
  return View().rows;
}

std::vector<int> TDBGrid::OrderedRows() const {
  return View().order;
}

int TDBGrid::DataRow(int row) const {
  const Shown& v = View();
  return row >= 0 && row < static_cast<int>(v.rows.size()) ? v.rows[static_cast<std::size_t>(row)]
                                                           : -1;
}

void TDBGrid::SetFilterText(const std::string& text) {
  if (text == filter_) return;
  filter_ = text;
  hiddenRow_ = -1;
  if (TDataSet* ds = DataSet(); ds && ds->Active() && !Matches(ds->RecNo() - 1)) {
    hiddenRow_ = ds->RecNo() - 1;
    hiddenGeneration_ = ds->Generation();
  }
  Changed(ViewAspect::Content);
}

bool TDBGrid::Matches(int row) const {
  const Shown& v = View();
  if (filter_.empty() || ui::SearchText(filter_).Empty()) return true;
  return row >= 0 && row < static_cast<int>(v.matches.size()) &&
         v.matches[static_cast<std::size_t>(row)] != 0;
}

void TDBGrid::SetSortColumn(int column, bool descending) {
  if (column < 0 || column >= ColumnCount()) column = -1;
  if (column == sortColumn_ && descending == sortDescending_) return;
  sortColumn_ = column;
  sortDescending_ = column >= 0 && descending;
  Changed(ViewAspect::Content);
}

void TDBGrid::TitleClick(int column) {
  if (column < 0 || column >= ColumnCount()) return;
  SetSortColumn(column, column == sortColumn_ && !sortDescending_);
  if (OnTitleClick) OnTitleClick(*this);
}

std::optional<int> TDBGrid::FindRow(std::string_view typed, bool next, bool& wrapped) const {
  wrapped = false;
  TDataSet* ds = DataSet();
  const ui::SearchText text(typed);
  if (!ds || !ds->Active() || ds->IsEmpty() || text.Empty()) return std::nullopt;
  const Shown& v = View();
  Shown& cache = *shown_;
  if (cache.keysGen != ds->Generation()) {
    cache.keys.Build(*ds, EffectiveSearchColumns());
    cache.keysGen = ds->Generation();
  }
  const int count = static_cast<int>(v.order.size());
  const int current = ds->RecNo() - 1;
  int start = 0;
  for (int i = 0; i < count; ++i)
    if (v.order[static_cast<std::size_t>(i)] == current) {
      start = next ? i + 1 : i;
      break;
    }
  for (int step = 0; step < count; ++step) {
    const int i = (start + step) % count;
    const int row = v.order[static_cast<std::size_t>(i)];
    if (cache.keys.Matches(row, text)) {
      wrapped = start + step >= count;
      return row;
    }
  }
  return std::nullopt;
}

std::vector<std::vector<std::string>> TDBGrid::CellTexts() const {
  std::vector<std::vector<std::string>> out;
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active()) return out;
  std::vector<TField*> fields;
  for (const TColumn* col : Columns()) fields.push_back(ds->FindField(col->FieldName));
  int current = ds->RecNo() - 1;
  const std::vector<int>& rows = View().rows;
  out.reserve(rows.size());
  for (int r : rows) {
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
  // A row the filter left out shows again once another row was current.
  if (TDataSet* ds = DataSet();
      hiddenRow_ >= 0 && (!ds || !ds->Active() || ds->RecNo() - 1 != hiddenRow_ ||
                          ds->Generation() != hiddenGeneration_))
    hiddenRow_ = -1;
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
  if (!ds || !ds->Active() || row < 0 || row >= RowCount()) return;
  // The dataset row is taken before the commit could change what is shown.
  const int target = DataRow(row);
  CommitEdit();
  if (target >= 0 && target != ds->RecNo() - 1) ds->SetRecNo(target + 1);
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

void TDBGrid::MarksChanged() {
  Changed(ViewAspect::Content);
}

bool TDBGrid::Marked(int row) const {
  const int data = DataRow(row);
  return RowMarked && data >= 0 && RowMarked(data);
}

}  // namespace ger
