#pragma once
// The plain controls: labels, edit boxes, memos, combo boxes, check boxes, radio groups,
// containers, buttons, pictures and the file dialogs.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/component.h"

namespace ger {

class TLabel : public TControl {
 public:
  using TControl::TControl;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  // The control a click on the label focuses.
  TControl* FocusControl = nullptr;
  TControl* FocusAfterClick() const override { return FocusControl; }
};

// Text editing shared by edits, memos and combo boxes: the text, the caret and selection (in
// characters), the maximum length, read-only, and the key pipeline (key-press handler, the
// control's own character filter, then the insertion itself).
class TCustomEdit : public TControl {
 public:
  explicit TCustomEdit(TComponent* owner = nullptr, std::string name = {});
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;

  std::string Text() const;
  std::string ObservedText() const override { return Text(); }
  // A program writing the text: fires OnChange when the text differs.
  void SetText(const std::string& text);
  int MaxLength() const { return maxLength_; }  // characters; 0 is unlimited
  void SetMaxLength(int length);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  int SelStart() const { return selStart_; }
  int SelLength() const { return selLength_; }
  void SetSelStart(int start);
  void SetSelLength(int length);
  // Caret and selection at once, as the user leaves them with the mouse or the arrows.
  void SetSelection(int start, int length);
  void SelectAll();
  int Length() const { return static_cast<int>(text_.size()); }
  // The selected text.
  std::string SelText() const;

  Notify OnChange;

  // The user's gestures on the text (the gestures module calls them on the focused control).
  // Each goes through the key-press handler and may be refused; true when the text changed.
  bool KeyPress(char32_t key) override;
  void KeyDown(int& key, unsigned shift) override;
  bool HoldsText() const override { return true; }
  // Select-all and delete, as the user empties a box.
  void ClearByUser() override;
  // Replaces the whole text as a paste does: no key handler runs, the change handler does.
  void PasteByUser(const std::string& text) override;
  // A paste at the caret (over the selection), as the clipboard's paste does: no key handler
  // runs; characters the box refuses are left out; the change handler runs once.
  virtual void InsertTextByUser(const std::string& text);
  // Deletes the selection (the context menu's delete, and what a cut leaves).
  virtual void DeleteSelectionByUser();
  // Puts back the text before the user's last change (a second undo redoes it), as the
  // platform's boxes keep one step; a program writing the text forgets it.
  bool CanUndo() const { return undo_.has_value(); }
  virtual void UndoByUser();
  // Marks one gesture of the user: the text before it becomes the undo step when it changed;
  // characters typed one after the other join the step they started.
  class UserEdit {
   public:
    explicit UserEdit(TCustomEdit& edit, bool typing = false);
    ~UserEdit();
    UserEdit(const UserEdit&) = delete;
    UserEdit& operator=(const UserEdit&) = delete;

   private:
    TCustomEdit& edit_;
    std::u32string text_;
    int caret_;
    bool typing_;
  };

  bool TakesFocus() const override { return true; }
  void DoEnter() override;

 protected:
  // Whether the user may change the text now (a data-aware box asks its data source).
  virtual bool CanModify() { return !readOnly_; }
  // The control's own character test after the key handler (a field's valid characters).
  virtual bool AcceptsChar(char32_t) { return true; }
  // Places one typed character; the default inserts at the caret within the maximum length.
  virtual bool InsertChar(char32_t ch);
  // Places a pasted text over the selection; the default inserts what fits the maximum length.
  virtual bool InsertText(const std::u32string& text);
  virtual bool DeleteBack();
  virtual bool DeleteForward();
  // Where a click into the box leaves the caret: the end of the text.
  virtual int EndCaret() const { return Length(); }
  // Escape in the box (a data-aware box puts the field's value back).
  virtual void Escape() {}
  // Enter in the box (a memo starts a new line).
  virtual bool Enter() { return false; }
  // The text changed, by the user or by the program.
  virtual void Change();
  // Replaces the text without firing anything (refresh from a field).
  void AssignText(const std::u32string& text);
  const std::u32string& Raw() const { return text_; }
  void SetRaw(std::u32string text, int caret);

 private:
  struct UndoStep {
    std::u32string text;
    int caret;
  };
  std::u32string text_;
  int selStart_ = 0;
  int selLength_ = 0;
  int maxLength_ = 0;
  bool readOnly_ = false;
  int userEdits_ = 0;
  bool typingRun_ = false;
  std::optional<UndoStep> undo_;
};

class TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
};

class TMemo : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  bool WantReturns = true;
  bool WantsReturn() const override { return WantReturns; }
  bool GrowsDown() const override { return true; }

 protected:
  bool Enter() override;
};

enum class TComboBoxStyle { csDropDown, csDropDownList };

class TComboBox : public TCustomEdit {
 public:
  explicit TComboBox(TComponent* owner = nullptr, std::string name = {});
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;

  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  void AddItem(std::string item);
  int ItemIndex() const { return itemIndex_; }
  // A program choosing an entry: the text follows; fires OnChange when the text differs.
  void SetItemIndex(int index);
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle style);

  // The user picking an entry from the list; fires OnChange (and OnClick).
  void SelectByUser(int index) override;
  std::vector<std::string> Entries() const override { return items_; }
  bool KeyPress(char32_t key) override;
  // The arrows and Home/End move through a list's entries as choices of the user.
  void KeyDown(int& key, unsigned shift) override;

 protected:
  void Change() override;
  void SetItemIndexSilently(int index) {
    itemIndex_ = index;
    Changed(ViewAspect::Current);
  }

 private:
  // The entry a drop-down list's typed letter leads to, or -1.
  int SearchByKey(char32_t key);

  std::vector<std::string> items_;
  int itemIndex_ = -1;
  // Letters typed in quick succession: searched for as one prefix.
  std::string search_;
  std::chrono::steady_clock::time_point lastKey_{};
  TComboBoxStyle style_ = TComboBoxStyle::csDropDown;
};

enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public TControl {
 public:
  using TControl::TControl;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  bool Checked() const { return state_ == TCheckBoxState::cbChecked; }
  void SetChecked(bool checked);
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState state);
  bool AllowGrayed = false;
  // The user ticking or unticking: fires OnClick; false when refused.
  virtual bool ToggleByUser(bool checked);
  bool KeyPress(char32_t key) override;
  bool TakesFocus() const override { return true; }
  bool ObservedChecked() const override { return Checked(); }
  bool ObservedGrayed() const override { return state_ == TCheckBoxState::cbGrayed; }
  // A click toggles the box (Gestures::Check).
  bool ClickByUser() override;

 protected:
  virtual bool CanModify() { return true; }
  virtual void StateChangedByUser() {}

 private:
  TCheckBoxState state_ = TCheckBoxState::cbUnchecked;
};

class TRadioGroup : public TControl {
 public:
  using TControl::TControl;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);
  int Columns = 1;
  Notify OnChange;
  // The user choosing an entry: fires OnClick; nothing when refused.
  void SelectByUser(int index) override;
  std::vector<std::string> Entries() const override { return items_; }
  // The chosen entry; empty when none is.
  std::string ObservedText() const override {
    return itemIndex_ >= 0 ? items_[itemIndex_] : std::string();
  }
  // The arrows move the choice as the user does.
  void KeyDown(int& key, unsigned shift) override;
  bool TakesFocus() const override { return true; }

 protected:
  virtual bool CanModify() { return true; }
  virtual void ItemIndexChanged() {}

 private:
  std::vector<std::string> items_;
  int itemIndex_ = -1;
};

class TGroupBox : public TControl {
 public:
  using TControl::TControl;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
};

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TControl {
 public:
  using TControl::TControl;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  // The panel's edge; none for a panel that only groups controls.
  TBevelCut BevelOuter = TBevelCut::bvRaised;
};

enum class TModalResult {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7
};

// A push button: it takes the focus when clicked, so the focused box's exit runs first. A modal
// result other than none closes a modal form with that result.
class TButton : public TControl {
 public:
  using TControl::TControl;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  bool TakesFocus() const override { return true; }
  TModalResult ModalResult = TModalResult::mrNone;
  bool Default = false;
  bool Cancel = false;
  void Click() override;
  bool WantsReturn() const override { return true; }  // Enter presses the focused button
  bool IsDefaultButton() const override { return Default; }
  bool IsCancelButton() const override { return Cancel; }
};

// A tool (speed) button: never takes the focus, so clicking it runs no exit handler.
class TSpeedButton : public TControl {
 public:
  using TControl::TControl;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  bool Flat = true;
  bool Down = false;
  int GroupIndex = 0;
  // The picture on the button, by its name in the desktop's icon naming ("document-new",
  // "edit-find"); the toolkit draws it from its icon theme. Empty: the caption or hint alone.
  std::string Glyph;
  // As a dialog's button: Enter clicks the default one, Escape the cancel one.
  bool Default = false;
  bool Cancel = false;
  bool IsDefaultButton() const override { return Default; }
  bool IsCancelButton() const override { return Cancel; }
  // The box the button acts for (a search button beside its code box): F2 or Alt+Down in the
  // box clicks it.
  TControl* Associate = nullptr;
};
using TToolButton = TSpeedButton;
using TButtonFlat = TSpeedButton;

// Picture files: BMP and JPEG only, decoded whole, so that a file cut short is refused as well
// as one that is no picture at all; the declared size is checked before decoding (ui/picture.h).
// The file's bytes; raises Exception with a sentence for the user: "Não foi possível ler o
// arquivo 'X'." (missing or unreadable), "O arquivo 'X' tem mais de N MB." (larger than maxBytes
// or kMaxPictureBytes, checked before the file is read), "Arquivo não é uma imagem BMP ou JPEG
// válida.", or the refusals of a picture of more than kMaxPictureSide pixels a side or of none.
std::string LoadPictureFile(const std::string& path, std::uintmax_t maxBytes = UINTMAX_MAX);

// A picture. Loading accepts BMP and JPEG files only.
class TImage : public TControl {
 public:
  using TControl::TControl;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  // Raises Exception as LoadPictureFile(path) does; the old picture stays.
  void LoadFromFile(const std::string& path);
  void LoadFromBytes(const std::string& bytes);  // same checks as a file's contents
  void Clear();
  bool Empty() const { return bytes_.empty(); }
  const std::string& PictureBytes() const { return bytes_; }
  std::string PictureFormat() const { return format_; }  // "bmp", "jpeg" or ""
  int PictureWidth() const { return pictureWidth_; }
  int PictureHeight() const { return pictureHeight_; }
  bool Stretch = false;

 private:
  std::string bytes_;
  std::string format_;
  int pictureWidth_ = 0;
  int pictureHeight_ = 0;
};

// File dialogs as components: Execute asks the application's dialog service.
class TOpenDialog : public TComponent {
 public:
  using TComponent::TComponent;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  std::string Filter;  // "Description|*.ext|..." pairs
  std::string Title;
  std::string InitialDir;
  std::string DefaultExt;
  std::string FileName;
  // True with FileName set when the user chose a file.
  virtual bool Execute();
};

class TSaveDialog : public TOpenDialog {
 public:
  using TOpenDialog::TOpenDialog;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  bool Execute() override;
};

}  // namespace ger
