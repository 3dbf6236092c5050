// The streaming reader of the packet codec: a packet's rows read straight from the text.
#include <cmath>

#include <boost/json.hpp>
#include <boost/json/basic_parser_impl.hpp>

#include "core/exceptions.h"
#include "data/packet.h"
#include "data/packet_internal.h"

namespace ger {

namespace json = boost::json;
using codec::detail::KindOf;

namespace {

// Streaming reader of a packet. The rows, nearly all of the text, go straight into Rows as raw
// scalars; every other member is built into a small DOM (through a value stack) and checked by
// the Decoder like any parsed document. No DOM of the rows is ever made.
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
      const Value& v = row_[c];
      if (IsNull(v) || (std::holds_alternative<std::string>(v) &&
                        (kinds[c] == FieldKind::String || kinds[c] == FieldKind::Memo)))
        continue;
      // A cell that does not fit is left raw for the checked pass to report.
      if (!codec::ConformValue(kinds[c], row_[c])) converted = false;
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

}  // namespace

namespace codec {

using detail::Decoder;
using detail::Fail;
using detail::kPacket;
using detail::Quoted;

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
      if (IsNull(row[c]) || (isText[c] && std::holds_alternative<std::string>(row[c]))) continue;
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

}  // namespace codec
}  // namespace ger
