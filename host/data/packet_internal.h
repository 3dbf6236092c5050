#pragma once
// What the parts of the packet codec share (packet.cpp and packet_*.cpp); not for other callers.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/json/value.hpp>

#include "data/packet.h"

namespace ger::codec::detail {

// Output text written through a pointer. std::string's append checks and updates its size on
// every call, which costs more than the copy itself for the short texts of a packet (a company list
// has some 90,000 of them); here the string grows in large steps, its spare bytes are written in
// place and its true length is kept aside until the writer settles it (Settle).
class TextOut {
 public:
  TextOut(std::string& text, std::size_t& length) : s_(text), len_(length) {}
  // At least n writable bytes at the end.
  char* Room(std::size_t n) {
    if (s_.size() - len_ < n) [[unlikely]]
      Grow(n);
    return s_.data() + len_;
  }
  void Done(char* end) { len_ = static_cast<std::size_t>(end - s_.data()); }
  void push_back(char c) {
    *Room(1) = c;
    ++len_;
  }
  void append(const char* p, std::size_t n) {
    std::memcpy(Room(n), p, n);
    len_ += n;
  }
  void append(std::string_view v) { append(v.data(), v.size()); }
  void append(const char* p, const char* end) { append(p, static_cast<std::size_t>(end - p)); }
  TextOut& operator+=(std::string_view v) {
    append(v);
    return *this;
  }
  // Gives the text its length; until then the string also holds the spare bytes.
  static std::string Settle(std::string& text, std::size_t length) {
    text.resize(length);
    return std::move(text);
  }

 private:
  [[gnu::noinline]] void Grow(std::size_t n) { s_.resize(std::max(len_ + n, s_.size() * 2 + 256)); }
  std::string& s_;
  std::size_t& len_;
};

// Base64 written straight into the text (packet_base64.cpp).
void AppendBase64(TextOut& out, std::string_view bytes);

// The field's index by name (case-insensitively); -1 when absent.
int IndexOfName(const std::vector<FieldDef>& fields, std::string_view name);

// A field kind by its name in the "type" member; nullopt for an unknown name.
std::optional<FieldKind> KindOf(std::string_view type);

constexpr std::string_view kPacket = "Pacote de dados";
constexpr std::string_view kChanges = "Conjunto de alterações";

// Errors name the document kind ("Pacote de dados" or "Conjunto de alterações") and the place.
[[noreturn]] void Fail(std::string_view what, const std::string& detail);
std::string Quoted(std::string_view s);

// The checks of a parsed document, shared by the tree reader and the streaming reader
// (packet_reader.cpp).
struct Decoder {
  std::string_view what;  // "Pacote de dados" / "Conjunto de alterações"

  const boost::json::object& Object(const boost::json::value& v, const std::string& where) const;
  const boost::json::array& Array(const boost::json::object& o, std::string_view key,
                                  const std::string& where) const;
  std::vector<FieldDef> Fields(const boost::json::object& root) const;
  // A cell of a parsed document brought to its column's kind.
  Value Cell(const boost::json::value& v, const FieldDef& f, const std::string& where) const;
  // A cell read by the streaming parser holds the raw JSON scalar (null, text, integer or
  // double); this brings it to its column's kind in place, with the same checks as Cell.
  void Conform(Value& v, const FieldDef& f, std::size_t rowIndex) const;
  Row RowOf(const boost::json::value& v, const std::vector<FieldDef>& fields,
            const std::string& where) const;

 private:
  // Raises the sentence saying why the cell does not fit its column.
  [[noreturn]] void Misfit(const Value& v, const FieldDef& f, const std::string& where) const;
};

}  // namespace ger::codec::detail
