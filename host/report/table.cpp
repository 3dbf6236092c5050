#include "report/table.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <optional>

#include "core/consiste_text.h"
#include "core/editmask.h"
#include "core/exceptions.h"
#include "core/ptbr.h"
#include "core/utf8.h"

namespace ger::report {

namespace {

using Values = std::vector<const Value*>;

// The text of a value as the screens show it; blobs have none.
std::string PlainText(const Value& v) {
  if (std::holds_alternative<Bytes>(v)) return {};
  return ptbr::ValueText(v);
}

// Text columns hold "*" for an empty value that was confirmed as such.
std::string Shown(const Value& v) {
  std::string s = PlainText(v);
  return s == "*" ? std::string() : s;
}

// Text fit for drawing and for a spreadsheet: valid UTF-8 (stray legacy bytes read as the legacy
// character set) and no control characters but line breaks.
std::string Clean(std::string text) {
  bool plain = true;
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 0x80 || (b < 0x20 && b != '\n')) plain = false;
  }
  if (plain) return text;
  std::u32string cps = utf8::Decode(text);
  std::u32string out;
  out.reserve(cps.size());
  for (char32_t cp : cps) {
    if (cp == U'\t') cp = U' ';
    if (cp < 0x20 && cp != U'\n') continue;
    out.push_back(cp);
  }
  return utf8::Encode(out);
}

Cell Same(std::string text) {
  Cell c{Clean(std::move(text)), {}};
  c.csv = c.text;
  return c;
}

Cell FormatText(const ColumnDef&, const Values& v) {
  return Same(std::string(utf8::Trim(Shown(*v[0]))));
}

Cell FormatJoin(const ColumnDef& c, const Values& v) {
  std::string out;
  for (const Value* value : v) {
    std::string s(utf8::Trim(Shown(*value)));
    if (s.empty()) continue;
    if (!out.empty()) out += c.separator;
    out += s;
  }
  return Same(std::move(out));
}

Cell FormatRegistration(const ColumnDef&, const Values& v) {
  const std::string number(utf8::Trim(Shown(*v[0])));
  const EditMask mask(Consiste::PictPess(PlainText(*v[1])));
  // The mask's digits are all optional: a short number would show its separators around gaps.
  const auto inputs =
      std::count_if(mask.Positions().begin(), mask.Positions().end(),
                    [](const EditMask::Position& p) { return p.kind != EditMask::Kind::Literal; });
  if (static_cast<std::size_t>(inputs) != utf8::Length(number)) return Same(number);
  return Same(mask.Format(number));
}

Cell FormatNumber(const ColumnDef& c, const Values& v) {
  const Value& value = *v[0];
  double d = 0;
  if (const auto* f = std::get_if<double>(&value))
    d = *f;
  else if (const auto* i = std::get_if<std::int64_t>(&value))
    d = static_cast<double>(*i);
  else
    return Same(Shown(value));
  return {ptbr::FormatFloat(d, c.display), ptbr::FormatFloat(d)};
}

Cell FormatDate(const ColumnDef&, const Values& v) {
  if (const auto* d = std::get_if<DateTime>(v[0])) return Same(ptbr::FormatDate(*d));
  return Same(Shown(*v[0]));
}

Cell FormatFlag(const ColumnDef&, const Values& v) {
  const std::string s = Shown(*v[0]);
  if (s == "S") return Same("Sim");
  if (s == "N") return Same("Não");
  return Same(s);
}

struct Format {
  int fields;
  const char* align;
  Cell (*apply)(const ColumnDef&, const Values&);
};

const std::map<std::string, Format>& Formats() {
  static const std::map<std::string, Format> formats = {
      {"text", {1, "left", FormatText}},
      {"join", {-1, "left", FormatJoin}},
      {"registration", {2, "left", FormatRegistration}},
      {"number", {1, "right", FormatNumber}},
      {"date", {1, "left", FormatDate}},
      {"flag", {1, "center", FormatFlag}},
  };
  return formats;
}

// A column bound to the data: the indexes of its fields and its format.
struct Bound {
  const ColumnDef* def;
  std::vector<int> index;
  const Format* format;

  Cell Apply(const Row& row) const {
    Values values;
    values.reserve(index.size());
    for (int i : index) values.push_back(&row[static_cast<std::size_t>(i)]);
    return format->apply(*def, values);
  }
};

int IndexOf(const Definition& d, const DataPacket& data, const std::string& field) {
  const int i = data.IndexOf(field);
  if (i < 0) throw Exception("Report " + d.code + ": the data has no column \"" + field + "\".");
  return i;
}

Bound Bind(const Definition& d, const DataPacket& data, const ColumnDef& c) {
  Bound b{&c, {}, &Formats().at(c.format)};
  for (const std::string& f : c.fields) b.index.push_back(IndexOf(d, data, f));
  return b;
}

// Texts without regard to case and accents, then as stored, so that the order is total.
int CompareTexts(const std::string& a, const std::string& b) {
  const int folded = utf8::FoldKey(a).compare(utf8::FoldKey(b));
  if (folded != 0) return folded;
  return a.compare(b);
}

// Order of two values of one column: empty first, numbers and dates by value, texts without
// regard to case and accents.
int Compare(const Value& a, const Value& b) {
  const bool emptyA = IsNull(a), emptyB = IsNull(b);
  if (emptyA || emptyB) return emptyA == emptyB ? 0 : (emptyA ? -1 : 1);
  auto number = [](const Value& v, double& out) {
    if (const auto* f = std::get_if<double>(&v)) {
      out = *f;
      return true;
    }
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
      out = static_cast<double>(*i);
      return true;
    }
    return false;
  };
  double x, y;
  if (number(a, x) && number(b, y)) return x < y ? -1 : (y < x ? 1 : 0);
  const auto* da = std::get_if<DateTime>(&a);
  const auto* db = std::get_if<DateTime>(&b);
  if (da && db) return *da < *db ? -1 : (*db < *da ? 1 : 0);
  const int t = CompareTexts(PlainText(a), PlainText(b));
  return t < 0 ? -1 : (t > 0 ? 1 : 0);
}

}  // namespace

int FormatFieldCount(const std::string& format) {
  auto it = Formats().find(format);
  return it == Formats().end() ? 0 : it->second.fields;
}

std::string DefaultAlign(const std::string& format) {
  auto it = Formats().find(format);
  return it == Formats().end() ? "left" : it->second.align;
}

Table BuildTable(const Definition& d, const DataPacket& data) {
  std::vector<Bound> columns;
  Table table;
  for (const ColumnDef& c : d.columns) {
    columns.push_back(Bind(d, data, c));
    table.titles.push_back(c.title);
  }
  std::optional<Bound> group;
  if (d.group) group = Bind(d, data, d.group->value);
  std::vector<std::pair<int, bool>> keys;
  for (const SortKey& k : d.order) keys.emplace_back(IndexOf(d, data, k.field), k.descending);

  std::vector<std::string> groupText(data.rows.size());
  if (group)
    for (std::size_t r = 0; r < data.rows.size(); ++r)
      groupText[r] = group->Apply(data.rows[r]).text;
  std::vector<std::size_t> order(data.rows.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (group) {
      const int g = CompareTexts(groupText[a], groupText[b]);
      if (g != 0) return g < 0;
    }
    for (const auto& [index, descending] : keys) {
      const auto i = static_cast<std::size_t>(index);
      const int c = Compare(data.rows[a][i], data.rows[b][i]);
      if (c != 0) return descending ? c > 0 : c < 0;
    }
    return false;
  });

  table.rows.reserve(order.size());
  for (std::size_t r : order) {
    TableRow row;
    row.cells.reserve(columns.size());
    for (const Bound& b : columns) row.cells.push_back(b.Apply(data.rows[r]));
    row.group = std::move(groupText[r]);
    table.rows.push_back(std::move(row));
  }
  return table;
}

}  // namespace ger::report
