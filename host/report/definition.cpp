#include "report/definition.h"

#include <fstream>
#include <sstream>

#include <boost/json.hpp>

#include "core/exceptions.h"
#include "report/table.h"

namespace ger::report {

namespace json = boost::json;

namespace {

class Reader {
 public:
  explicit Reader(std::string origin) : origin_(std::move(origin)) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw Exception("Report definition " + origin_ + ": " + what + ".");
  }

  const json::object& Object(const json::value& v, const std::string& what) const {
    if (!v.is_object()) Fail(what + " must be an object");
    return v.as_object();
  }
  std::string Text(const json::object& o, const char* key, const std::string& what,
                   std::optional<std::string> fallback = std::nullopt) const {
    const json::value* v = o.if_contains(key);
    if (!v) {
      if (fallback) return *fallback;
      Fail(what + " has no \"" + key + "\"");
    }
    if (!v->is_string()) Fail(what + ": \"" + key + "\" must be a text");
    return std::string(v->as_string());
  }
  double Number(const json::object& o, const char* key, const std::string& what, double fallback,
                double min, double max) const {
    const json::value* v = o.if_contains(key);
    if (!v) return fallback;
    if (!v->is_number()) Fail(what + ": \"" + key + "\" must be a number");
    const double d = v->to_number<double>();
    if (!(d >= min && d <= max))
      Fail(what + ": \"" + key + "\" must lie between " + Plain(min) + " and " + Plain(max));
    return d;
  }
  std::vector<std::string> Texts(const json::object& o, const char* key,
                                 const std::string& what) const {
    std::vector<std::string> out;
    const json::value* v = o.if_contains(key);
    if (!v) return out;
    if (!v->is_array()) Fail(what + ": \"" + key + "\" must be a list of texts");
    for (const json::value& item : v->as_array()) {
      if (!item.is_string()) Fail(what + ": \"" + key + "\" must be a list of texts");
      out.emplace_back(item.as_string());
    }
    return out;
  }

  ColumnDef Column(const json::value& v, const std::string& what) const {
    const json::object& o = Object(v, what);
    ColumnDef c;
    c.title = Text(o, "title", what, "");
    if (o.contains("field") && o.contains("fields"))
      Fail(what + " has both \"field\" and \"fields\"");
    if (o.contains("field"))
      c.fields = {Text(o, "field", what)};
    else
      c.fields = Texts(o, "fields", what);
    c.format = Text(o, "format", what, "text");
    const int wanted = FormatFieldCount(c.format);
    if (wanted == 0) Fail(what + ": unknown format \"" + c.format + "\"");
    if (c.fields.empty()) Fail(what + " names no field");
    if (wanted > 0 && static_cast<int>(c.fields.size()) != wanted)
      Fail(what + ": format \"" + c.format + "\" takes " + std::to_string(wanted) + " field(s)");
    c.width = Number(o, "width", what, 20, 1, 1000);
    const std::string align = Text(o, "align", what, DefaultAlign(c.format));
    if (align == "left")
      c.align = Align::Left;
    else if (align == "right")
      c.align = Align::Right;
    else if (align == "center")
      c.align = Align::Center;
    else
      Fail(what + ": \"align\" is left, right or center");
    const std::string overflow = Text(o, "overflow", what, "wrap");
    if (overflow == "wrap")
      c.overflow = Overflow::Wrap;
    else if (overflow == "ellipsis")
      c.overflow = Overflow::Ellipsis;
    else
      Fail(what + ": \"overflow\" is wrap or ellipsis");
    c.lines = static_cast<int>(Number(o, "lines", what, 3, 1, 20));
    c.separator = Text(o, "separator", what, " ");
    c.display = Text(o, "display", what, "");
    return c;
  }

 private:
  static std::string Plain(double d) {
    std::ostringstream s;
    s << d;
    return s.str();
  }
  std::string origin_;
};

}  // namespace

Definition ParseDefinition(std::string_view text, const std::string& origin) {
  Reader r(origin);
  json::value root;
  try {
    root = json::parse(text);
  } catch (const std::exception& e) {
    r.Fail(std::string("not JSON (") + e.what() + ")");
  }
  const json::object& o = r.Object(root, "the definition");
  Definition d;
  d.code = r.Text(o, "code", "the definition");
  d.title = r.Text(o, "title", "the definition");
  if (!o.contains("source")) r.Fail("the definition has no \"source\"");
  const json::object& src = r.Object(o.at("source"), "\"source\"");
  d.source.object = r.Text(src, "object", "\"source\"");
  d.source.method = r.Text(src, "method", "\"source\"");
  d.source.params = r.Texts(src, "params", "\"source\"");
  const std::string orientation = r.Text(o, "orientation", "the definition", "auto");
  if (orientation == "auto")
    d.orientation = Orientation::Auto;
  else if (orientation == "portrait")
    d.orientation = Orientation::Portrait;
  else if (orientation == "landscape")
    d.orientation = Orientation::Landscape;
  else
    r.Fail("\"orientation\" is auto, portrait or landscape");
  d.margin = r.Number(o, "margin", "the definition", 10, 0, 50);
  d.fontSize = r.Number(o, "font", "the definition", 7.5, 4, 24);
  for (std::string key : r.Texts(o, "order", "the definition")) {
    SortKey k;
    if (!key.empty() && key[0] == '-') {
      k.descending = true;
      key.erase(0, 1);
    }
    if (key.empty()) r.Fail("\"order\" has an empty field name");
    k.field = std::move(key);
    d.order.push_back(std::move(k));
  }
  if (const json::value* g = o.if_contains("group")) {
    GroupDef group;
    group.label = r.Text(r.Object(*g, "\"group\""), "label", "\"group\"", "");
    group.value = r.Column(*g, "\"group\"");
    d.group = std::move(group);
  }
  d.empty = r.Text(o, "empty", "the definition", "");
  const json::value* columns = o.if_contains("columns");
  if (!columns || !columns->is_array() || columns->as_array().empty())
    r.Fail("\"columns\" must list at least one column");
  int n = 0;
  for (const json::value& c : columns->as_array())
    d.columns.push_back(r.Column(c, "column " + std::to_string(++n)));
  return d;
}

Definition LoadDefinition(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Exception("Report definition " + file.string() + " cannot be read.");
  std::ostringstream text;
  text << in.rdbuf();
  return ParseDefinition(text.str(), file.string());
}

std::optional<std::filesystem::path> FindDefinition(
    const std::string& code, const std::vector<std::filesystem::path>& dirs) {
  if (code.empty() || code.find_first_of("/\\.") != std::string::npos) return std::nullopt;
  for (const auto& dir : dirs) {
    if (dir.empty()) continue;
    std::error_code ec;
    std::filesystem::path file = dir / (code + ".json");
    if (std::filesystem::is_regular_file(file, ec)) return file;
  }
  return std::nullopt;
}

}  // namespace ger::report
