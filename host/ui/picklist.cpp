#include "ui/picklist.h"

#include <algorithm>

#include "core/editmask.h"
#include "core/ptbr.h"
#include "core/utf8.h"
#include "data/dataset.h"

namespace ger::ui {

namespace {

// A cell as the field shows it in a list: numbers in the field's display format, text in its
// edit mask.
std::string CellText(const TField& field, const EditMask& mask, const Value& value) {
  struct Visitor {
    const TField& field;
    const EditMask& mask;
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(const std::string& s) const {
      return mask.IsEmpty() ? s : mask.Format(s);
    }
    std::string operator()(double d) const {
      return field.DisplayFormat().empty() ? ptbr::FormatFloat(d)
                                           : ptbr::FormatFloat(d, field.DisplayFormat());
    }
    std::string operator()(std::int64_t i) const {
      return field.DisplayFormat().empty()
                 ? std::to_string(i)
                 : ptbr::FormatFloat(static_cast<double>(i), field.DisplayFormat());
    }
    std::string operator()(DateTime d) const { return ptbr::FormatDateTime(d); }
    std::string operator()(const Bytes&) const { return "(BLOB)"; }
  };
  return std::visit(Visitor{field, mask}, value);
}

}  // namespace

PickListModel::PickListModel(const TDataSet& dataset) {
  if (!dataset.Active()) return;
  const DataPacket data = dataset.Data();
  struct Column {
    const TField* field;
    int index;
    EditMask mask;
  };
  std::vector<Column> columns;
  for (int i = 0; i < dataset.FieldCount(); ++i) {
    const TField& f = dataset.Field(i);
    if (!f.Visible()) continue;
    const int index = data.IndexOf(f.FieldName());
    if (index < 0) continue;
    columns.push_back({&f, index, EditMask(f.Kind() == FieldKind::String ? f.EditMask() : "")});
    titles_.push_back(f.DisplayLabel());
  }
  cells_.reserve(data.rows.size() * Width());
  keys_.reserve(data.rows.size());
  for (const Row& row : data.rows) {
    std::string key;
    for (const Column& c : columns) {
      cells_.push_back(CellText(*c.field, c.mask, row.at(static_cast<std::size_t>(c.index))));
      key += utf8::FoldKey(cells_.back());
      // A line break cannot be typed into the filter, so no match runs from one cell into the next.
      key += '\n';
    }
    if (columns.empty()) cells_.emplace_back();
    keys_.push_back(std::move(key));
  }
  shown_.resize(keys_.size());
  for (std::size_t r = 0; r < shown_.size(); ++r) shown_[r] = static_cast<int>(r);
}

const std::string& PickListModel::Cell(int row, int column) const {
  return cells_.at(static_cast<std::size_t>(row) * Width() + static_cast<std::size_t>(column));
}

bool PickListModel::IsShown(int row) const {
  return std::binary_search(shown_.begin(), shown_.end(), row);
}

bool PickListModel::SetFilter(std::string_view text) {
  filter_ = std::string(text);
  std::string folded = utf8::FoldKey(utf8::Trim(text));
  if (folded == folded_) return false;
  std::vector<int> kept;
  const bool narrower = folded.find(folded_) != std::string::npos;
  auto test = [&](int row) {
    if (keys_[static_cast<std::size_t>(row)].find(folded) != std::string::npos) kept.push_back(row);
  };
  if (narrower) {
    // Every row that contains the new text contains the old one too.
    kept.reserve(shown_.size());
    for (int row : shown_) test(row);
  } else {
    kept.reserve(keys_.size());
    for (int row = 0; row < static_cast<int>(keys_.size()); ++row) test(row);
  }
  folded_ = std::move(folded);
  const bool changed = kept != shown_;
  shown_ = std::move(kept);
  return changed;
}

}  // namespace ger::ui
