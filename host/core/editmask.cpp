#include "core/editmask.h"

#include <algorithm>

#include "core/utf8.h"

namespace ger {

namespace {

bool IsDigit(char32_t c) {
  return c >= U'0' && c <= U'9';
}

// Letters of the Latin scripts (Portuguese accents included); other scripts are not expected in
// these boxes.
bool IsLetter(char32_t c) {
  if ((c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z')) return true;
  if (c >= 0xC0 && c <= 0xFF) return c != 0xD7 && c != 0xF7;
  return c >= 0x100 && c <= 0x24F;
}

char32_t Convert(char32_t c, EditMask::Case conversion) {
  switch (conversion) {
    case EditMask::Case::Upper:
      return utf8::ToUpper(c);
    case EditMask::Case::Lower:
      return utf8::ToLower(c);
    case EditMask::Case::None:
      break;
  }
  return c;
}

// Splits at the ";" that are not escaped by "\".
std::vector<std::u32string> SplitFields(const std::u32string& text) {
  std::vector<std::u32string> fields(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'\\' && i + 1 < text.size()) {
      fields.back() += text[i];
      fields.back() += text[++i];
    } else if (text[i] == U';') {
      fields.emplace_back();
    } else {
      fields.back() += text[i];
    }
  }
  return fields;
}

}  // namespace

EditMask::EditMask(std::string_view maskText) : text_(maskText) {
  auto fields = SplitFields(utf8::Decode(maskText));
  // The last two fields are SAVE and BLANK when present; a ";" left in the mask stays in it.
  std::u32string mask = fields[0];
  if (fields.size() >= 3) {
    for (std::size_t i = 1; i + 2 < fields.size(); ++i) mask += U';' + fields[i];
    const auto& blank = fields[fields.size() - 1];
    save_ = fields[fields.size() - 2] != U"0";
    if (!blank.empty()) blank_ = blank[0];
  } else if (fields.size() == 2) {
    save_ = fields[1] != U"0";
  }

  Case conversion = Case::None;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    const char32_t c = mask[i];
    Position p;
    p.conversion = conversion;
    switch (c) {
      case U'\\':
        p.literal = i + 1 < mask.size() ? mask[++i] : c;
        break;
      case U'>':
        conversion = Case::Upper;
        continue;
      case U'<':
        if (i + 1 < mask.size() && mask[i + 1] == U'>') {
          ++i;
          conversion = Case::None;
        } else {
          conversion = Case::Lower;
        }
        continue;
      case U'!':
        rightAligned_ = true;
        continue;
      case U'L':
        p.kind = Kind::Letter, p.required = true;
        break;
      case U'l':
        p.kind = Kind::Letter;
        break;
      case U'A':
        p.kind = Kind::LetterOrDigit, p.required = true;
        break;
      case U'a':
        p.kind = Kind::LetterOrDigit;
        break;
      case U'C':
        p.kind = Kind::Any, p.required = true;
        break;
      case U'c':
        p.kind = Kind::Any;
        break;
      case U'0':
        p.kind = Kind::Digit, p.required = true;
        break;
      case U'9':
        p.kind = Kind::Digit;
        break;
      case U'#':
        p.kind = Kind::DigitOrSign;
        break;
      default:
        p.literal = c;
        break;
    }
    if (p.kind == Kind::Literal) p.conversion = Case::None;
    positions_.push_back(p);
  }
}

bool EditMask::Accepts(std::size_t pos, char32_t ch) const {
  if (IsEmpty()) return true;
  if (!IsInput(pos)) return false;
  switch (positions_[pos].kind) {
    case Kind::Letter:
      return IsLetter(ch);
    case Kind::LetterOrDigit:
      return IsLetter(ch) || IsDigit(ch);
    case Kind::Any:
      return ch >= 0x20 && ch != 0x7F;
    case Kind::Digit:
      return IsDigit(ch);
    case Kind::DigitOrSign:
      return IsDigit(ch) || ch == U'+' || ch == U'-';
    case Kind::Literal:
      break;
  }
  return false;
}

std::size_t EditMask::NextInput(std::size_t caret) const {
  while (caret < positions_.size() && !IsInput(caret)) ++caret;
  return std::min(caret, positions_.size());
}

std::u32string EditMask::Cells(std::string_view shown) const {
  const std::u32string in = utf8::Decode(shown);
  std::u32string cells(positions_.size(), blank_);
  for (std::size_t i = 0; i < positions_.size(); ++i) {
    if (!IsInput(i)) {
      cells[i] = positions_[i].literal;
    } else if (i < in.size()) {
      cells[i] = in[i];
    }
  }
  return cells;
}

std::string EditMask::Join(const std::u32string& cells) const {
  return utf8::Encode(cells);
}

std::string EditMask::Format(std::string_view stored) const {
  if (IsEmpty()) return std::string(stored);
  const std::u32string s = utf8::Decode(stored);
  std::u32string cells(positions_.size(), blank_);
  for (std::size_t i = 0; i < positions_.size(); ++i)
    if (!IsInput(i)) cells[i] = positions_[i].literal;

  if (!save_) {
    std::vector<std::size_t> inputs;
    for (std::size_t i = 0; i < positions_.size(); ++i)
      if (IsInput(i)) inputs.push_back(i);
    const std::size_t skip =
        rightAligned_ && s.size() < inputs.size() ? inputs.size() - s.size() : 0;
    for (std::size_t q = skip, j = 0; q < inputs.size() && j < s.size(); ++q, ++j)
      cells[inputs[q]] = s[j];
    return Join(cells);
  }

  // Stored with literals: a stored literal lines up with the mask's; an input position whose
  // character is missing (the stored text already shows the next literal) stays unfilled.
  std::size_t j = 0;
  for (std::size_t i = 0; i < positions_.size() && j < s.size(); ++i) {
    if (!IsInput(i)) {
      if (s[j] == positions_[i].literal) ++j;
      continue;
    }
    if (!Accepts(i, s[j])) {
      std::size_t lit = i;
      while (lit < positions_.size() && IsInput(lit)) ++lit;
      if (lit < positions_.size() && s[j] == positions_[lit].literal) continue;
    }
    cells[i] = s[j++];  // shown as it is even when it does not fit: the box hides nothing
  }
  return Join(cells);
}

std::string EditMask::Unformat(std::string_view shown) const {
  if (IsEmpty()) return std::string(shown);
  const std::u32string cells = Cells(shown);
  std::u32string out;
  std::size_t keep = 0;  // length up to the last filled input position
  for (std::size_t i = 0; i < positions_.size(); ++i) {
    if (!IsInput(i)) {
      if (save_) out += cells[i];
    } else if (cells[i] != blank_) {
      out += cells[i];
      keep = out.size();
    }
  }
  out.resize(keep);  // literals after the last character typed are not stored
  while (!out.empty() && out.back() == U' ') out.pop_back();
  return utf8::Encode(out);
}

void EditMask::RemoveInputs(std::u32string& cells, std::size_t from, std::size_t to) const {
  std::u32string moved;  // the input characters after the removed range, in order
  std::vector<std::size_t> slots;
  for (std::size_t i = from; i < positions_.size(); ++i) {
    if (!IsInput(i)) continue;
    slots.push_back(i);
    if (i >= to) moved += cells[i];
  }
  std::u32string shifted = cells;
  bool fits = true;
  for (std::size_t k = 0; k < slots.size(); ++k) {
    const char32_t c = k < moved.size() ? moved[k] : blank_;
    if (c != blank_ && !Accepts(slots[k], c)) fits = false;
    shifted[slots[k]] = c;
  }
  if (fits) {
    cells = std::move(shifted);
  } else {
    // Moving would put a character where its class refuses it ("LL99"): clear instead.
    for (std::size_t i : slots)
      if (i < to) cells[i] = blank_;
  }
}

EditMask::Edit EditMask::Type(std::string_view shown, std::size_t caret, std::size_t selLength,
                              char32_t ch) const {
  if (IsEmpty()) {
    std::u32string t = utf8::Decode(shown);
    caret = std::min(caret, t.size());
    t.erase(caret, std::min(selLength, t.size() - caret));
    t.insert(t.begin() + static_cast<std::ptrdiff_t>(caret), ch);
    return {true, utf8::Encode(t), caret + 1};
  }
  const std::size_t n = positions_.size();
  const Edit refused{false, std::string(shown), caret};
  std::u32string cells = Cells(shown);
  caret = std::min(caret, n);
  const std::size_t selEnd = std::min(n, caret + selLength);
  for (std::size_t i = caret; i < selEnd; ++i)
    if (IsInput(i)) cells[i] = blank_;

  if (caret < n && !IsInput(caret) && positions_[caret].literal == ch)
    return {true, Join(cells), NextInput(caret + 1)};
  const std::size_t q = NextInput(caret);
  if (q >= n || !Accepts(q, ch)) return refused;
  cells[q] = Convert(ch, positions_[q].conversion);
  return {true, Join(cells), NextInput(q + 1)};
}

EditMask::Edit EditMask::Backspace(std::string_view shown, std::size_t caret,
                                   std::size_t selLength) const {
  if (IsEmpty()) {
    std::u32string t = utf8::Decode(shown);
    caret = std::min(caret, t.size());
    if (selLength > 0) {
      t.erase(caret, std::min(selLength, t.size() - caret));
    } else if (caret > 0) {
      t.erase(--caret, 1);
    } else {
      return {false, std::string(shown), 0};
    }
    return {true, utf8::Encode(t), caret};
  }
  const std::size_t n = positions_.size();
  std::u32string cells = Cells(shown);
  caret = std::min(caret, n);
  if (selLength > 0) {
    RemoveInputs(cells, caret, std::min(n, caret + selLength));
    return {true, Join(cells), caret};
  }
  std::size_t q = caret;
  while (q > 0 && !IsInput(q - 1)) --q;
  if (q == 0) return {false, std::string(shown), caret};
  --q;
  RemoveInputs(cells, q, q + 1);
  return {true, Join(cells), q};
}

EditMask::Edit EditMask::Delete(std::string_view shown, std::size_t caret,
                                std::size_t selLength) const {
  if (IsEmpty()) {
    std::u32string t = utf8::Decode(shown);
    caret = std::min(caret, t.size());
    if (caret == t.size()) return {false, std::string(shown), caret};
    t.erase(caret, std::max<std::size_t>(1, std::min(selLength, t.size() - caret)));
    return {true, utf8::Encode(t), caret};
  }
  const std::size_t n = positions_.size();
  std::u32string cells = Cells(shown);
  caret = std::min(caret, n);
  if (selLength > 0) {
    RemoveInputs(cells, caret, std::min(n, caret + selLength));
    return {true, Join(cells), caret};
  }
  const std::size_t q = NextInput(caret);
  if (q >= n) return {false, std::string(shown), caret};
  RemoveInputs(cells, q, q + 1);
  return {true, Join(cells), caret};
}

std::string EditMask::TypeAll(std::string_view typed) const {
  std::string shown = IsEmpty() ? std::string() : Join(std::u32string(Cells("")));
  std::size_t caret = 0;
  for (char32_t ch : utf8::Decode(typed)) {
    Edit e = Type(shown, caret, 0, ch);
    if (e.accepted) shown = std::move(e.text), caret = e.caret;
  }
  return shown;
}

std::vector<std::size_t> EditMask::Missing(std::string_view shown) const {
  std::vector<std::size_t> missing;
  if (IsEmpty()) return missing;
  const std::u32string cells = Cells(shown);
  for (std::size_t i = 0; i < positions_.size(); ++i)
    if (IsInput(i) && positions_[i].required && cells[i] == blank_) missing.push_back(i);
  return missing;
}

}  // namespace ger
