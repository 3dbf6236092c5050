// The packet codec's common ground: the field kinds, their names, and the one conversion of a
// value to a field kind. The writer, base64, the tree reader, the streaming reader and the member
// splitter have files of their own (packet_*.cpp).
#include "data/packet.h"

#include <cmath>

#include "core/exceptions.h"
#include "core/utf8.h"
#include "data/packet_internal.h"

namespace ger {

std::string_view FieldKindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::String:
      return "string";
    case FieldKind::Memo:
      return "memo";
    case FieldKind::Float:
      return "float";
    case FieldKind::Integer:
      return "integer";
    case FieldKind::DateTime:
      return "datetime";
    case FieldKind::Blob:
      return "blob";
  }
  return "string";
}

int DataPacket::IndexOf(std::string_view name) const {
  return codec::detail::IndexOfName(fields, name);
}
int ChangeSet::IndexOf(std::string_view name) const {
  return codec::detail::IndexOfName(fields, name);
}

namespace codec {

namespace detail {

int IndexOfName(const std::vector<FieldDef>& fields, std::string_view name) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (utf8::SameText(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

std::optional<FieldKind> KindOf(std::string_view type) {
  if (type == "string") return FieldKind::String;
  if (type == "memo") return FieldKind::Memo;
  if (type == "float") return FieldKind::Float;
  if (type == "integer") return FieldKind::Integer;
  if (type == "datetime") return FieldKind::DateTime;
  if (type == "blob") return FieldKind::Blob;
  return std::nullopt;
}

}  // namespace detail

bool ConformNumber(FieldKind kind, Value& v) {
  if (auto* d = std::get_if<double>(&v)) {
    if (kind == FieldKind::Float) return true;
    if (kind != FieldKind::Integer || *d != std::trunc(*d) || *d < -9.2e18 || *d > 9.2e18)
      return false;
    v = static_cast<std::int64_t>(*d);
    return true;
  }
  if (auto* i = std::get_if<std::int64_t>(&v)) {
    if (kind == FieldKind::Integer) return true;
    if (kind != FieldKind::Float) return false;
    v = static_cast<double>(*i);
    return true;
  }
  return false;
}

bool ConformValue(FieldKind kind, Value& v, TextForm text) {
  auto isText = [kind] { return kind == FieldKind::String || kind == FieldKind::Memo; };
  return std::visit(Overloaded{[](std::monostate) { return true; },
                               [&](std::string& s) {
                                 if (isText()) return true;
                                 if (kind == FieldKind::Blob && text == TextForm::Decoded) {
                                   std::string bytes = std::move(s);
                                   v = Bytes{std::move(bytes)};
                                   return true;
                                 }
                                 if (text == TextForm::Decoded) return false;
                                 if (kind == FieldKind::DateTime) {
                                   auto dt = DateTime::FromIso(s);
                                   if (!dt) return false;
                                   v = *dt;
                                   return true;
                                 }
                                 if (kind != FieldKind::Blob) return false;
                                 try {
                                   std::string bytes = Base64Decode(s);
                                   v = Bytes{std::move(bytes)};
                                   return true;
                                 } catch (const EDatabaseError&) {
                                   return false;
                                 }
                               },
                               [&](double) { return ConformNumber(kind, v); },
                               [&](std::int64_t) { return ConformNumber(kind, v); },
                               [&](const DateTime&) { return kind == FieldKind::DateTime; },
                               [&](const Bytes&) { return kind == FieldKind::Blob; }},
                    v);
}

}  // namespace codec
}  // namespace ger
