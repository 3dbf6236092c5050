#pragma once
// Shared pieces of the report tests: a definition in a few lines, data packets, and metrics
// whose widths are easy to reason about.
#include <string>
#include <string_view>
#include <vector>

#include "core/utf8.h"
#include "data/packet.h"
#include "report/definition.h"
#include "report/document.h"
#include "report/layout.h"

namespace ger::report::testing {

// Every character is 4 points wide, a line 10 points high, whatever the font.
class FixedMetrics : public TextMetrics {
 public:
  double Width(std::string_view text, const FontSpec&) override {
    ++calls;
    return 4.0 * static_cast<double>(utf8::Length(text));
  }
  double LineHeight(const FontSpec&) override { return 10; }
  int calls = 0;
};

inline DataPacket Packet(std::vector<std::string> names, std::vector<Row> rows) {
  DataPacket p;
  for (std::string& n : names) p.fields.push_back({std::move(n), FieldKind::String, 100, {}});
  p.rows = std::move(rows);
  return p;
}

// The texts of a page in drawing order.
inline std::vector<std::string> Texts(const Page& page) {
  std::vector<std::string> out;
  for (const Op& op : page.ops)
    if (const auto* t = std::get_if<TextOp>(&op)) out.push_back(t->text);
  return out;
}

inline bool Contains(const std::vector<std::string>& texts, std::string_view wanted) {
  for (const std::string& t : texts)
    if (t == wanted) return true;
  return false;
}

}  // namespace ger::report::testing
