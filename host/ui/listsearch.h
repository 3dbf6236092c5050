#pragma once
// Finding rows of a list by what the user types, as the find dialog, its "next" and the filter
// box above a list do it. A row matches when one of the search's columns contains the typed text,
// compared without regard to case and accents ("metalurgica" finds "Metalúrgica"). A column that
// holds a registration (CNPJ, CPF, state registration) also matches the typed text without its
// punctuation, so "77.888.999", "77888999" and "888.999/0001" find the same company whichever
// way it is typed. Texts are read as the list shows them (get-text handlers apply: the blank
// shown for a placeholder matches nothing); registrations as stored, since the mask they are
// shown in follows the current row.
//
// The keys of the rows are read once and kept by the caller until the dataset's generation moves
// (TDataSet::Generation), so a keystroke of a filter compares texts only.
#include <string>
#include <string_view>
#include <vector>

namespace ger {
class TDataSet;
}

namespace ger::ui {

// A column a search reads: a field of the dataset, and whether it holds a registration.
struct SearchColumn {
  std::string field;
  bool registration = false;
};

// Folded (capitals, no accents) and with only its letters and digits left: the form a
// registration is compared in.
std::string BareRegistration(std::string_view text);

// The typed text made ready to compare.
class SearchText {
 public:
  explicit SearchText(std::string_view typed);
  // Nothing to look for (empty or only blanks): every row matches.
  bool Empty() const { return folded_.empty(); }
  const std::string& Folded() const { return folded_; }
  const std::string& Bare() const { return bare_; }

 private:
  std::string folded_;
  std::string bare_;
};

// The search keys of every row of a dataset, in the dataset's order.
class RowKeys {
 public:
  // Reads every row (through peeks: the cursor does not move and no handler of a move runs).
  // Columns naming no field of the dataset are skipped.
  void Build(TDataSet& dataset, const std::vector<SearchColumn>& columns);
  int Count() const { return static_cast<int>(texts_.size()); }
  bool Matches(int row, const SearchText& text) const;

 private:
  // Per row: the folded texts of every column, and the bare registrations, each joined by a
  // separator no typed text holds, so that a match never spans two columns.
  std::vector<std::string> texts_;
  std::vector<std::string> bare_;
};

}  // namespace ger::ui
