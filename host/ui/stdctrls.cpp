#include "ui/stdctrls.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "core/utf8.h"
#include "ui/forms.h"

namespace ger {

// --- TCustomEdit ------------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* owner, std::string name) : TControl(owner, std::move(name)) {
  SetColor(TColor::clWindow);
}

std::string TCustomEdit::Text() const {
  return utf8::Encode(text_);
}

void TCustomEdit::SetText(const std::string& text) {
  std::u32string value = utf8::Decode(text);
  if (value == text_) return;
  SetRaw(std::move(value), -1);
  Change();
}

void TCustomEdit::SetMaxLength(int length) {
  maxLength_ = std::max(0, length);
  ModelChanged();
}

void TCustomEdit::SetReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  ModelChanged();
}

void TCustomEdit::SetSelStart(int start) {
  selStart_ = std::clamp(start, 0, Length());
  selLength_ = std::min(selLength_, Length() - selStart_);
  ModelChanged();
}

void TCustomEdit::SetSelLength(int length) {
  selLength_ = std::clamp(length, 0, Length() - selStart_);
  ModelChanged();
}

void TCustomEdit::SelectAll() {
  selStart_ = 0;
  selLength_ = Length();
  ModelChanged();
}

void TCustomEdit::AssignText(const std::u32string& text) {
  SetRaw(text, -1);
}

void TCustomEdit::SetRaw(std::u32string text, int caret) {
  text_ = std::move(text);
  selStart_ = caret < 0 ? Length() : std::min(caret, Length());
  selLength_ = 0;
  ModelChanged();
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(*this);
}

bool TCustomEdit::KeyPress(char32_t key) {
  if (OnKeyPress) OnKeyPress(*this, key);
  if (key == 0) return false;
  if (key == U'\b') return CanModify() && DeleteBack();
  if (key == 27) {
    Escape();
    return false;
  }
  if (key == U'\r' || key == U'\n') return Enter();
  if (key < 32) return false;
  if (!AcceptsChar(key)) return false;
  if (!CanModify()) return false;
  return InsertChar(key);
}

void TCustomEdit::KeyDown(int key, unsigned shift) {
  if (OnKeyDown) OnKeyDown(*this, key, shift);
  if (key == Keys::VK_DELETE && !(shift & Keys::ssCtrl) && CanModify()) DeleteForward();
}

bool TCustomEdit::InsertChar(char32_t ch) {
  std::u32string text = text_;
  int start = selStart_;
  text.erase(start, selLength_);
  if (maxLength_ > 0 && static_cast<int>(text.size()) >= maxLength_) return false;
  text.insert(text.begin() + start, ch);
  SetRaw(std::move(text), start + 1);
  Change();
  return true;
}

bool TCustomEdit::DeleteBack() {
  std::u32string text = text_;
  int start = selStart_;
  if (selLength_ > 0) {
    text.erase(start, selLength_);
  } else {
    if (start == 0) return false;
    text.erase(--start, 1);
  }
  SetRaw(std::move(text), start);
  Change();
  return true;
}

bool TCustomEdit::DeleteForward() {
  std::u32string text = text_;
  int start = selStart_;
  if (selLength_ > 0) {
    text.erase(start, selLength_);
  } else {
    if (start >= Length()) return false;
    text.erase(start, 1);
  }
  SetRaw(std::move(text), start);
  Change();
  return true;
}

void TCustomEdit::ClearByUser() {
  if (text_.empty() || !CanModify()) return;
  SetRaw({}, 0);
  Change();
}

void TCustomEdit::PasteByUser(const std::string& text) {
  if (!CanModify()) return;
  std::u32string value = utf8::Decode(text);
  if (maxLength_ > 0 && static_cast<int>(value.size()) > maxLength_) value.resize(maxLength_);
  if (value == text_) return;
  SetRaw(std::move(value), -1);
  Change();
}

void TCustomEdit::DoEnter() {
  selStart_ = EndCaret();
  selLength_ = 0;
  TControl::DoEnter();
}

void TCustomEdit::Describe(PropList& out) const {
  TControl::Describe(out);
  out.emplace_back("text", Text());
  out.emplace_back("maxlength", std::int64_t{maxLength_});
  out.emplace_back("readonly", readOnly_);
  out.emplace_back("selstart", std::int64_t{selStart_});
  out.emplace_back("sellength", std::int64_t{selLength_});
}

// --- TMemo ------------------------------------------------------------------------------------

bool TMemo::Enter() {
  if (!WantReturns || !CanModify()) return false;
  return InsertChar(U'\n');
}

// --- TComboBox --------------------------------------------------------------------------------

TComboBox::TComboBox(TComponent* owner, std::string name) : TCustomEdit(owner, std::move(name)) {}

void TComboBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  auto it = std::find(items_.begin(), items_.end(), Text());
  itemIndex_ = it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
  ModelChanged();
}

void TComboBox::AddItem(std::string item) {
  items_.push_back(std::move(item));
  ModelChanged();
}

void TComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
  itemIndex_ = index;
  SetText(index >= 0 ? items_[index] : std::string());
  ModelChanged();
}

void TComboBox::SetStyle(TComboBoxStyle style) {
  style_ = style;
  ModelChanged();
}

void TComboBox::SelectByUser(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  if (!CanModify()) return;
  itemIndex_ = index;
  AssignText(utf8::Decode(items_[index]));
  Change();
  if (OnClick) OnClick(*this);
}

bool TComboBox::KeyPress(char32_t key) {
  if (style_ == TComboBoxStyle::csDropDownList) {
    // A drop-down list takes no typing; the key handler still sees the key.
    if (OnKeyPress) OnKeyPress(*this, key);
    return false;
  }
  return TCustomEdit::KeyPress(key);
}

void TComboBox::Change() {
  auto it = std::find(items_.begin(), items_.end(), Text());
  itemIndex_ = it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
  TCustomEdit::Change();
}

void TComboBox::Describe(PropList& out) const {
  TCustomEdit::Describe(out);
  out.emplace_back("items", items_);
  out.emplace_back("itemindex", std::int64_t{itemIndex_});
  out.emplace_back(
      "style", std::string(style_ == TComboBoxStyle::csDropDownList ? "dropdownlist" : "dropdown"));
}

// --- TCheckBox --------------------------------------------------------------------------------

void TCheckBox::SetChecked(bool checked) {
  SetState(checked ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked);
}

void TCheckBox::SetState(TCheckBoxState state) {
  if (state_ == state) return;
  state_ = state;
  ModelChanged();
}

bool TCheckBox::ToggleByUser(bool checked) {
  if (!CanModify()) return false;
  state_ = checked ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked;
  ModelChanged();
  StateChangedByUser();
  if (OnClick) OnClick(*this);
  return true;
}

void TCheckBox::Describe(PropList& out) const {
  TControl::Describe(out);
  out.emplace_back("checked", Checked());
  out.emplace_back("grayed", state_ == TCheckBoxState::cbGrayed);
}

// --- TRadioGroup ------------------------------------------------------------------------------

void TRadioGroup::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
  ModelChanged();
}

void TRadioGroup::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
  if (index == itemIndex_) return;
  itemIndex_ = index;
  ModelChanged();
  ItemIndexChanged();
}

bool TRadioGroup::SelectByUser(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return false;
  if (!CanModify()) return false;
  SetItemIndex(index);
  if (OnClick) OnClick(*this);
  return true;
}

void TRadioGroup::Describe(PropList& out) const {
  TControl::Describe(out);
  out.emplace_back("items", items_);
  out.emplace_back("itemindex", std::int64_t{itemIndex_});
  out.emplace_back("columns", std::int64_t{Columns});
}

// --- Buttons ----------------------------------------------------------------------------------

void TButton::Click() {
  TControl::Click();
  if (ModalResult != TModalResult::mrNone)
    if (TForm* form = OwnerForm()) form->SetModalResult(ModalResult);
}

void TSpeedButton::Describe(PropList& out) const {
  TControl::Describe(out);
  out.emplace_back("down", Down);
  out.emplace_back("flat", Flat);
}

// --- File dialogs -----------------------------------------------------------------------------

bool TOpenDialog::Execute() {
  auto path = Application().Dialogs().OpenFile({Filter, Title, InitialDir, DefaultExt, FileName});
  if (!path) return false;
  FileName = *path;
  return true;
}

bool TSaveDialog::Execute() {
  auto path = Application().Dialogs().SaveFile({Filter, Title, InitialDir, DefaultExt, FileName});
  if (!path) return false;
  FileName = *path;
  return true;
}

void TOpenDialog::Describe(PropList& out) const {
  TComponent::Describe(out);
  out.emplace_back("filter", Filter);
  out.emplace_back("filename", FileName);
}

}  // namespace ger
