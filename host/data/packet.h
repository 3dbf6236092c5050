#pragma once
// Data packets (a server answer's rows) and change sets (a client dataset's pending changes),
// and their JSON codec. This is the project's one JSON codec: the server, the client and the
// tools all go through it.
//
// Packet:     {"fields":[{"name":"CDCIDADE","type":"string","size":2,"flags":["where"]},...],
//              "rows":[["01","Centro",...],...]}
// Change set: {"fields":[...],"changes":[{"kind":"insert","new":[...]},
//              {"kind":"update","old":[...],"new":[...]},{"kind":"delete","old":[...]}]}
// Types: "string" (size in characters), "memo", "float", "integer", "datetime" (ISO 8601 text),
// "blob" (base64 text); null is null. Flags: "update", "where", "key" (provider flags).
#include <string>
#include <string_view>
#include <vector>

#include <boost/json/value.hpp>

#include "core/value.h"

namespace ger {

enum class FieldKind { String, Memo, Float, Integer, DateTime, Blob };

std::string_view FieldKindName(FieldKind kind);

// Provider flags: which columns an update sets and which identify the row in its where clause.
struct ProviderFlags {
  bool update = true;
  bool where = true;
  bool key = false;
  bool operator==(const ProviderFlags&) const = default;
  static ProviderFlags None() { return {false, false, false}; }
  static ProviderFlags InWhere() { return {false, true, false}; }
  static ProviderFlags Default() { return {true, true, false}; }
};

struct FieldDef {
  std::string name;
  FieldKind kind = FieldKind::String;
  int size = 0;  // characters, for String; 0 elsewhere
  ProviderFlags flags = ProviderFlags::Default();
  bool operator==(const FieldDef&) const = default;
};

using Row = std::vector<Value>;

struct DataPacket {
  std::vector<FieldDef> fields;
  std::vector<Row> rows;
  int IndexOf(std::string_view name) const;  // -1 when absent (names compare case-insensitively)
  bool operator==(const DataPacket&) const = default;
};

enum class ChangeKind { Insert, Update, Delete };

struct Change {
  ChangeKind kind = ChangeKind::Insert;
  Row oldValues;  // update, delete
  Row newValues;  // insert, update
  bool operator==(const Change&) const = default;
};

struct ChangeSet {
  std::vector<FieldDef> fields;
  std::vector<Change> changes;
  int IndexOf(std::string_view name) const;
  bool operator==(const ChangeSet&) const = default;
};

namespace codec {

// Encoding never fails. Decoding raises EDatabaseError with a sentence naming what is wrong
// (malformed JSON, a missing member, a row of the wrong width, a value that is not of its
// column's type, a bad base64 or date text).
std::string Encode(const DataPacket& packet);
std::string Encode(const ChangeSet& changes);
boost::json::value ToJson(const DataPacket& packet);
boost::json::value ToJson(const ChangeSet& changes);

// One value or one text as a JSON item, written as the encoder writes a cell (an argument of a
// server call, an element of a parameter array).
std::string EncodeValue(const Value& value);
std::string EncodeText(std::string_view text);

DataPacket DecodePacket(std::string_view json);
DataPacket DecodePacket(const boost::json::value& json);
ChangeSet DecodeChangeSet(std::string_view json);
ChangeSet DecodeChangeSet(const boost::json::value& json);
// A literal would otherwise convert equally well to text and to a JSON value.
inline DataPacket DecodePacket(const char* json) {
  return DecodePacket(std::string_view(json));
}
inline ChangeSet DecodeChangeSet(const char* json) {
  return DecodeChangeSet(std::string_view(json));
}

// Writes a packet's text row by row, for a producer that never holds the rows as values (the
// server's largest answers come straight from the database cursor). The text is the one
// Encode() writes for the same fields and values.
class PacketWriter {
 public:
  explicit PacketWriter(const std::vector<FieldDef>& fields, std::size_t reserve = 0);
  void BeginRow();
  void Null();
  void Text(std::string_view text);
  void Float(double value);
  void Integer(std::int64_t value);
  void Date(const DateTime& value);
  void Put(const Value& value);  // any value, as Encode() writes it
  void Blob(std::string_view bytes);
  void EndRow();
  std::string Finish();

 private:
  void Separate();
  std::string out_;         // spare bytes at its end until Finish()
  std::size_t length_ = 0;  // the text written so far
  bool firstRow_ = true;
  bool firstCell_ = true;
};

// A float or integer value brought to a number field's kind: an integer field takes a float only
// when it is whole and in range. False when the value is not a number or does not fit.
bool ConformNumber(FieldKind kind, Value& v);

// How a text reaches a date or blob field: as this codec writes them (ISO 8601 text, base64), or,
// for values already decoded, as the text's own bytes (a blob) and never as a date.
enum class TextForm { Encoded, Decoded };
// The one conversion of a value to a field kind, in place: null fits every kind; a text fits a
// text field, and a date or blob field as `text` says; a number as ConformNumber; a date and bytes
// their own kinds. False, the value unchanged, when it does not fit.
bool ConformValue(FieldKind kind, Value& v, TextForm text = TextForm::Encoded);

std::string Base64Encode(std::string_view bytes);
std::string Base64Decode(std::string_view text);  // EDatabaseError on malformed input

// The members of a JSON object as written: each key (unescaped) with the text of its value. It
// hands one member of a large document to a decoder without reading the others into values; only
// the structure is checked here (strings closed, brackets paired), each value is checked by
// whoever reads it. EDatabaseError when the text is not one object.
std::vector<std::pair<std::string, std::string_view>> ObjectMembers(std::string_view text);

}  // namespace codec
}  // namespace ger
