// The tree reader of the packet codec: a document parsed into a monotonic arena and walked, and the
// checks every reader shares (the field list, each cell against its column).
#include <cmath>

#include <boost/json.hpp>

#include "core/exceptions.h"
#include "data/packet.h"
#include "data/packet_internal.h"

namespace ger {

namespace json = boost::json;
using codec::detail::Fail;

namespace codec::detail {

void Fail(std::string_view what, const std::string& detail) {
  throw EDatabaseError(std::string(what) + " inválido: " + detail + ".");
}

std::string Quoted(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out.push_back('\'');
  out.append(s);
  out.push_back('\'');
  return out;
}

const json::object& Decoder::Object(const json::value& v, const std::string& where) const {
  if (!v.is_object()) Fail(what, where + " não é um objeto");
  return v.get_object();
}
const json::array& Decoder::Array(const json::object& o, std::string_view key,
                                  const std::string& where) const {
  auto it = o.find(key);
  if (it == o.end()) Fail(what, "falta o membro '" + std::string(key) + "' em " + where);
  if (!it->value().is_array())
    Fail(what, "o membro '" + std::string(key) + "' de " + where + " não é uma lista");
  return it->value().get_array();
}

std::vector<FieldDef> Decoder::Fields(const json::object& root) const {
  const json::array& arr = Array(root, "fields", "o documento");
  std::vector<FieldDef> fields;
  fields.reserve(arr.size());
  for (std::size_t i = 0; i < arr.size(); ++i) {
    std::string where = "a definição do campo " + std::to_string(i + 1);
    const json::object& o = Object(arr[i], where);
    FieldDef def;
    auto name = o.find("name");
    if (name == o.end() || !name->value().is_string() || name->value().get_string().empty())
      Fail(what, where + " não tem nome");
    def.name = std::string(name->value().get_string());
    where = "o campo " + Quoted(def.name);
    if (IndexOfName(fields, def.name) >= 0) Fail(what, where + " aparece mais de uma vez");
    auto type = o.find("type");
    if (type == o.end() || !type->value().is_string()) Fail(what, where + " não tem tipo");
    std::string_view t = type->value().get_string();
    auto kind = KindOf(t);
    if (!kind) Fail(what, where + " tem o tipo desconhecido " + Quoted(t));
    def.kind = *kind;
    if (auto size = o.find("size"); size != o.end()) {
      const json::value& sv = size->value();
      if (!sv.is_int64() || sv.get_int64() < 0 || sv.get_int64() > 1'000'000'000)
        Fail(what, where + " tem um tamanho inválido");
      def.size = static_cast<int>(sv.get_int64());
    }
    if (auto flags = o.find("flags"); flags != o.end()) {
      if (!flags->value().is_array()) Fail(what, where + " tem sinalizadores inválidos");
      def.flags = ProviderFlags::None();
      for (const json::value& f : flags->value().get_array()) {
        std::string_view s = f.is_string() ? std::string_view(f.get_string()) : "";
        if (s == "update")
          def.flags.update = true;
        else if (s == "where")
          def.flags.where = true;
        else if (s == "key")
          def.flags.key = true;
        else
          Fail(what, where + " tem um sinalizador desconhecido");
      }
    }
    fields.push_back(std::move(def));
  }
  return fields;
}

Value Decoder::Cell(const json::value& v, const FieldDef& f, const std::string& where) const {
  if (v.is_null()) return {};
  // The JSON scalar as the streaming reader keeps it, then the one conversion to the column.
  Value cell;
  if (v.is_string())
    cell = std::string(v.get_string());
  else if (v.is_int64())
    cell = v.get_int64();
  else if (v.is_uint64())
    cell = static_cast<double>(v.get_uint64());  // beyond int64: float only
  else if (v.is_double() && std::isfinite(v.get_double()))
    cell = v.get_double();
  else
    Misfit(Value{}, f, where);  // a boolean, a list or an object
  if (!codec::ConformValue(f.kind, cell)) Misfit(cell, f, where);
  return cell;
}

void Decoder::Conform(Value& v, const FieldDef& f, std::size_t rowIndex) const {
  // The place is only written on a failure: this runs for most of a packet's cells.
  if (!codec::ConformValue(f.kind, v)) Misfit(v, f, "linha " + std::to_string(rowIndex + 1));
}

void Decoder::Misfit(const Value& v, const FieldDef& f, const std::string& where) const {
  const std::string at = where + ", campo " + Quoted(f.name) + ": ";
  if (auto* s = std::get_if<std::string>(&v)) {
    if (f.kind == FieldKind::DateTime) Fail(what, at + "data inválida " + Quoted(*s));
    if (f.kind == FieldKind::Blob) Fail(what, at + "base64 inválido");
  }
  const char* expected = "um texto";
  switch (f.kind) {
    case FieldKind::String:
    case FieldKind::Memo:
      break;
    case FieldKind::Float:
      expected = "um número";
      break;
    case FieldKind::Integer:
      expected = "um número inteiro";
      break;
    case FieldKind::DateTime:
      expected = "uma data";
      break;
    case FieldKind::Blob:
      expected = "um texto em base64";
      break;
  }
  Fail(what, at + "esperado " + expected);
}

Row Decoder::RowOf(const json::value& v, const std::vector<FieldDef>& fields,
                   const std::string& where) const {
  if (!v.is_array()) Fail(what, where + " não é uma lista de valores");
  const json::array& a = v.get_array();
  if (a.size() != fields.size())
    Fail(what, where + " tem " + std::to_string(a.size()) + " valores, esperados " +
                   std::to_string(fields.size()));
  Row row;
  row.reserve(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) row.push_back(Cell(a[i], fields[i], where));
  return row;
}
}  // namespace codec::detail

namespace {

json::value Parse(std::string_view text, json::storage_ptr sp, std::string_view what) {
  json::error_code ec;
  json::parse_options opts;
  opts.max_depth = 64;
  json::value v = json::parse(text, ec, std::move(sp), opts);
  if (ec) Fail(what, "o texto não é um documento JSON válido");
  return v;
}

}  // namespace

namespace codec {

using detail::Decoder;
using detail::Fail;
using detail::kChanges;
using detail::kPacket;

DataPacket DecodePacket(const json::value& json) {
  Decoder d{kPacket};
  const json::object& root = d.Object(json, "o documento");
  DataPacket packet;
  packet.fields = d.Fields(root);
  const json::array& rows = d.Array(root, "rows", "o documento");
  packet.rows.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i)
    packet.rows.push_back(d.RowOf(rows[i], packet.fields, "linha " + std::to_string(i + 1)));
  return packet;
}

ChangeSet DecodeChangeSet(const json::value& json) {
  Decoder d{kChanges};
  const json::object& root = d.Object(json, "o documento");
  ChangeSet cs;
  cs.fields = d.Fields(root);
  const json::array& changes = d.Array(root, "changes", "o documento");
  cs.changes.reserve(changes.size());
  for (std::size_t i = 0; i < changes.size(); ++i) {
    std::string where = "a alteração " + std::to_string(i + 1);
    const json::object& o = d.Object(changes[i], where);
    auto kind = o.find("kind");
    std::string_view k = kind != o.end() && kind->value().is_string()
                             ? std::string_view(kind->value().get_string())
                             : std::string_view();
    Change c;
    auto rowOf = [&](std::string_view key) {
      auto it = o.find(key);
      if (it == o.end()) Fail(kChanges, "falta o membro '" + std::string(key) + "' em " + where);
      return d.RowOf(it->value(), cs.fields, where + " ('" + std::string(key) + "')");
    };
    if (k == "insert") {
      c.kind = ChangeKind::Insert;
      c.newValues = rowOf("new");
    } else if (k == "update") {
      c.kind = ChangeKind::Update;
      c.oldValues = rowOf("old");
      c.newValues = rowOf("new");
    } else if (k == "delete") {
      c.kind = ChangeKind::Delete;
      c.oldValues = rowOf("old");
    } else {
      Fail(kChanges, where + " tem um tipo desconhecido");
    }
    cs.changes.push_back(std::move(c));
  }
  return cs;
}

ChangeSet DecodeChangeSet(std::string_view text) {
  json::monotonic_resource arena(text.size() * 2 + 4096);
  json::value v = Parse(text, &arena, kChanges);
  return DecodeChangeSet(v);
}

}  // namespace codec
}  // namespace ger
