#include "ui/stdctrls.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "core/utf8.h"
#include "ui/forms.h"
#include "ui/gestures.h"

namespace ger {

const ComponentClass TLabel::ClassInfo{"TLabel", &TControl::ClassInfo};
const ComponentClass& TLabel::Class() const {
  return ClassInfo;
}
const ComponentClass TEdit::ClassInfo{"TEdit", &TCustomEdit::ClassInfo};
const ComponentClass& TEdit::Class() const {
  return ClassInfo;
}
const ComponentClass TMemo::ClassInfo{"TMemo", &TCustomEdit::ClassInfo};
const ComponentClass& TMemo::Class() const {
  return ClassInfo;
}
const ComponentClass TComboBox::ClassInfo{"TComboBox", &TCustomEdit::ClassInfo};
const ComponentClass& TComboBox::Class() const {
  return ClassInfo;
}
const ComponentClass TCheckBox::ClassInfo{"TCheckBox", &TControl::ClassInfo};
const ComponentClass& TCheckBox::Class() const {
  return ClassInfo;
}
const ComponentClass TRadioGroup::ClassInfo{"TRadioGroup", &TControl::ClassInfo};
const ComponentClass& TRadioGroup::Class() const {
  return ClassInfo;
}
const ComponentClass TGroupBox::ClassInfo{"TGroupBox", &TControl::ClassInfo};
const ComponentClass& TGroupBox::Class() const {
  return ClassInfo;
}
const ComponentClass TPanel::ClassInfo{"TPanel", &TControl::ClassInfo};
const ComponentClass& TPanel::Class() const {
  return ClassInfo;
}
const ComponentClass TButton::ClassInfo{"TButton", &TControl::ClassInfo};
const ComponentClass& TButton::Class() const {
  return ClassInfo;
}
const ComponentClass TSpeedButton::ClassInfo{"TSpeedButton", &TControl::ClassInfo};
const ComponentClass& TSpeedButton::Class() const {
  return ClassInfo;
}
const ComponentClass TImage::ClassInfo{"TImage", &TControl::ClassInfo};
const ComponentClass& TImage::Class() const {
  return ClassInfo;
}
const ComponentClass TOpenDialog::ClassInfo{"TOpenDialog", &TComponent::ClassInfo};
const ComponentClass& TOpenDialog::Class() const {
  return ClassInfo;
}
const ComponentClass TSaveDialog::ClassInfo{"TSaveDialog", &TOpenDialog::ClassInfo};
const ComponentClass& TSaveDialog::Class() const {
  return ClassInfo;
}

// --- TCustomEdit ------------------------------------------------------------------------------

const ComponentClass TCustomEdit::ClassInfo{"TCustomEdit", &TControl::ClassInfo};
const ComponentClass& TCustomEdit::Class() const {
  return ClassInfo;
}

TCustomEdit::TCustomEdit(TComponent* owner, std::string name) : TControl(owner, std::move(name)) {
  SetColor(TColor::clWindow);
}

std::string TCustomEdit::Text() const {
  return utf8::Encode(text_);
}

std::string TCustomEdit::SelText() const {
  return utf8::Encode(text_.substr(selStart_, selLength_));
}

void TCustomEdit::SetText(const std::string& text) {
  std::u32string value = utf8::Decode(text);
  if (value == text_) return;
  SetRaw(std::move(value), -1);
  Change();
}

void TCustomEdit::SetMaxLength(int length) {
  maxLength_ = std::max(0, length);
  Changed(ViewAspect::Look);
}

void TCustomEdit::SetReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  Changed(ViewAspect::Look);
}

void TCustomEdit::SetSelStart(int start) {
  selStart_ = std::clamp(start, 0, Length());
  selLength_ = std::min(selLength_, Length() - selStart_);
  Changed(ViewAspect::Current);
}

void TCustomEdit::SetSelLength(int length) {
  selLength_ = std::clamp(length, 0, Length() - selStart_);
  Changed(ViewAspect::Current);
}

void TCustomEdit::SetSelection(int start, int length) {
  selStart_ = std::clamp(start, 0, Length());
  selLength_ = std::clamp(length, 0, Length() - selStart_);
  Changed(ViewAspect::Current);
}

void TCustomEdit::SelectAll() {
  selStart_ = 0;
  selLength_ = Length();
  Changed(ViewAspect::Current);
}

void TCustomEdit::AssignText(const std::u32string& text) {
  SetRaw(text, -1);
}

void TCustomEdit::SetRaw(std::u32string text, int caret) {
  // A program replacing the text ends what the user could undo; the user's own edits keep it.
  if (userEdits_ == 0 && text != text_) {
    undo_.reset();
    typingRun_ = false;
  }
  text_ = std::move(text);
  selStart_ = caret < 0 ? Length() : std::min(caret, Length());
  selLength_ = 0;
  Changed(ViewAspect::Content);
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(*this);
}

TCustomEdit::UserEdit::UserEdit(TCustomEdit& edit, bool typing)
    : edit_(edit), text_(edit.text_), caret_(edit.selStart_), typing_(typing) {
  ++edit_.userEdits_;
}

TCustomEdit::UserEdit::~UserEdit() {
  if (--edit_.userEdits_ > 0 || edit_.text_ == text_) return;
  if (!(typing_ && edit_.typingRun_ && edit_.undo_)) edit_.undo_ = UndoStep{text_, caret_};
  edit_.typingRun_ = typing_;
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

void TCustomEdit::KeyDown(int& key, unsigned shift) {
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

bool TCustomEdit::InsertText(const std::u32string& inserted) {
  std::u32string text = text_;
  int start = selStart_;
  text.erase(start, selLength_);
  std::u32string piece = inserted;
  if (maxLength_ > 0) {
    int room = std::max(0, maxLength_ - static_cast<int>(text.size()));
    if (static_cast<int>(piece.size()) > room) piece.resize(room);
  }
  if (piece.empty() && selLength_ == 0) return false;
  text.insert(static_cast<std::size_t>(start), piece);
  SetRaw(std::move(text), start + static_cast<int>(piece.size()));
  Change();
  return true;
}

void TCustomEdit::InsertTextByUser(const std::string& text) {
  if (!CanModify()) return;
  std::u32string piece;
  for (char32_t ch : utf8::Decode(text)) {
    // Line breaks only where the box takes them; other control characters never.
    if (ch == U'\r') continue;
    if (ch == U'\n' ? !WantsReturn() : (ch < 32 || !AcceptsChar(ch))) continue;
    piece.push_back(ch);
  }
  InsertText(piece);
}

void TCustomEdit::DeleteSelectionByUser() {
  if (selLength_ > 0 && CanModify()) DeleteForward();
}

void TCustomEdit::UndoByUser() {
  if (!undo_ || !CanModify()) return;
  UndoStep step = std::move(*undo_);
  undo_ = UndoStep{text_, selStart_};
  typingRun_ = false;
  ++userEdits_;
  SetRaw(std::move(step.text), step.caret);
  --userEdits_;
  Change();
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
  typingRun_ = false;
  selStart_ = EndCaret();
  selLength_ = 0;
  Changed(ViewAspect::Current);
  TControl::DoEnter();
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
  Changed(ViewAspect::Content);
}

void TComboBox::AddItem(std::string item) {
  items_.push_back(std::move(item));
  Changed(ViewAspect::Content);
}

void TComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
  itemIndex_ = index;
  SetText(index >= 0 ? items_[index] : std::string());
  Changed(ViewAspect::Current);
}

void TComboBox::SetStyle(TComboBoxStyle style) {
  style_ = style;
  Changed(ViewAspect::Look);
}

void TComboBox::SelectByUser(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  if (!CanModify()) return;
  itemIndex_ = index;
  AssignText(utf8::Decode(items_[index]));
  Change();
  if (OnClick) OnClick(*this);
}

// Letters typed in quick succession search the entries by prefix, ignoring case and accents
// ("mar" chooses Março); after a pause a letter starts a new search. One letter typed again and
// again goes through the entries starting with it.
int TComboBox::SearchByKey(char32_t key) {
  constexpr auto kPause = std::chrono::milliseconds(1000);
  const TApplication& app = Application();
  const auto now = app.Clock ? app.Clock() : std::chrono::steady_clock::now();
  const std::string letter = utf8::FoldKey(utf8::Encode(std::u32string(1, key)));
  if (search_.empty() || now - lastKey_ > kPause) search_.clear();
  lastKey_ = now;
  search_ += letter;
  const bool repeated = search_.find_first_not_of(letter) == std::string::npos;
  const std::string& wanted = repeated ? letter : search_;
  const auto count = static_cast<int>(items_.size());
  // A new or repeated letter moves on from the current entry; a longer prefix may keep it.
  const int start = repeated ? itemIndex_ + 1 : std::max(itemIndex_, 0);
  for (int step = 0; step < count; ++step) {
    const int i = (start + step) % count;
    if (utf8::FoldKey(items_[i]).starts_with(wanted)) return i;
  }
  return -1;
}

bool TComboBox::KeyPress(char32_t key) {
  if (style_ == TComboBoxStyle::csDropDownList) {
    // A drop-down list takes no typing: letters choose an entry (SearchByKey), as the user's
    // choice, after the key handler has seen them.
    if (OnKeyPress) OnKeyPress(*this, key);
    if (key < 32 || items_.empty()) return false;
    const int i = SearchByKey(key);
    if (i < 0 || i == itemIndex_) return false;
    const int before = itemIndex_;
    SelectByUser(i);
    return itemIndex_ != before;
  }
  return TCustomEdit::KeyPress(key);
}

void TComboBox::KeyDown(int& key, unsigned shift) {
  if (OnKeyDown) OnKeyDown(*this, key, shift);
  int last = static_cast<int>(items_.size()) - 1;
  int wanted = -1;
  if (key == Keys::VK_DOWN && !(shift & Keys::ssAlt))
    wanted = std::min(itemIndex_ + 1, last);
  else if (key == Keys::VK_UP && !(shift & Keys::ssAlt))
    wanted = std::max(itemIndex_ - 1, 0);
  else if (style_ == TComboBoxStyle::csDropDownList && key == Keys::VK_HOME)
    wanted = 0;
  else if (style_ == TComboBoxStyle::csDropDownList && key == Keys::VK_END)
    wanted = last;
  if (wanted >= 0 && wanted <= last) {
    key = 0;
    if (wanted != itemIndex_) SelectByUser(wanted);
    return;
  }
  if (key == Keys::VK_DELETE && !(shift & Keys::ssCtrl) && CanModify() &&
      style_ == TComboBoxStyle::csDropDown)
    DeleteForward();
}

void TComboBox::Change() {
  auto it = std::find(items_.begin(), items_.end(), Text());
  itemIndex_ = it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
  TCustomEdit::Change();
}

// --- TCheckBox --------------------------------------------------------------------------------

void TCheckBox::SetChecked(bool checked) {
  SetState(checked ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked);
}

void TCheckBox::SetState(TCheckBoxState state) {
  if (state_ == state) return;
  state_ = state;
  Changed(ViewAspect::Content);
}

bool TCheckBox::ClickByUser() {
  return ui::Gestures::Check(*this, !Checked());
}

bool TCheckBox::KeyPress(char32_t key) {
  if (OnKeyPress) OnKeyPress(*this, key);
  // The space bar ticks or unticks the box, as a click does.
  if (key != U' ') return false;
  return ToggleByUser(state_ != TCheckBoxState::cbChecked);
}

bool TCheckBox::ToggleByUser(bool checked) {
  if (!CanModify()) return false;
  state_ = checked ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked;
  Changed(ViewAspect::Content);
  StateChangedByUser();
  if (OnClick) OnClick(*this);
  return true;
}

// --- TRadioGroup ------------------------------------------------------------------------------

void TRadioGroup::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
  Changed(ViewAspect::Content);
}

void TRadioGroup::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
  if (index == itemIndex_) return;
  itemIndex_ = index;
  Changed(ViewAspect::Current);
  ItemIndexChanged();
}

void TRadioGroup::SelectByUser(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  if (!CanModify()) return;
  SetItemIndex(index);
  if (OnClick) OnClick(*this);
}

void TRadioGroup::KeyDown(int& key, unsigned shift) {
  if (OnKeyDown) OnKeyDown(*this, key, shift);
  int step = key == Keys::VK_DOWN || key == Keys::VK_RIGHT ? 1
             : key == Keys::VK_UP || key == Keys::VK_LEFT  ? -1
                                                           : 0;
  if (step == 0 || items_.empty()) return;
  key = 0;
  int last = static_cast<int>(items_.size()) - 1;
  int wanted = itemIndex_ < 0 ? 0 : std::clamp(itemIndex_ + step, 0, last);
  if (wanted != itemIndex_) SelectByUser(wanted);
}

// --- Buttons ----------------------------------------------------------------------------------

void TButton::Click() {
  TControl::Click();
  if (ModalResult != TModalResult::mrNone)
    if (TForm* form = OwnerForm()) form->SetModalResult(ModalResult);
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

}  // namespace ger
