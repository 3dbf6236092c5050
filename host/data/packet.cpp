// The JSON codec of data packets and change sets. Encoding writes the text directly (a DOM would
// cost an allocation per cell); decoding parses into a monotonic arena and walks the result.
#include "data/packet.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <boost/json.hpp>
#include <boost/json/basic_parser_impl.hpp>

#include "core/exceptions.h"
#include "core/utf8.h"

namespace ger {

namespace json = boost::json;

namespace {

int IndexOfName(const std::vector<FieldDef>& fields, std::string_view name) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (utf8::SameText(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Encoding

constexpr char kHex[] = "0123456789ABCDEF";

// Length of the well-formed UTF-8 sequence starting at s[i], or 0 when it is malformed (the same
// rules the parser applies: no overlong forms, no surrogates, nothing above U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = at(i);
  std::size_t n = s.size() - i;
  auto cont = [&](std::size_t k) { return (at(k) & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF) return n >= 2 && cont(i + 1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (n < 3 || !cont(i + 1) || !cont(i + 2)) return 0;
    unsigned char c1 = at(i + 1);
    if (c == 0xE0 && c1 < 0xA0) return 0;   // overlong
    if (c == 0xED && c1 >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (n < 4 || !cont(i + 1) || !cont(i + 2) || !cont(i + 3)) return 0;
    unsigned char c1 = at(i + 1);
    if (c == 0xF0 && c1 < 0x90) return 0;   // overlong
    if (c == 0xF4 && c1 >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

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

char* EscapedChar(char* o, char32_t c) {
  *o++ = '\\';
  *o++ = 'u';
  *o++ = kHex[(c >> 12) & 15];
  *o++ = kHex[(c >> 8) & 15];
  *o++ = kHex[(c >> 4) & 15];
  *o++ = kHex[c & 15];
  return o;
}

// A JSON string. Text is UTF-8; a byte that is not part of a well-formed sequence (a text an older
// program stored in Windows-1252) is written as the Windows-1252 character of that byte, as the
// host's text routines read it, so the output is always valid JSON and the parser never refuses
// what we wrote.
void AppendString(TextOut& out, std::string_view s) {
  const std::size_t n = s.size();
  char* o = out.Room(n * 6 + 2);  // every byte escaped, and the quotes
  *o++ = '"';
  std::size_t run = 0;  // start of the pending run of bytes copied verbatim
  std::size_t i = 0;
  while (i < n) {
#ifdef __SSE2__
    // Sixteen plain bytes at a time; a signed compare with 0x20 also catches the bytes from 0x80.
    while (i + 16 <= n) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
      const __m128i special = _mm_or_si128(_mm_cmplt_epi8(x, _mm_set1_epi8(0x20)),
                                           _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')),
                                                        _mm_cmpeq_epi8(x, _mm_set1_epi8('\\'))));
      const int mask = _mm_movemask_epi8(special);
      if (mask != 0) {
        i += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        break;
      }
      i += 16;
    }
#endif
    // Eight plain bytes at a time: none below 0x20, none from 0x80, no quote, no backslash.
    while (i + 8 <= n) {
      std::uint64_t x;
      std::memcpy(&x, s.data() + i, 8);
      constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
      const std::uint64_t quote = x ^ (kOnes * '"'), slash = x ^ (kOnes * '\\');
      const std::uint64_t special = ((x - kOnes * 0x20) & ~x) |   // a byte below 0x20
                                    ((quote - kOnes) & ~quote) |  // a quote
                                    ((slash - kOnes) & ~slash) |  // a backslash
                                    x;                            // a byte from 0x80
      if (special & kHigh) break;
      i += 8;
    }
    if (i >= n) break;
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      // Two-byte sequences (the accented letters of Portuguese) without the general check.
      if (c >= 0xC2 && c <= 0xDF && i + 1 < n &&
          (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) {
        i += 2;
        continue;
      }
      std::size_t len = Utf8SequenceLength(s, i);
      if (len != 0) {
        i += len;
        continue;
      }
    }
    std::memcpy(o, s.data() + run, i - run);
    o += i - run;
    if (c == '"' || c == '\\') {
      *o++ = '\\';
      *o++ = static_cast<char>(c);
    } else {
      o = EscapedChar(o, c < 0x80 ? c : utf8::LegacyChar(c));
    }
    ++i;
    run = i;
  }
  std::memcpy(o, s.data() + run, n - run);
  o += n - run;
  *o++ = '"';
  out.Done(o);
}

void AppendDouble(TextOut& out, double d) {
  if (!std::isfinite(d)) {  // JSON has no NaN or infinity
    out.append("null", 4);
    return;
  }
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, d);  // shortest text that reads back the same
  out.append(buf, r.ptr);
}

void AppendInt(TextOut& out, std::int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void AppendBase64(TextOut& out, std::string_view bytes);

void AppendValue(TextOut& out, const Value& v) {
  switch (v.index()) {
    case 0:
      out.append("null", 4);
      break;
    case 1:
      AppendString(out, std::get<std::string>(v));
      break;
    case 2:
      AppendDouble(out, std::get<double>(v));
      break;
    case 3:
      AppendInt(out, std::get<std::int64_t>(v));
      break;
    case 4:
      out.push_back('"');
      out += std::get<DateTime>(v).ToIso();
      out.push_back('"');
      break;
    case 5:
      out.push_back('"');
      AppendBase64(out, std::get<Bytes>(v).data);
      out.push_back('"');
      break;
  }
}

void AppendRow(TextOut& out, const Row& row) {
  out.push_back('[');
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i) out.push_back(',');
    AppendValue(out, row[i]);
  }
  out.push_back(']');
}

void AppendFields(TextOut& out, const std::vector<FieldDef>& fields) {
  out.append("\"fields\":[");
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const FieldDef& f = fields[i];
    if (i) out.push_back(',');
    out.append("{\"name\":");
    AppendString(out, f.name);
    out.append(",\"type\":\"");
    out += FieldKindName(f.kind);
    out.push_back('"');
    if (f.kind == FieldKind::String || f.size != 0) {
      out.append(",\"size\":");
      AppendInt(out, f.size);
    }
    out.append(",\"flags\":[");
    bool first = true;
    auto flag = [&](bool on, const char* name) {
      if (!on) return;
      if (!first) out.push_back(',');
      first = false;
      out.append(name);
    };
    flag(f.flags.update, "\"update\"");
    flag(f.flags.where, "\"where\"");
    flag(f.flags.key, "\"key\"");
    out.append("]}");
  }
  out.push_back(']');
}

// Rough size of a row's text, so the output grows once instead of doubling many times.
std::size_t EstimateRow(const Row& row) {
  std::size_t n = 2 + row.size();
  for (const Value& v : row) {
    if (auto* s = std::get_if<std::string>(&v))
      n += s->size() + 2;
    else if (auto* b = std::get_if<Bytes>(&v))
      n += b->data.size() * 4 / 3 + 4;
    else
      n += 24;
  }
  return n;
}

// ---------------------------------------------------------------------------------------------
// Base64

constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendBase64(TextOut& out, std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  char* o = out.Room((n + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    std::uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    *o++ = kB64[v >> 18];
    *o++ = kB64[(v >> 12) & 63];
    *o++ = kB64[(v >> 6) & 63];
    *o++ = kB64[v & 63];
  }
  if (n - i == 1) {
    std::uint32_t v = p[i] << 16;
    *o++ = kB64[v >> 18];
    *o++ = kB64[(v >> 12) & 63];
    *o++ = '=';
    *o++ = '=';
  } else if (n - i == 2) {
    std::uint32_t v = (p[i] << 16) | (p[i + 1] << 8);
    *o++ = kB64[v >> 18];
    *o++ = kB64[(v >> 12) & 63];
    *o++ = kB64[(v >> 6) & 63];
    *o++ = '=';
  }
  out.Done(o);
}

constexpr std::array<signed char, 256> MakeB64Table() {
  std::array<signed char, 256> t{};
  for (auto& x : t) x = -1;
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kB64[i])] = static_cast<signed char>(i);
  return t;
}
constexpr auto kB64Table = MakeB64Table();

// ---------------------------------------------------------------------------------------------
// Decoding

// Errors name the document kind ("Pacote de dados" or "Conjunto de alterações") and the place.
[[noreturn]] void Fail(std::string_view what, const std::string& detail) {
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

struct Decoder {
  std::string_view what;  // "Pacote de dados" / "Conjunto de alterações"

  const json::object& Object(const json::value& v, const std::string& where) const {
    if (!v.is_object()) Fail(what, where + " não é um objeto");
    return v.get_object();
  }
  const json::array& Array(const json::object& o, std::string_view key,
                           const std::string& where) const {
    auto it = o.find(key);
    if (it == o.end()) Fail(what, "falta o membro '" + std::string(key) + "' em " + where);
    if (!it->value().is_array())
      Fail(what, "o membro '" + std::string(key) + "' de " + where + " não é uma lista");
    return it->value().get_array();
  }

  std::vector<FieldDef> Fields(const json::object& root) const {
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
      if (t == "string")
        def.kind = FieldKind::String;
      else if (t == "memo")
        def.kind = FieldKind::Memo;
      else if (t == "float")
        def.kind = FieldKind::Float;
      else if (t == "integer")
        def.kind = FieldKind::Integer;
      else if (t == "datetime")
        def.kind = FieldKind::DateTime;
      else if (t == "blob")
        def.kind = FieldKind::Blob;
      else
        Fail(what, where + " tem o tipo desconhecido " + Quoted(t));
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

  Value Cell(const json::value& v, const FieldDef& f, const std::string& where) const {
    if (v.is_null()) return {};
    auto bad = [&](const char* expected) {
      Fail(what, where + ", campo " + Quoted(f.name) + ": esperado " + expected);
    };
    switch (f.kind) {
      case FieldKind::String:
      case FieldKind::Memo:
        if (!v.is_string()) bad("um texto");
        return std::string(v.get_string());
      case FieldKind::Float:
        if (v.is_double() && std::isfinite(v.get_double())) return v.get_double();
        if (v.is_int64()) return static_cast<double>(v.get_int64());
        if (v.is_uint64()) return static_cast<double>(v.get_uint64());
        bad("um número");
        break;
      case FieldKind::Integer:
        if (v.is_int64()) return v.get_int64();
        if (v.is_double()) {
          double d = v.get_double();
          // An integral number written with a fraction or exponent is still an integer.
          if (d == std::trunc(d) && d >= -9.2e18 && d <= 9.2e18)
            return static_cast<std::int64_t>(d);
        }
        bad("um número inteiro");
        break;
      case FieldKind::DateTime: {
        if (!v.is_string()) bad("uma data");
        std::string_view s = v.get_string();
        auto dt = DateTime::FromIso(s);
        if (!dt) Fail(what, where + ", campo " + Quoted(f.name) + ": data inválida " + Quoted(s));
        return *dt;
      }
      case FieldKind::Blob: {
        if (!v.is_string()) bad("um texto em base64");
        try {
          return Bytes{codec::Base64Decode(v.get_string())};
        } catch (const EDatabaseError&) {
          Fail(what, where + ", campo " + Quoted(f.name) + ": base64 inválido");
        }
      }
    }
    return {};
  }

  // A cell read by the streaming parser holds the raw JSON scalar (null, text, integer or
  // double); this brings it to its column's kind in place, with the same checks as Cell.
  void Conform(Value& v, const FieldDef& f, std::size_t rowIndex) const {
    // Only built on a failure: this runs for most of a packet's cells.
    struct Where {
      std::size_t row;
      operator std::string() const { return "linha " + std::to_string(row + 1); }
      std::string operator+(const std::string& s) const { return std::string(*this) + s; }
      std::string operator+(const char* s) const { return std::string(*this) + s; }
    } where{rowIndex};
    auto bad = [&](const char* expected) {
      Fail(what, where + ", campo " + Quoted(f.name) + ": esperado " + expected);
    };
    switch (v.index()) {
      case 0:
        return;
      case 1: {
        std::string& s = std::get<std::string>(v);
        switch (f.kind) {
          case FieldKind::String:
          case FieldKind::Memo:
            return;
          case FieldKind::DateTime: {
            auto dt = DateTime::FromIso(s);
            if (!dt)
              Fail(what, where + ", campo " + Quoted(f.name) + ": data inválida " + Quoted(s));
            v = *dt;
            return;
          }
          case FieldKind::Blob:
            try {
              v = Bytes{codec::Base64Decode(s)};
            } catch (const EDatabaseError&) {
              Fail(what, where + ", campo " + Quoted(f.name) + ": base64 inválido");
            }
            return;
          case FieldKind::Float:
            bad("um número");
            break;
          case FieldKind::Integer:
            bad("um número inteiro");
            break;
        }
        return;
      }
      case 2:
      case 3:
        if (codec::ConformNumber(f.kind, v)) return;
        break;
      case 4:  // already converted while streaming
        if (f.kind == FieldKind::DateTime) return;
        break;
      case 5:
        if (f.kind == FieldKind::Blob) return;
        break;
    }
    switch (f.kind) {
      case FieldKind::String:
      case FieldKind::Memo:
        bad("um texto");
        break;
      case FieldKind::Float:
        bad("um número");
        break;
      case FieldKind::Integer:
        bad("um número inteiro");
        break;
      case FieldKind::DateTime:
        bad("uma data");
        break;
      case FieldKind::Blob:
        bad("um texto em base64");
        break;
    }
  }

  Row RowOf(const json::value& v, const std::vector<FieldDef>& fields,
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
};

// Streaming reader of a packet. The rows, nearly all of the text, go straight into Rows as raw
// scalars; every other member is built into a small DOM (through a value stack) and checked by
// the Decoder like any parsed document. No DOM of the rows is ever made.
std::optional<FieldKind> KindOf(std::string_view type) {
  if (type == "string") return FieldKind::String;
  if (type == "memo") return FieldKind::Memo;
  if (type == "float") return FieldKind::Float;
  if (type == "integer") return FieldKind::Integer;
  if (type == "datetime") return FieldKind::DateTime;
  if (type == "blob") return FieldKind::Blob;
  return std::nullopt;
}

// The conversions of Decoder::Conform without the messages: false leaves the raw value for the
// checked pass to report.
bool ConvertCell(FieldKind kind, Value& v) {
  switch (v.index()) {
    case 0:
      return true;
    case 1:
      switch (kind) {
        case FieldKind::String:
        case FieldKind::Memo:
          return true;
        case FieldKind::DateTime:
          if (auto dt = DateTime::FromIso(std::get<std::string>(v))) {
            v = *dt;
            return true;
          }
          return false;
        case FieldKind::Blob:
          try {
            v = Bytes{codec::Base64Decode(std::get<std::string>(v))};
            return true;
          } catch (const EDatabaseError&) {
            return false;
          }
        default:
          return false;
      }
    case 2:
    case 3:
      return codec::ConformNumber(kind, v);
  }
  return false;
}

class PacketHandler {
 public:
  static constexpr std::size_t max_object_size = std::size_t(-1);
  static constexpr std::size_t max_array_size = std::size_t(-1);
  static constexpr std::size_t max_key_size = std::size_t(-1);
  static constexpr std::size_t max_string_size = std::size_t(-1);

  json::value_stack rest;
  std::vector<Row> rows;
  bool sawRows = false;      // the root has a "rows" member
  bool rowsWasList = false;  // ... and it is a list
  // The first structural fault inside the rows: a row that is not a list, or a cell that is a
  // list, an object or a boolean. Reported after parsing, when the field names are known.
  bool bad = false;
  bool badRowNotList = false;
  std::size_t badRow = 0, badCell = 0;
  // Column kinds read from "fields" as it streams by; when it comes before the rows, each row is
  // converted as it completes, while it is still in the cache.
  std::vector<FieldKind> kinds;
  bool converted = true;  // every row was converted that way

  bool on_document_begin(json::error_code&) {
    rest.reset();
    return true;
  }
  bool on_document_end(json::error_code&) { return true; }

  bool on_array_begin(json::error_code&) {
    if (skip_) return Nest();
    Typed();
    if (fields_ == Fields::Pending) {
      fields_ = Fields::In;
      fieldsDepth_ = depth_ + 1;
    }
    if (mode_ == Mode::RowsPending) {
      mode_ = Mode::Rows;
      rowsWasList = true;
      rowsDepth_ = ++depth_;
      return true;
    }
    if (mode_ == Mode::Rows) {
      if (depth_ != rowsDepth_) {  // a list inside a row
        Mark(false);
        return Nest();
      }
      row_.clear();
      row_.reserve(width_);
    }
    ++depth_;
    return true;
  }
  bool on_array_end(std::size_t n, json::error_code&) {
    if (skip_) return Unnest();
    --depth_;
    if (mode_ == Mode::Rows) {
      if (depth_ == rowsDepth_) {  // end of a row
        width_ = row_.size();
        ConvertRow();
        rows.push_back(std::move(row_));
        row_ = Row();
      } else {  // end of the rows
        mode_ = Mode::Other;
        rest.push_null();  // stands in for the rows in the DOM, so member counts still agree
      }
      return true;
    }
    if (fields_ == Fields::In && depth_ + 1 == fieldsDepth_) fields_ = Fields::Done;
    rest.push_array(n);
    return true;
  }
  bool on_object_begin(json::error_code&) {
    if (skip_) return Nest();
    Typed();
    if (fields_ == Fields::Pending) {
      fields_ = Fields::Done;
      kindsValid_ = false;
    }
    if (fields_ == Fields::In && depth_ == fieldsDepth_) kinds.push_back(FieldKind::String);
    if (mode_ == Mode::RowsPending) mode_ = Mode::Other;  // not a list: the DOM check says so
    if (mode_ == Mode::Rows) {
      Mark(depth_ == rowsDepth_);
      return Nest();
    }
    ++depth_;
    return true;
  }
  bool on_object_end(std::size_t n, json::error_code&) {
    if (skip_) return Unnest();
    --depth_;
    rest.push_object(n);
    return true;
  }
  bool on_string_part(json::string_view s, std::size_t, json::error_code&) {
    part_.append(s.data(), s.size());
    return true;
  }
  bool on_string(json::string_view s, std::size_t, json::error_code&) {
    if (expectType_ && !skip_) {
      expectType_ = false;
      std::string type = part_ + std::string(s);
      auto kind = KindOf(type);
      if (kind && !kinds.empty())
        kinds.back() = *kind;
      else
        kindsValid_ = false;
    }
    switch (Scalar()) {
      case Sink::Cell:
        if (part_.empty()) {
          row_.emplace_back(std::in_place_type<std::string>, s.data(), s.size());
        } else {
          // Copied out at its exact size; the scratch buffer keeps its capacity for the next.
          part_.append(s.data(), s.size());
          row_.emplace_back(std::in_place_type<std::string>, part_);
        }
        break;
      case Sink::Rest:
        part_.append(s.data(), s.size());
        rest.push_string(part_);
        break;
      case Sink::Ignore:
        break;
    }
    part_.clear();
    return true;
  }
  bool on_key_part(json::string_view s, std::size_t, json::error_code&) {
    key_.append(s.data(), s.size());
    return true;
  }
  bool on_key(json::string_view s, std::size_t, json::error_code&) {
    key_.append(s.data(), s.size());
    if (!skip_) {
      Typed();
      if (depth_ == 1 && key_ == "rows" && !sawRows) {
        sawRows = true;
        mode_ = Mode::RowsPending;
      }
      if (depth_ == 1 && key_ == "fields") {
        if (fields_ == Fields::None)
          fields_ = Fields::Pending;
        else
          kindsValid_ = false;  // a second "fields": leave it to the checked pass
      }
      if (fields_ == Fields::In && depth_ == fieldsDepth_ + 1 && key_ == "type") expectType_ = true;
      rest.push_key(key_);
    }
    key_.clear();
    return true;
  }
  bool on_number_part(json::string_view, json::error_code&) { return true; }
  bool on_int64(std::int64_t i, json::string_view, json::error_code&) {
    Sink k = Scalar();
    if (k == Sink::Cell) row_.emplace_back(i);
    if (k == Sink::Rest) rest.push_int64(i);
    return true;
  }
  bool on_uint64(std::uint64_t u, json::string_view, json::error_code&) {
    Sink k = Scalar();
    if (k == Sink::Cell) row_.emplace_back(static_cast<double>(u));  // beyond int64: float only
    if (k == Sink::Rest) rest.push_uint64(u);
    return true;
  }
  bool on_double(double d, json::string_view, json::error_code& ec) {
    // Beyond the range of a double: it could only be kept as an infinity, which JSON cannot
    // write back, so the value would change on its way through.
    if (!std::isfinite(d)) {
      ec = json::error::exponent_overflow;
      return false;
    }
    Sink k = Scalar();
    if (k == Sink::Cell) row_.emplace_back(d);
    if (k == Sink::Rest) rest.push_double(d);
    return true;
  }
  bool on_bool(bool b, json::error_code&) {
    Sink k = Scalar();
    if (k == Sink::Cell) {  // no column holds a boolean
      Mark(false);
      row_.emplace_back();
    }
    if (k == Sink::Rest) rest.push_bool(b);
    return true;
  }
  bool on_null(json::error_code&) {
    Sink k = Scalar();
    if (k == Sink::Cell) row_.emplace_back();
    if (k == Sink::Rest) rest.push_null();
    return true;
  }
  bool on_comment_part(json::string_view, json::error_code&) { return true; }
  bool on_comment(json::string_view, json::error_code&) { return true; }

 private:
  enum class Mode { Other, RowsPending, Rows };
  enum class Sink { Rest, Cell, Ignore };

  enum class Fields { None, Pending, In, Done };

  // A "type" member that is not a text: the checked pass will say so.
  void Typed() {
    if (expectType_) {
      expectType_ = false;
      kindsValid_ = false;
    }
  }
  void ConvertRow() {
    if (!converted) return;
    if (fields_ != Fields::Done || !kindsValid_ || row_.size() != kinds.size()) {
      converted = false;
      return;
    }
    for (std::size_t c = 0; c < row_.size(); ++c) {
      std::size_t k = row_[c].index();
      if (k == 0 || (k == 1 && (kinds[c] == FieldKind::String || kinds[c] == FieldKind::Memo)))
        continue;
      if (!ConvertCell(kinds[c], row_[c])) converted = false;
    }
  }

  // Where a scalar goes: the DOM of the other members, the current row, or nowhere (skipped).
  Sink Scalar() {
    Typed();
    if (fields_ == Fields::Pending) {  // "fields" is a scalar: the DOM check says so
      fields_ = Fields::Done;
      kindsValid_ = false;
    }
    if (mode_ == Mode::RowsPending) mode_ = Mode::Other;  // "rows" is a scalar: the DOM says so
    if (skip_) return Sink::Ignore;
    if (mode_ != Mode::Rows) return Sink::Rest;
    if (depth_ == rowsDepth_) {  // a row that is not a list
      Mark(true);
      return Sink::Ignore;
    }
    return Sink::Cell;
  }
  bool Nest() {
    ++skip_;
    return true;
  }
  bool Unnest() {
    // A skipped container that was a cell still takes its place, so later widths stay right.
    if (--skip_ == 0 && mode_ == Mode::Rows && depth_ == rowsDepth_ + 1) row_.emplace_back();
    return true;
  }
  void Mark(bool notList) {
    if (bad) return;
    bad = true;
    badRowNotList = notList;
    badRow = rows.size();
    badCell = row_.size();
  }

  Mode mode_ = Mode::Other;
  Fields fields_ = Fields::None;
  std::size_t fieldsDepth_ = 0;
  bool expectType_ = false;
  bool kindsValid_ = true;
  std::size_t depth_ = 0;
  std::size_t rowsDepth_ = 0;
  std::size_t skip_ = 0;
  std::size_t width_ = 0;
  Row row_;
  std::string part_;
  std::string key_;
};

json::value Parse(std::string_view text, json::storage_ptr sp, std::string_view what) {
  json::error_code ec;
  json::parse_options opts;
  opts.max_depth = 64;
  json::value v = json::parse(text, ec, std::move(sp), opts);
  if (ec) Fail(what, "o texto não é um documento JSON válido");
  return v;
}

constexpr std::string_view kPacket = "Pacote de dados";
constexpr std::string_view kChanges = "Conjunto de alterações";

}  // namespace

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
  return IndexOfName(fields, name);
}
int ChangeSet::IndexOf(std::string_view name) const {
  return IndexOfName(fields, name);
}

namespace codec {

std::string Encode(const DataPacket& packet) {
  std::size_t estimate = 64 + packet.fields.size() * 64;
  if (!packet.rows.empty()) estimate += EstimateRow(packet.rows.front()) * packet.rows.size();
  std::string text;
  std::size_t length = 0;
  text.resize(estimate + estimate / 8);
  TextOut out(text, length);
  out.push_back('{');
  AppendFields(out, packet.fields);
  out.append(",\"rows\":[");
  for (std::size_t i = 0; i < packet.rows.size(); ++i) {
    if (i) out.push_back(',');
    AppendRow(out, packet.rows[i]);
  }
  out.append("]}");
  return TextOut::Settle(text, length);
}

PacketWriter::PacketWriter(const std::vector<FieldDef>& fields, std::size_t reserve) {
  out_.resize(64 + fields.size() * 64 + reserve);
  TextOut out(out_, length_);
  out.push_back('{');
  AppendFields(out, fields);
  out.append(",\"rows\":[");
}
void PacketWriter::BeginRow() {
  TextOut out(out_, length_);
  if (!firstRow_) out.push_back(',');
  firstRow_ = false;
  firstCell_ = true;
  out.push_back('[');
}
void PacketWriter::Separate() {
  if (!firstCell_) TextOut(out_, length_).push_back(',');
  firstCell_ = false;
}
void PacketWriter::Null() {
  Separate();
  TextOut(out_, length_).append("null", 4);
}
void PacketWriter::Text(std::string_view text) {
  Separate();
  TextOut out(out_, length_);
  AppendString(out, text);
}
void PacketWriter::Float(double value) {
  Separate();
  TextOut out(out_, length_);
  AppendDouble(out, value);
}
void PacketWriter::Integer(std::int64_t value) {
  Separate();
  TextOut out(out_, length_);
  AppendInt(out, value);
}
void PacketWriter::Date(const DateTime& value) {
  Separate();
  TextOut out(out_, length_);
  AppendValue(out, Value{value});
}
void PacketWriter::Put(const Value& value) {
  Separate();
  TextOut out(out_, length_);
  AppendValue(out, value);
}
void PacketWriter::Blob(std::string_view bytes) {
  Separate();
  TextOut out(out_, length_);
  out.push_back('"');
  AppendBase64(out, bytes);
  out.push_back('"');
}
void PacketWriter::EndRow() {
  TextOut(out_, length_).push_back(']');
}
std::string PacketWriter::Finish() {
  TextOut(out_, length_).append("]}");
  return TextOut::Settle(out_, length_);
}

std::string Encode(const ChangeSet& changes) {
  std::string text;
  std::size_t length = 0;
  text.resize(64 + changes.fields.size() * 64 + changes.changes.size() * 256);
  TextOut out(text, length);
  out.push_back('{');
  AppendFields(out, changes.fields);
  out.append(",\"changes\":[");
  for (std::size_t i = 0; i < changes.changes.size(); ++i) {
    const Change& c = changes.changes[i];
    if (i) out.push_back(',');
    switch (c.kind) {
      case ChangeKind::Insert:
        out.append("{\"kind\":\"insert\",\"new\":");
        AppendRow(out, c.newValues);
        break;
      case ChangeKind::Update:
        out.append("{\"kind\":\"update\",\"old\":");
        AppendRow(out, c.oldValues);
        out.append(",\"new\":");
        AppendRow(out, c.newValues);
        break;
      case ChangeKind::Delete:
        out.append("{\"kind\":\"delete\",\"old\":");
        AppendRow(out, c.oldValues);
        break;
    }
    out.push_back('}');
  }
  out.append("]}");
  return TextOut::Settle(text, length);
}

std::string EncodeValue(const Value& value) {
  std::string text;
  std::size_t length = 0;
  TextOut out(text, length);
  AppendValue(out, value);
  return TextOut::Settle(text, length);
}

std::string EncodeText(std::string_view s) {
  std::string text;
  std::size_t length = 0;
  TextOut out(text, length);
  AppendString(out, s);
  return TextOut::Settle(text, length);
}

// The DOM forms are for callers that embed a packet in a larger document; they go through the
// text form so both always agree.
json::value ToJson(const DataPacket& packet) {
  return json::parse(Encode(packet));
}
json::value ToJson(const ChangeSet& changes) {
  return json::parse(Encode(changes));
}

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

DataPacket DecodePacket(std::string_view text) {
  json::parse_options opts;
  opts.max_depth = 64;
  json::basic_parser<PacketHandler> parser(opts);
  json::error_code ec;
  // The parser stops after one document; anything but white space after it is not ours to drop.
  const std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
  if (ec || used != text.size()) Fail(kPacket, "o texto não é um documento JSON válido");
  PacketHandler& h = parser.handler();
  json::value rest = h.rest.release();
  Decoder d{kPacket};
  const json::object& root = d.Object(rest, "o documento");
  DataPacket packet;
  packet.fields = d.Fields(root);
  if (!h.sawRows) Fail(kPacket, "falta o membro 'rows' em o documento");
  if (!h.rowsWasList) d.Array(root, "rows", "o documento");  // raises: not a list
  const std::size_t width = packet.fields.size();
  // Text columns holding text (nearly every cell) need no work; only the rest go through Conform.
  std::vector<std::uint8_t> isText(width);
  for (std::size_t c = 0; c < width; ++c)
    isText[c] =
        packet.fields[c].kind == FieldKind::String || packet.fields[c].kind == FieldKind::Memo;
  // Rows converted while streaming need no second pass; any doubt and the checked pass runs.
  bool done = h.converted && !h.bad && h.kinds.size() == width;
  for (std::size_t c = 0; done && c < width; ++c) done = h.kinds[c] == packet.fields[c].kind;
  const std::size_t rowCount = done ? 0 : h.bad ? h.badRow : h.rows.size();
  for (std::size_t r = 0; r < rowCount; ++r) {
    Row& row = h.rows[r];
    if (row.size() != width)
      Fail(kPacket, "linha " + std::to_string(r + 1) + " tem " + std::to_string(row.size()) +
                        " valores, esperados " + std::to_string(width));
    for (std::size_t c = 0; c < width; ++c) {
      std::size_t kind = row[c].index();
      if (kind == 0 || (kind == 1 && isText[c])) continue;
      d.Conform(row[c], packet.fields[c], r);
    }
  }
  if (h.bad) {
    std::string where = "linha " + std::to_string(h.badRow + 1);
    if (h.badRowNotList || h.badCell >= width) Fail(kPacket, where + " não é uma lista de valores");
    Fail(kPacket, where + ", campo " + Quoted(packet.fields[h.badCell].name) + ": valor inválido");
  }
  packet.rows = std::move(h.rows);
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

std::string Base64Encode(std::string_view bytes) {
  std::string text;
  std::size_t length = 0;
  TextOut out(text, length);
  AppendBase64(out, bytes);
  return TextOut::Settle(text, length);
}

std::string Base64Decode(std::string_view text) {
  // Padding is optional; anything outside the alphabet, or a lone trailing character, is refused.
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == '=' && text.size() - n < 2) --n;
  if (text.size() - n > 0 && text.size() % 4 != 0) throw EDatabaseError("Texto base64 inválido.");
  if (n % 4 == 1) throw EDatabaseError("Texto base64 inválido.");
  std::string out;
  out.reserve(n / 4 * 3 + 2);
  std::uint32_t acc = 0;
  int bits = 0;
  for (std::size_t i = 0; i < n; ++i) {
    int v = kB64Table[static_cast<unsigned char>(text[i])];
    if (v < 0) throw EDatabaseError("Texto base64 inválido.");
    acc = (acc << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::size_t SkipSpace(std::string_view t, std::size_t i) {
  while (i < t.size() && IsSpace(t[i])) ++i;
  return i;
}

[[noreturn]] void NotAnObject() {
  throw EDatabaseError("Documento JSON inválido.");
}

// From the opening quote to just past the closing one, sixteen bytes at a time where it can:
// strings are most of a packet's text.
std::size_t SkipString(std::string_view t, std::size_t i) {
  const char* d = t.data();
  const std::size_t n = t.size();
  std::size_t j = i + 1;
  for (;;) {
#ifdef __SSE2__
    while (j + 16 <= n) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + j));
      const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')),
                                                      _mm_cmpeq_epi8(x, _mm_set1_epi8('\\'))));
      if (mask != 0) {
        j += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        break;
      }
      j += 16;
    }
#endif
    while (j < n && d[j] != '"' && d[j] != '\\') ++j;
    if (j >= n) NotAnObject();
    if (d[j] == '"') return j + 1;
    j += 2;  // an escape: the next character is part of it, whatever it is
  }
}

// The characters of a number or a literal (true, false, null).
constexpr std::array<bool, 256> MakeTokenTable() {
  std::array<bool, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
  t['-'] = t['+'] = t['.'] = true;
  return t;
}
constexpr auto kTokenChar = MakeTokenTable();

// Past one value starting at i: a string, a literal or number (its characters), or a container
// with its brackets paired.
std::size_t SkipValue(std::string_view t, std::size_t i) {
  std::string open;  // the brackets still open
  do {
    i = SkipSpace(t, i);
    if (i >= t.size()) NotAnObject();
    const char c = t[i];
    if (c == '"') {
      i = SkipString(t, i);
    } else if (c == '{' || c == '[') {
      open.push_back(c == '{' ? '}' : ']');
      ++i;
    } else if (c == '}' || c == ']') {
      if (open.empty() || open.back() != c) NotAnObject();
      open.pop_back();
      ++i;
    } else if (c == ',' || c == ':') {
      if (open.empty()) NotAnObject();
      ++i;
    } else {
      const std::size_t start = i;
      while (i < t.size() && kTokenChar[static_cast<unsigned char>(t[i])]) ++i;
      if (i == start) NotAnObject();
    }
  } while (!open.empty());
  return i;
}

}  // namespace

std::vector<std::pair<std::string, std::string_view>> ObjectMembers(std::string_view text) {
  std::vector<std::pair<std::string, std::string_view>> members;
  std::size_t i = SkipSpace(text, 0);
  if (i >= text.size() || text[i] != '{') NotAnObject();
  i = SkipSpace(text, i + 1);
  if (i < text.size() && text[i] == '}') {
    ++i;
  } else {
    for (;;) {
      if (i >= text.size() || text[i] != '"') NotAnObject();
      const std::size_t keyEnd = SkipString(text, i);
      std::string_view key = text.substr(i + 1, keyEnd - i - 2);
      std::string name;
      if (key.find('\\') == std::string_view::npos) {
        name = key;
      } else {  // an escaped key: the parser reads it
        json::error_code ec;
        json::value v = json::parse(text.substr(i, keyEnd - i), ec);
        if (ec || !v.is_string()) NotAnObject();
        name = v.as_string();
      }
      i = SkipSpace(text, keyEnd);
      if (i >= text.size() || text[i] != ':') NotAnObject();
      const std::size_t start = SkipSpace(text, i + 1);
      const std::size_t end = SkipValue(text, start);
      members.emplace_back(std::move(name), text.substr(start, end - start));
      i = SkipSpace(text, end);
      if (i < text.size() && text[i] == ',') {
        i = SkipSpace(text, i + 1);
        continue;
      }
      if (i < text.size() && text[i] == '}') {
        ++i;
        break;
      }
      NotAnObject();
    }
  }
  if (SkipSpace(text, i) != text.size()) NotAnObject();
  return members;
}

}  // namespace codec
}  // namespace ger
