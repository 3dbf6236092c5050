#pragma once
// What a pick list offers the user: the rows of a dataset as shown (its visible fields under
// their labels, a text field with an edit mask in that mask, "6201-5/01"), and the filter the
// user types above them.
//
// The filter keeps the rows of which any shown cell contains the typed text, ignoring case,
// accents and the blanks around the text ("sao" finds "São Paulo" and "Lagoa de São Roque"); an
// empty filter keeps every row. The rows stay in the dataset's order. Each row's cells are
// folded once, when the list is built, and a text that only grows the previous one ("sã" after
// "s") is looked for among the rows the previous one kept, so one keystroke over every
// municipality of the country costs a few hundred microseconds.
//
// Rows are numbered from 0 in the dataset's order; the chosen row is the dataset's RecNo() - 1.
#include <string>
#include <string_view>
#include <vector>

namespace ger {

class TDataSet;

namespace ui {

class PickListModel {
 public:
  PickListModel() = default;
  // Reads the rows of the dataset as it stands (an inactive dataset lists nothing).
  explicit PickListModel(const TDataSet& dataset);

  const std::vector<std::string>& Titles() const { return titles_; }
  int ColumnCount() const { return static_cast<int>(titles_.size()); }
  int RowCount() const { return static_cast<int>(cells_.size() / Width()); }
  const std::string& Cell(int row, int column) const;

  const std::string& Filter() const { return filter_; }
  // Keeps the rows that match the text; false when the rows kept did not change.
  bool SetFilter(std::string_view text);
  // Rows kept by the filter, in order.
  const std::vector<int>& Shown() const { return shown_; }
  bool IsShown(int row) const;

 private:
  std::size_t Width() const { return titles_.empty() ? 1 : titles_.size(); }

  std::vector<std::string> titles_;
  std::vector<std::string> cells_;  // row by row
  std::vector<std::string> keys_;   // per row: the folded cells, each followed by '\n'
  std::string filter_;
  std::string folded_;  // the folded, trimmed filter the rows in shown_ match
  std::vector<int> shown_;
};

}  // namespace ui
}  // namespace ger
