#include "ui/listsearch.h"

#include "core/utf8.h"
#include "data/dataset.h"

namespace ger::ui {

namespace {
constexpr char kSeparator = '\x1F';

// The typed text without control characters (a separator pasted in must not match two columns).
std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x20) out += c;
  return out;
}
}  // namespace

std::string BareRegistration(std::string_view text) {
  std::string out;
  for (char c : utf8::FoldKey(text)) {
    const auto u = static_cast<unsigned char>(c);
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || u >= 0x80) out += c;
  }
  return out;
}

SearchText::SearchText(std::string_view typed) {
  const std::string clean = Printable(utf8::Trim(typed));
  folded_ = utf8::FoldKey(clean);
  bare_ = BareRegistration(clean);
}

void RowKeys::Build(TDataSet& dataset, const std::vector<SearchColumn>& columns) {
  texts_.clear();
  bare_.clear();
  if (!dataset.Active()) return;
  std::vector<std::pair<TField*, bool>> fields;
  for (const SearchColumn& c : columns)
    if (TField* f = dataset.FindField(c.field)) fields.emplace_back(f, c.registration);
  const int rows = dataset.RecordCount();
  texts_.resize(static_cast<std::size_t>(rows));
  bare_.resize(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    TDataSet::RowPeek peek(dataset, r);
    std::string& text = texts_[static_cast<std::size_t>(r)];
    std::string& bare = bare_[static_cast<std::size_t>(r)];
    for (const auto& [field, registration] : fields) {
      if (registration) {
        // As stored: the mask a registration is shown in follows the current row's person type.
        bare += kSeparator;
        bare += BareRegistration(field->AsString());
        continue;
      }
      text += kSeparator;
      text += utf8::FoldKey(field->DisplayText());
    }
  }
}

bool RowKeys::Matches(int row, const SearchText& text) const {
  if (text.Empty()) return true;
  if (row < 0 || row >= Count()) return false;
  const auto r = static_cast<std::size_t>(row);
  if (texts_[r].find(text.Folded()) != std::string::npos) return true;
  return !text.Bare().empty() && bare_[r].find(text.Bare()) != std::string::npos;
}

}  // namespace ger::ui
