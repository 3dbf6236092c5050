#pragma once
// A column of a dataset, as the screens see it: value access in several kinds, display and edit
// text (through the get-text handler when one is set), text entry (through the set-text handler or
// pt-BR conversion), and the definition properties that controls read (label, mask, size, format).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/value.h"
#include "data/packet.h"

namespace ger {

class TDataSet;

class TField {
 public:
  // Handler signatures of the platform: field, text by reference, display-text flag.
  using GetTextHandler = std::function<void(TField& sender, std::string& text, bool displayText)>;
  using SetTextHandler = std::function<void(TField& sender, const std::string& text)>;
  using NotifyHandler = std::function<void(TField& sender)>;

  TField(TDataSet& dataset, FieldDef def, int index);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  // Definition.
  const std::string& FieldName() const { return def_.name; }
  FieldKind Kind() const { return def_.kind; }
  int Size() const { return def_.size; }
  const FieldDef& Def() const { return def_; }
  TDataSet& DataSet() const { return dataset_; }
  int Index() const { return index_; }

  const std::string& DisplayLabel() const;  // the field name when no label is set
  void SetDisplayLabel(std::string label);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  const std::string& EditMask() const { return editMask_; }
  void SetEditMask(std::string mask);  // controls bound to the field pick up the new mask
  const std::string& DisplayFormat() const { return displayFormat_; }
  void SetDisplayFormat(std::string format);
  int DisplayWidth() const;  // the size when not set
  void SetDisplayWidth(int width);
  ProviderFlags Flags() const { return def_.flags; }
  void SetFlags(ProviderFlags flags) { def_.flags = flags; }
  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  GetTextHandler OnGetText;
  SetTextHandler OnSetText;
  NotifyHandler OnChange;  // after the value changed

  // Value of the current row (the edit buffer while the dataset is edited or inserted). Reading
  // an inactive or empty dataset gives null. Writing requires edit or insert state
  // (EDatabaseError otherwise); a text longer than the size is cut to the size in characters.
  const Value& GetValue() const;
  void SetValue(Value value);
  bool IsNull() const;
  void Clear();  // null

  // Plain conversions. A null reads as "" / 0; text of a number is pt-BR general format
  // ("2,5"), of a date "dd/mm/yyyy" (with " hh:nn:ss" when it has a time).
  std::string AsString() const;
  // "" makes the field null; numbers and dates parsed pt-BR.
  void SetAsString(std::string_view text);
  double AsFloat() const;
  void SetAsFloat(double v);
  std::int64_t AsInteger() const;
  void SetAsInteger(std::int64_t v);
  DateTime AsDateTime() const;
  void SetAsDateTime(DateTime v);
  Bytes AsBytes() const;
  void SetAsBytes(Bytes v);
  void LoadFromFile(const std::string& path);  // blob: the whole file; EDatabaseError if unreadable

  // The value the current row had when it was loaded or last merged; null for a new row.
  Value OldValue() const;

  // Display text (not editing) and edit text: from OnGetText when set, else the field's own
  // formatting (display format for the display text).
  std::string DisplayText() const;
  std::string Text() const;
  // What a control commits: OnSetText when set, else SetAsString (EConvertError for a text that
  // does not convert: "'abc' não é um valor numérico válido.").
  void SetText(std::string_view text);

  // Moves the focus to the first control that shows this field (a box, a grid's column), as
  // checks do before reporting the field; nothing when no such control can take the focus.
  void FocusControl();

  // Characters a control may accept for this field while typing (numbers: digits, sign, decimal
  // comma, exponent letter).
  bool IsValidChar(char32_t ch) const;
  // The character a typed key enters: in a number the "." (the numeric keypad's decimal key)
  // is the decimal comma, so 2.75 is never taken as 275.
  char32_t TypedChar(char32_t ch) const;

 private:
  std::string FormattedText(bool display) const;

  TDataSet& dataset_;
  FieldDef def_;
  int index_;
  std::string displayLabel_;
  bool visible_ = true;
  std::string editMask_;
  std::string displayFormat_;
  int displayWidth_ = 0;
  bool required_ = false;
  bool readOnly_ = false;
};

}  // namespace ger
