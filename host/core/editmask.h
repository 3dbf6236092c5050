#pragma once
// Edit masks in the platform's notation "MASK;SAVE;BLANK" (">aa;0; ", "!999\-9;0;_").
//
// A mask is a row of positions: literals, shown and skipped while typing, and input positions of
// a class (L l letter, A a letter or digit, C c any character, 0 9 digit, # digit or sign; the
// capital is required, the small letter optional). ">" turns the following input to capitals,
// "<" to small letters, "<>" ends the conversion; "\" makes the next character a literal; "!"
// marks the mask as right-aligned. SAVE "0" drops the literals from the stored text (any other
// value keeps them); BLANK is the character shown for an unfilled position ("_" by default).
//
// The shown text always has one character per position; a position holding the blank character
// is unfilled. All positions and carets count characters, not bytes. An empty mask is a plain
// box: text is stored as shown and typing inserts at the caret.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ger {

class EditMask {
 public:
  enum class Kind { Literal, Letter, LetterOrDigit, Any, Digit, DigitOrSign };
  enum class Case { None, Upper, Lower };
  struct Position {
    Kind kind = Kind::Literal;
    bool required = false;
    Case conversion = Case::None;
    char32_t literal = 0;  // the character shown, for literals
  };

  // What a key did to the box: whether it was taken, and the box's text and caret afterwards
  // (unchanged when refused).
  struct Edit {
    bool accepted = false;
    std::string text;
    std::size_t caret = 0;
  };

  EditMask() = default;
  // Parses the mask text; an empty text is the empty mask.
  explicit EditMask(std::string_view maskText);

  const std::string& Text() const { return text_; }
  bool IsEmpty() const { return positions_.empty(); }
  bool SaveLiterals() const { return save_; }
  char32_t Blank() const { return blank_; }
  bool RightAligned() const { return rightAligned_; }
  const std::vector<Position>& Positions() const { return positions_; }
  // Number of characters of the shown text.
  std::size_t Length() const { return positions_.size(); }

  // The text shown for a stored value: literals in place, unfilled positions as the blank.
  // Without saved literals the stored characters fill the input positions in order; under "!" a
  // short value fills the last positions instead (the missing ones show as leading blanks), so
  // "!999\-9" shows "206" as " 20-6". Characters past the last position are not shown.
  // With saved literals, stored literals are matched against the mask's literals.
  std::string Format(std::string_view stored) const;
  // The text stored for a shown text: unfilled positions are dropped, literals only when SAVE
  // is not "0", trailing blanks dropped.
  std::string Unformat(std::string_view shown) const;

  // A character typed with the caret at `caret` and `selLength` characters selected. A selection
  // is cleared first (its positions become unfilled). The character goes to the first input
  // position at or after the caret; typing a literal's own character at that literal just moves
  // past it. A character the position's class refuses leaves everything unchanged.
  Edit Type(std::string_view shown, std::size_t caret, std::size_t selLength, char32_t ch) const;
  // Backspace removes the input character before the caret (over any literals in between) and
  // Delete the one at or after it; the following input characters move one position left, so
  // the box never shows a gap that the stored text would close. With a selection both remove
  // the selected input characters the same way.
  Edit Backspace(std::string_view shown, std::size_t caret, std::size_t selLength) const;
  Edit Delete(std::string_view shown, std::size_t caret, std::size_t selLength) const;
  // Types each character into an empty box from the start; refused characters are dropped.
  std::string TypeAll(std::string_view typed) const;

  // Whether every required position is filled, and which are not (character indexes).
  bool IsComplete(std::string_view shown) const { return Missing(shown).empty(); }
  std::vector<std::size_t> Missing(std::string_view shown) const;
  // Whether a character fits the input position `pos` (false for literals and out of range).
  bool Accepts(std::size_t pos, char32_t ch) const;
  // Caret position after skipping literals from `caret` forwards.
  std::size_t NextInput(std::size_t caret) const;

 private:
  // The shown text brought to one code point per position (missing ones unfilled).
  std::u32string Cells(std::string_view shown) const;
  std::string Join(const std::u32string& cells) const;
  // Removes the input characters of [from, to) and moves the following ones left.
  void RemoveInputs(std::u32string& cells, std::size_t from, std::size_t to) const;
  bool IsInput(std::size_t pos) const {
    return pos < positions_.size() && positions_[pos].kind != Kind::Literal;
  }

  std::string text_;
  std::vector<Position> positions_;
  bool save_ = true;
  char32_t blank_ = U'_';
  bool rightAligned_ = false;
};

}  // namespace ger
