#include "ui/dbctrls.h"

#include <algorithm>

#include "core/ptbr.h"
#include "core/scoped_flag.h"
#include "core/utf8.h"
#include "ui/forms.h"

namespace ger {

const ComponentClass TDBEdit::ClassInfo{"TDBEdit", &TCustomEdit::ClassInfo};
const ComponentClass& TDBEdit::Class() const {
  return ClassInfo;
}
const ComponentClass TDBDateEdit::ClassInfo{"TDBDateEdit", &TDBEdit::ClassInfo};
const ComponentClass& TDBDateEdit::Class() const {
  return ClassInfo;
}
const ComponentClass TDBMemo::ClassInfo{"TDBMemo", &TMemo::ClassInfo};
const ComponentClass& TDBMemo::Class() const {
  return ClassInfo;
}
const ComponentClass TDBComboBox::ClassInfo{"TDBComboBox", &TComboBox::ClassInfo};
const ComponentClass& TDBComboBox::Class() const {
  return ClassInfo;
}
const ComponentClass TDBCheckBox::ClassInfo{"TDBCheckBox", &TCheckBox::ClassInfo};
const ComponentClass& TDBCheckBox::Class() const {
  return ClassInfo;
}
const ComponentClass TDBRadioGroup::ClassInfo{"TDBRadioGroup", &TRadioGroup::ClassInfo};
const ComponentClass& TDBRadioGroup::Class() const {
  return ClassInfo;
}

namespace {
bool Writable(TFieldDataLink& link) {
  TField* f = link.Field();
  if (!f || f->ReadOnly()) return false;
  return link.Edit();
}
}  // namespace

// --- TDBEdit ----------------------------------------------------------------------------------

TDBEdit::TDBEdit(TComponent* owner, std::string name) : TCustomEdit(owner, std::move(name)) {
  link_.OnDataChange = [this] { DataChange(); };
  link_.OnUpdateData = [this] { UpdateData(); };
  link_.OnActiveChange = [this] {
    ApplyMaskLayout();
    DataChange();
  };
  link_.OnLayoutChange = [this] {
    ApplyMaskLayout();
    if (!link_.IsModified()) DataChange();
  };
  link_.OnEditingChange = [] { ModelChanged(); };
}

const std::string& TDBEdit::EditMask() const {
  return ownMask_.empty() ? fieldMask_ : ownMask_;
}

void TDBEdit::SetEditMask(std::string mask) {
  ownMask_ = std::move(mask);
  ApplyMaskLayout();
  if (!link_.IsModified()) DataChange();
}

void TDBEdit::ApplyMaskLayout() {
  TField* f = Field();
  fieldMask_ = f ? f->EditMask() : std::string();
  if (mask_.Text() != EditMask()) mask_ = ger::EditMask(EditMask());
  if (f && f->Kind() == FieldKind::String) SetMaxLength(f->Size());
  ModelChanged();
}

std::string TDBEdit::UnmaskedText() const {
  return mask_.IsEmpty() ? Text() : mask_.Unformat(Text());
}

std::string TDBEdit::ObservedText() const {
  if (mask_.IsEmpty()) return Text();
  std::u32string shown = utf8::Decode(Text()), kept;
  for (std::size_t i = 0; i < shown.size() && i < mask_.Length(); ++i)
    if (mask_.Positions()[i].kind != EditMask::Kind::Literal)
      kept.push_back(shown[i] == mask_.Blank() ? U' ' : shown[i]);
  while (!kept.empty() && kept.back() == U' ') kept.pop_back();
  return utf8::Encode(kept);
}

bool TDBEdit::MaskComplete() const {
  return mask_.IsEmpty() || mask_.IsComplete(Text());
}

bool TDBEdit::CanModify() {
  return !ReadOnly() && Writable(link_);
}

bool TDBEdit::AcceptsChar(char32_t ch) {
  TField* f = Field();
  return !f || f->IsValidChar(ch);
}

namespace {
// Applies a mask edit to the box; false when the mask refused it.
template <class Box>
bool ApplyEdit(Box& box, const EditMask::Edit& edit) {
  if (!edit.accepted) return false;
  std::u32string text = utf8::Decode(edit.text);
  if (text == box.RawText()) {
    box.SetSelStart(static_cast<int>(edit.caret));
    return false;
  }
  box.Replace(std::move(text), static_cast<int>(edit.caret));
  return true;
}
}  // namespace

bool TDBEdit::InsertChar(char32_t ch) {
  if (mask_.IsEmpty()) return TCustomEdit::InsertChar(ch);
  return ApplyEdit(*this, mask_.Type(Text(), SelStart(), SelLength(), ch));
}

bool TDBEdit::InsertText(const std::u32string& text) {
  if (mask_.IsEmpty()) return TCustomEdit::InsertText(text);
  // A paste into a masked box types its characters from the caret on: literals are skipped and
  // what no position takes is left out.
  std::string shown = Text();
  std::size_t caret = static_cast<std::size_t>(SelStart());
  std::size_t selection = static_cast<std::size_t>(SelLength());
  bool any = false;
  for (char32_t ch : text) {
    EditMask::Edit edit = mask_.Type(shown, caret, selection, ch);
    if (!edit.accepted) continue;
    shown = std::move(edit.text);
    caret = edit.caret;
    selection = 0;
    any = true;
  }
  if (!any) return false;
  return ApplyEdit(*this, EditMask::Edit{true, shown, caret});
}

bool TDBEdit::DeleteBack() {
  if (mask_.IsEmpty()) return TCustomEdit::DeleteBack();
  return ApplyEdit(*this, mask_.Backspace(Text(), SelStart(), SelLength()));
}

bool TDBEdit::DeleteForward() {
  if (mask_.IsEmpty()) return TCustomEdit::DeleteForward();
  return ApplyEdit(*this, mask_.Delete(Text(), SelStart(), SelLength()));
}

void TDBEdit::Replace(std::u32string text, int caret) {
  SetRaw(std::move(text), caret);
  Change();
}

bool TDBEdit::KeyPress(char32_t key) {
  // Before the screen's key handler, so that its comma rule judges the point as a comma.
  if (TField* f = Field()) key = f->TypedChar(key);
  return TCustomEdit::KeyPress(key);
}
void TDBEdit::KeyDown(int& key, unsigned shift) {
  TCustomEdit::KeyDown(key, shift);
}

void TDBEdit::ClearByUser() {
  if (mask_.IsEmpty()) return TCustomEdit::ClearByUser();
  if (!CanModify()) return;
  std::u32string blank = utf8::Decode(mask_.Format(""));
  if (blank == Raw()) return;
  Replace(std::move(blank), 0);
}

void TDBEdit::PasteByUser(const std::string& text) {
  if (mask_.IsEmpty()) return TCustomEdit::PasteByUser(text);
  if (!CanModify()) return;
  std::u32string value = utf8::Decode(mask_.TypeAll(text));
  if (value == Raw()) return;
  Replace(std::move(value), -1);
}

void TDBEdit::Escape() {
  if (!link_.IsModified()) return;
  link_.Reset();
  SelectAll();
}

void TDBEdit::Change() {
  // The program writing the box while the record is edited counts as a change to commit; a
  // browsed record has nothing to commit into.
  if (!refreshing_ && link_.Editing()) link_.Modified();
  TCustomEdit::Change();
}

void TDBEdit::DataChange() {
  TField* f = Field();
  // A box bound to a field that already had its mask takes it now.
  if ((f ? f->EditMask() : std::string()) != fieldMask_) ApplyMaskLayout();
  std::string text;
  // A masked box formats the stored text itself: a field's own display text would already carry
  // its mask.
  const bool ownMask = !mask_.IsEmpty() && f && f->Kind() == FieldKind::String && !f->OnGetText;
  if (f) text = focused_ || ownMask ? f->Text() : f->DisplayText();
  if (!mask_.IsEmpty() && (focused_ || !text.empty() || !maskOnlyWhenFocused_))
    text = mask_.Format(text);
  ScopedFlag guard(refreshing_);
  std::u32string value = utf8::Decode(text);
  if (value == Raw()) return;
  AssignText(value);
  TCustomEdit::Change();
}

void TDBEdit::UpdateData() {
  if (TField* f = Field()) f->SetText(UnmaskedText());
}

int TDBEdit::EndCaret() const {
  if (mask_.IsEmpty()) return TCustomEdit::EndCaret();
  const std::u32string& cells = Raw();
  const auto& positions = mask_.Positions();
  std::size_t end = 0;
  bool filled = false;
  for (std::size_t i = 0; i < cells.size() && i < positions.size(); ++i) {
    if (positions[i].kind != EditMask::Kind::Literal && cells[i] != mask_.Blank()) {
      end = i + 1;
      filled = true;
    }
  }
  return static_cast<int>(filled ? end : mask_.NextInput(0));
}

void TDBEdit::DoEnter() {
  focused_ = true;
  if (!link_.IsModified()) DataChange();
  TCustomEdit::DoEnter();
}

void TDBEdit::DoExit() {
  if (Committable()) {
    try {
      link_.UpdateRecord();
    } catch (...) {
      SelectAll();
      throw;
    }
  }
  focused_ = false;
  if (!link_.IsModified()) DataChange();
  TCustomEdit::DoExit();
}

// --- TDBDateEdit ------------------------------------------------------------------------------

TDBDateEdit::TDBDateEdit(TComponent* owner, std::string name) : TDBEdit(owner, std::move(name)) {
  // The box shows dd/mm/aaaa while it is filled; its text keeps the slashes, so what it commits
  // (or keeps, when impossible) reads as a date.
  maskOnlyWhenFocused_ = true;
  SetEditMask("99/99/0000;1;_");
}

bool TDBDateEdit::IsEmpty() const {
  std::string text = UnmaskedText();
  for (char c : text)
    if (c != ' ' && c != '/' && c != '_') return false;
  return true;
}

bool TDBDateEdit::IsDateValid() const {
  if (IsEmpty()) return true;
  // Without the mask's blanks, so that a two-digit year ("01/02/05__") reads as a date.
  return ptbr::ParseDate(utf8::Trim(UnmaskedText())).has_value();
}

void TDBDateEdit::UpdateData() {
  TField* f = Field();
  if (!f) return;
  if (IsEmpty()) {
    f->SetText("");
  } else if (IsDateValid()) {
    f->SetText(std::string(utf8::Trim(UnmaskedText())));
  } else {
    // Only a post gets here (leaving the box does not commit it): saving the record without the
    // date the user typed would lose it silently. The box keeps its text and stays modified.
    throw EConvertError("'" + Text() + "' não é uma data válida.");
  }
}

bool TDBDateEdit::Committable() const {
  return IsDateValid();
}

// --- TDBMemo ----------------------------------------------------------------------------------

TDBMemo::TDBMemo(TComponent* owner, std::string name) : TMemo(owner, std::move(name)) {
  link_.OnDataChange = [this] { DataChange(); };
  link_.OnUpdateData = [this] {
    if (TField* f = Field()) f->SetText(Text());
  };
  link_.OnActiveChange = [this] { DataChange(); };
  link_.OnEditingChange = [] { ModelChanged(); };
}

bool TDBMemo::CanModify() {
  return !ReadOnly() && Writable(link_);
}

void TDBMemo::Escape() {
  if (link_.IsModified()) link_.Reset();
}

void TDBMemo::Change() {
  if (!refreshing_ && link_.Editing()) link_.Modified();
  TMemo::Change();
}

void TDBMemo::DataChange() {
  TField* f = Field();
  ScopedFlag guard(refreshing_);
  std::u32string value = utf8::Decode(f ? f->Text() : std::string());
  if (value == Raw()) return;
  AssignText(value);
  TMemo::Change();
}

void TDBMemo::DoEnter() {
  TMemo::DoEnter();
}

void TDBMemo::DoExit() {
  link_.UpdateRecord();
  TMemo::DoExit();
}

bool TDBMemo::KeyPress(char32_t key) {
  return TMemo::KeyPress(key);
}
void TDBMemo::KeyDown(int& key, unsigned shift) {
  TMemo::KeyDown(key, shift);
}
void TDBMemo::ClearByUser() {
  TMemo::ClearByUser();
}
void TDBMemo::PasteByUser(const std::string& text) {
  TMemo::PasteByUser(text);
}

// --- TDBComboBox ------------------------------------------------------------------------------

TDBComboBox::TDBComboBox(TComponent* owner, std::string name) : TComboBox(owner, std::move(name)) {
  link_.OnDataChange = [this] { DataChange(); };
  link_.OnUpdateData = [this] {
    TField* f = Field();
    if (!f) return;
    f->SetText(Text());
    // A set-text handler may keep the field as it was (an entry that stores nothing): the list
    // then shows what the field holds, not an entry that was never stored.
    DataChange();
  };
  link_.OnActiveChange = [this] { DataChange(); };
  link_.OnEditingChange = [] { ModelChanged(); };
}

bool TDBComboBox::CanModify() {
  return !ReadOnly() && Writable(link_);
}

void TDBComboBox::DataChange() {
  TField* f = Field();
  std::string text = f ? f->Text() : std::string();
  ScopedFlag guard(refreshing_);
  if (Style() == TComboBoxStyle::csDropDownList) {
    auto it = std::find(Items().begin(), Items().end(), text);
    if (it == Items().end()) text.clear();
  }
  // A refresh from the field fires no change handler: only the user's choice does.
  AssignText(utf8::Decode(text));
  auto it = std::find(Items().begin(), Items().end(), text);
  SetItemIndexSilently(it == Items().end() ? -1 : static_cast<int>(it - Items().begin()));
}

void TDBComboBox::Change() {
  if (refreshing_) return;
  TComboBox::Change();
  // After the handler: a field the handler wrote (which refreshed this box) is still committed.
  link_.Modified();
}

void TDBComboBox::SelectByUser(int index) {
  TComboBox::SelectByUser(index);
}
bool TDBComboBox::KeyPress(char32_t key) {
  return TComboBox::KeyPress(key);
}
void TDBComboBox::ClearByUser() {
  if (Style() == TComboBoxStyle::csDropDownList) return;
  TComboBox::ClearByUser();
}
void TDBComboBox::PasteByUser(const std::string& text) {
  if (Style() == TComboBoxStyle::csDropDownList) return;
  TComboBox::PasteByUser(text);
}

void TDBComboBox::Escape() {
  if (link_.IsModified()) link_.Reset();
}

void TDBComboBox::DoExit() {
  link_.UpdateRecord();
  TComboBox::DoExit();
}

// --- TDBCheckBox ------------------------------------------------------------------------------

TDBCheckBox::TDBCheckBox(TComponent* owner, std::string name) : TCheckBox(owner, std::move(name)) {
  link_.OnDataChange = [this] { DataChange(); };
  link_.OnUpdateData = [this] {
    TField* f = Field();
    if (!f) return;
    switch (State()) {
      case TCheckBoxState::cbChecked:
        f->SetText(ValueChecked);
        break;
      case TCheckBoxState::cbUnchecked:
        f->SetText(ValueUnchecked);
        break;
      case TCheckBoxState::cbGrayed:
        f->Clear();
        break;
    }
  };
  link_.OnActiveChange = [this] { DataChange(); };
  link_.OnEditingChange = [] { ModelChanged(); };
}

void TDBCheckBox::DataChange() {
  TField* f = Field();
  if (!f) {
    SetState(AllowGrayed ? TCheckBoxState::cbGrayed : TCheckBoxState::cbUnchecked);
    return;
  }
  // The third state says "a value that is neither of the two" only; an empty value (a new
  // record, or what unticking stores in a box whose unticked value is empty) shows unticked, so
  // the user can tell what saving the record will store.
  const std::string text = f->IsNull() ? std::string() : f->Text();
  if (text == ValueChecked)
    SetState(TCheckBoxState::cbChecked);
  else if (text == ValueUnchecked || utf8::Trim(text).empty())
    SetState(TCheckBoxState::cbUnchecked);
  else
    SetState(TCheckBoxState::cbGrayed);
}

bool TDBCheckBox::CanModify() {
  return Writable(link_);
}

void TDBCheckBox::StateChangedByUser() {
  link_.Modified();
}

void TDBCheckBox::DoExit() {
  link_.UpdateRecord();
  TCheckBox::DoExit();
}

// --- TDBRadioGroup ----------------------------------------------------------------------------

TDBRadioGroup::TDBRadioGroup(TComponent* owner, std::string name)
    : TRadioGroup(owner, std::move(name)) {
  link_.OnDataChange = [this] { DataChange(); };
  link_.OnUpdateData = [this] {
    if (TField* f = Field()) f->SetText(value_);
  };
  link_.OnActiveChange = [this] { DataChange(); };
  link_.OnEditingChange = [] { ModelChanged(); };
}

std::string TDBRadioGroup::ValueOf(int index) const {
  if (index < 0) return {};
  if (index < static_cast<int>(Values.size())) return Values[index];
  if (index < static_cast<int>(Items().size())) return Items()[index];
  return {};
}

void TDBRadioGroup::SetValue(const std::string& value) {
  if (value == value_) return;
  value_ = value;
  int index = -1;
  for (int i = 0; i < static_cast<int>(Items().size()); ++i)
    if (ValueOf(i) == value) {
      index = i;
      break;
    }
  {
    ScopedFlag guard(fromField_);
    SetItemIndex(index);
  }
  ModelChanged();
  if (OnChange) OnChange(*this);
}

void TDBRadioGroup::DataChange() {
  TField* f = Field();
  SetValue(f ? f->Text() : std::string());
}

bool TDBRadioGroup::CanModify() {
  return Writable(link_);
}

void TDBRadioGroup::ItemIndexChanged() {
  if (fromField_) return;
  SetValue(ValueOf(ItemIndex()));
  if (link_.Editing()) link_.Modified();
}

void TDBRadioGroup::DoExit() {
  link_.UpdateRecord();
  TRadioGroup::DoExit();
}

}  // namespace ger
