#pragma once
// Data-aware controls. Each owns a field data link with a "modified" flag: the user changing the
// control sets it; a change of the bound field (by code, or a move to another row) refreshes the
// control through the field's get-text handler and clears it; leaving the control, and posting
// its dataset, commits a modified control through the field's set-text handler.
//
// While the dataset is browsed and the data source does not edit by itself, the user cannot
// change a data-aware control: typing, selecting and ticking are refused.
#include <optional>
#include <string>
#include <vector>

#include "core/editmask.h"
#include "data/datasource.h"
#include "ui/stdctrls.h"

namespace ger {

// The binding every data-aware control has.
class DataBinding {
 public:
  DataBinding() = default;
  DataBinding(const DataBinding&) = delete;
  DataBinding& operator=(const DataBinding&) = delete;
  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source) { link_.SetDataSource(source); }
  void SetDataSource(TDataSource& source) { link_.SetDataSource(&source); }
  const std::string& DataField() const { return link_.FieldName(); }
  void SetDataField(std::string name) { link_.SetFieldName(std::move(name)); }
  TField* Field() const { return link_.Field(); }
  TFieldDataLink& DataLink() { return link_; }
  const TFieldDataLink& DataLink() const { return link_; }

 protected:
  TFieldDataLink link_;
};

class TDBEdit : public TCustomEdit, public DataBinding {
 public:
  explicit TDBEdit(TComponent* owner = nullptr, std::string name = {});
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;

  // The mask in effect: the control's own, else the field's.
  const std::string& EditMask() const;
  const ger::EditMask& Mask() const { return mask_; }
  void SetEditMask(std::string mask);
  // The text without the mask's literals (when the mask does not save them) and without
  // unfilled positions: what a commit hands to the field.
  std::string UnmaskedText() const;
  // What the user reads: the text without the mask's literals and without trailing blanks.
  std::string ObservedText() const override;
  // True when every required position of the mask is filled (no mask: always).
  bool MaskComplete() const;

  bool KeyPress(char32_t key) override;
  void KeyDown(int& key, unsigned shift) override;
  void ClearByUser() override;
  void PasteByUser(const std::string& text) override;
  void DoEnter() override;
  // A masked box's text is as long as its mask: the caret goes after the last filled position
  // (to the first input position when none is filled), where the next typed character belongs.
  int EndCaret() const override;
  void DoExit() override;

  // Used by the mask edits.
  const std::u32string& RawText() const { return Raw(); }
  void Replace(std::u32string text, int caret);

 protected:
  bool CanModify() override;
  bool AcceptsChar(char32_t ch) override;
  bool InsertChar(char32_t ch) override;
  bool InsertText(const std::u32string& text) override;
  bool DeleteBack() override;
  bool DeleteForward() override;
  void Escape() override;
  void Change() override;
  // Refresh from the field (edit text while focused, display text otherwise).
  virtual void DataChange();
  // Commit the text to the field.
  virtual void UpdateData();
  // False keeps the text in the box, uncommitted and modified, when the box is left.
  virtual bool Committable() const { return true; }
  void ApplyMaskLayout();
  // An empty box shows its mask only while the user is in it (the date box): left empty, its
  // text is empty, as the screen's emptiness checks expect.
  bool maskOnlyWhenFocused_ = false;

 private:
  std::string ownMask_;
  std::string fieldMask_;
  ger::EditMask mask_;
  bool refreshing_ = false;
  bool focused_ = false;
};

// A date box (dd/mm/yyyy, a two-digit year taken as 1950-2049). Leaving it commits only an empty
// or a valid date: an impossible one ("31/02/2005") stays in the box, modified, and the exit
// handler runs, so that the screen's own check reports it with its own message, built from
// Text(). Posting the record with an impossible date still in the box is refused with
// "'31/02/2005' não é uma data válida." rather than saving the record without it.
class TDBDateEdit : public TDBEdit {
 public:
  explicit TDBDateEdit(TComponent* owner = nullptr, std::string name = {});
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  // False for an impossible or incomplete date; an empty box holds no date and counts as valid.
  bool IsDateValid() const;
  // True when the box holds nothing but blanks (and separators).
  bool IsEmpty() const;
  // A date reads as a date, slashes included, without the blanks still to be filled.
  std::string ObservedText() const override { return UnmaskedText(); }

 protected:
  void UpdateData() override;
  bool Committable() const override;
};
using TDBDateEditPlus = TDBDateEdit;

class TDBMemo : public TMemo, public DataBinding {
 public:
  explicit TDBMemo(TComponent* owner = nullptr, std::string name = {});
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  void DoEnter() override;
  void DoExit() override;
  bool KeyPress(char32_t key) override;
  void KeyDown(int& key, unsigned shift) override;
  void ClearByUser() override;
  void PasteByUser(const std::string& text) override;

 protected:
  bool CanModify() override;
  void Escape() override;
  void Change() override;

 private:
  void DataChange();
  bool refreshing_ = false;
};

// A data-aware combo box. As a drop-down list it takes no typing: the user only selects. The
// change handler runs when the user selects; the text commits on exit and before post, also
// when the change handler wrote the field in between. After a commit the list shows the field's
// value, whatever the set-text handler made of the entry.
class TDBComboBox : public TComboBox, public DataBinding {
 public:
  explicit TDBComboBox(TComponent* owner = nullptr, std::string name = {});
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  void SelectByUser(int index) override;
  bool KeyPress(char32_t key) override;
  void ClearByUser() override;
  void PasteByUser(const std::string& text) override;
  void DoExit() override;

 protected:
  bool CanModify() override;
  void Escape() override;
  void Change() override;

 private:
  void DataChange();
  bool refreshing_ = false;
};

// Checked value, unchecked value; any other field value (null included) shows the grey state.
// Committing writes the checked or unchecked value through set-text (grey writes null).
class TDBCheckBox : public TCheckBox, public DataBinding {
 public:
  explicit TDBCheckBox(TComponent* owner = nullptr, std::string name = {});
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  std::string ValueChecked = "True";
  std::string ValueUnchecked = "False";
  void DoExit() override;

 protected:
  bool CanModify() override;
  void StateChangedByUser() override;

 private:
  void DataChange();
};

// Entries (captions) and their stored values (the captions themselves when no values are given).
// The change handler fires whenever the value changes, also when moving to another row.
class TDBRadioGroup : public TRadioGroup, public DataBinding {
 public:
  explicit TDBRadioGroup(TComponent* owner = nullptr, std::string name = {});
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  std::vector<std::string> Values;
  const std::string& Value() const { return value_; }
  void DoExit() override;

 protected:
  bool CanModify() override;
  void ItemIndexChanged() override;

 private:
  void DataChange();
  void SetValue(const std::string& value);
  std::string ValueOf(int index) const;
  std::string value_;
  bool fromField_ = false;
};

}  // namespace ger
