// The writer of the packet codec: the text is written directly (a DOM would cost an allocation
// per cell).
#include <charconv>
#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <boost/json.hpp>

#include "core/utf8.h"
#include "data/packet.h"
#include "data/packet_internal.h"

namespace ger {

namespace json = boost::json;
using codec::detail::AppendBase64;
using codec::detail::TextOut;

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

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
      std::size_t len = utf8::WellFormedLength(s, i);
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

void AppendValue(TextOut& out, const Value& v) {
  std::visit(Overloaded{[&](std::monostate) { out.append("null", 4); },
                        [&](const std::string& s) { AppendString(out, s); },
                        [&](double d) { AppendDouble(out, d); },
                        [&](std::int64_t i) { AppendInt(out, i); },
                        [&](const DateTime& t) {
                          out.push_back('"');
                          out += t.ToIso();
                          out.push_back('"');
                        },
                        [&](const Bytes& b) {
                          out.push_back('"');
                          AppendBase64(out, b.data);
                          out.push_back('"');
                        }},
             v);
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

}  // namespace

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

}  // namespace codec
}  // namespace ger
