#include "rpc_request.h"

#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <boost/json/value_stack.hpp>
#include <cstring>
#include <optional>
#include <string>

namespace ger::server {

namespace json = boost::json;

std::string RpcErrorReply(std::string_view id, int code, std::string_view message) {
  std::string out = "{\"jsonrpc\":\"2.0\",\"id\":";
  out += id;
  out += ",\"error\":{\"code\":";
  out += std::to_string(code);
  out += ",\"message\":";
  out += json::serialize(json::string_view(message.data(), message.size()));
  out += "}}";
  return out;
}

std::string RpcResultReply(std::string_view id, std::string result) {
  constexpr std::string_view open = "{\"jsonrpc\":\"2.0\",\"id\":", member = ",\"result\":";
  const std::size_t head = open.size() + id.size() + member.size();
  if (result.capacity() < result.size() + head + 1) {
    // No room: one buffer of the whole size (growing a short result step by step took a new
    // buffer at each step).
    std::string out;
    out.reserve(head + result.size() + 1);
    out.append(open).append(id).append(member).append(result) += '}';
    return out;
  }
  result.insert(0, head, ' ');
  char* at = result.data();
  for (std::string_view piece : {open, id, member}) {
    std::memcpy(at, piece.data(), piece.size());
    at += piece.size();
  }
  result += '}';
  return result;
}

namespace {

// Counts what the parsed values of a text would take, without building them: a first pass over
// a large body, so that a body of many tiny values (a list of millions of zeros) is refused
// before its values take many times its size.
struct TreeSize {
  static constexpr std::size_t max_object_size = std::size_t(-1);
  static constexpr std::size_t max_array_size = std::size_t(-1);
  static constexpr std::size_t max_key_size = std::size_t(-1);
  static constexpr std::size_t max_string_size = std::size_t(-1);
  std::size_t bytes = sizeof(json::value);
  bool on_document_begin(json::error_code&) { return true; }
  bool on_document_end(json::error_code&) { return true; }
  bool on_object_begin(json::error_code&) { return true; }
  bool on_object_end(std::size_t n, json::error_code&) {
    bytes += n * sizeof(json::key_value_pair);
    return true;
  }
  bool on_array_begin(json::error_code&) { return true; }
  bool on_array_end(std::size_t n, json::error_code&) {
    bytes += n * sizeof(json::value);
    return true;
  }
  bool on_key_part(json::string_view, std::size_t, json::error_code&) { return true; }
  bool on_key(json::string_view, std::size_t n, json::error_code&) {
    bytes += n;
    return true;
  }
  bool on_string_part(json::string_view, std::size_t, json::error_code&) { return true; }
  bool on_string(json::string_view, std::size_t n, json::error_code&) {
    bytes += n;
    return true;
  }
  bool on_number_part(json::string_view, json::error_code&) { return true; }
  bool on_int64(std::int64_t, json::string_view, json::error_code&) { return true; }
  bool on_uint64(std::uint64_t, json::string_view, json::error_code&) { return true; }
  bool on_double(double, json::string_view, json::error_code&) { return true; }
  bool on_bool(bool, json::error_code&) { return true; }
  bool on_null(json::error_code&) { return true; }
  bool on_comment_part(json::string_view, json::error_code&) { return true; }
  bool on_comment(json::string_view, json::error_code&) { return true; }
};

}  // namespace

std::size_t ParsedSize(std::string_view body) {
  json::basic_parser<TreeSize> parser(json::parse_options{});
  json::error_code ec;
  parser.write_some(false, body.data(), body.size(), ec);
  return ec ? 0 : parser.handler().bytes;
}

namespace {

// Reads the request's envelope as the parser meets it: the members the server needs are taken as
// they go by, and only the parameters are built as values (in the caller's storage). Building the
// whole object first, with a table of its members, cost as much as the rest of a small call.
// Members named more than once count by their last value, as in a parsed object.
class Envelope {
 public:
  static constexpr std::size_t max_object_size = json::object::max_size();
  static constexpr std::size_t max_array_size = json::array::max_size();
  static constexpr std::size_t max_key_size = json::string::max_size();
  static constexpr std::size_t max_string_size = json::string::max_size();

  // What the last value of a member was.
  enum class Kind { Absent, String, Int64, Uint64, Null, Other };
  struct Member {
    Kind kind = Kind::Absent;
    std::string text;  // a string's characters
    std::int64_t int64 = 0;
    std::uint64_t uint64 = 0;
  };

  Envelope(json::storage_ptr storage, unsigned char* temp, std::size_t size)
      : storage_(std::move(storage)), values_(json::storage_ptr(), temp, size) {}

  bool isObject = false;
  Member id, version, method, seat, params;
  // The last "params", when it was an array or an object; held in the storage it was built in (a
  // value assigned keeps its own storage and would copy it there).
  std::optional<json::value> paramValue;

  bool on_document_begin(json::error_code&) { return true; }
  bool on_document_end(json::error_code&) { return true; }
  bool on_object_begin(json::error_code&) {
    if (!building_ && depth_ == 0) isObject = true;
    return Open();
  }
  bool on_object_end(std::size_t n, json::error_code&) {
    return Close([&] { values_.push_object(n); });
  }
  bool on_array_begin(json::error_code&) { return Open(); }
  bool on_array_end(std::size_t n, json::error_code&) {
    return Close([&] { values_.push_array(n); });
  }
  bool on_key_part(json::string_view s, std::size_t, json::error_code&) {
    if (building_) {
      values_.push_chars(s);
    } else if (depth_ == 1) {
      KeyPart(s);
    }
    return true;
  }
  bool on_key(json::string_view s, std::size_t, json::error_code&) {
    if (building_) {
      values_.push_key(s);
    } else if (depth_ == 1) {
      // A name comes in pieces only when it has escapes: most are looked up where they lie.
      if (key_.empty() && !keyTooLong_) {
        current_ = MemberNamed(std::string_view(s.data(), s.size()));
      } else {
        KeyPart(s);
        current_ = keyTooLong_ ? nullptr : MemberNamed(key_);
        key_.clear();
        keyTooLong_ = false;
      }
      if (current_) {  // named again: the last value counts
        current_->kind = Kind::Absent;
        current_->text.clear();
      }
      if (current_ == &params) paramValue.reset();
    }
    return true;
  }
  bool on_string_part(json::string_view s, std::size_t, json::error_code&) {
    if (building_) {
      values_.push_chars(s);
    } else if (Scalar()) {
      current_->text.append(s.data(), s.size());
    }
    return true;
  }
  bool on_string(json::string_view s, std::size_t, json::error_code&) {
    if (building_) {
      values_.push_string(s);
    } else if (Scalar()) {
      current_->text.append(s.data(), s.size());
      current_->kind = Kind::String;
    }
    return true;
  }
  bool on_number_part(json::string_view, json::error_code&) { return true; }
  bool on_int64(std::int64_t v, json::string_view, json::error_code&) {
    if (building_) {
      values_.push_int64(v);
    } else if (Scalar()) {
      current_->kind = Kind::Int64;
      current_->int64 = v;
    }
    return true;
  }
  bool on_uint64(std::uint64_t v, json::string_view, json::error_code&) {
    if (building_) {
      values_.push_uint64(v);
    } else if (Scalar()) {
      current_->kind = Kind::Uint64;
      current_->uint64 = v;
    }
    return true;
  }
  bool on_double(double v, json::string_view, json::error_code&) {
    if (building_) values_.push_double(v);
    return Other();
  }
  bool on_bool(bool v, json::error_code&) {
    if (building_) values_.push_bool(v);
    return Other();
  }
  bool on_null(json::error_code&) {
    if (building_) {
      values_.push_null();
    } else if (Scalar()) {
      current_->kind = Kind::Null;
    }
    return true;
  }
  bool on_comment_part(json::string_view, json::error_code&) { return true; }
  bool on_comment(json::string_view, json::error_code&) { return true; }

 private:
  // An array or object begins: a level of the parameters being built, or of the document (a
  // member's value when it is the second).
  bool Open() {
    if (building_) {
      ++building_;
    } else if (++depth_ == 2) {
      Begin();
    }
    return true;
  }
  template <typename Push>
  bool Close(const Push& push) {
    if (!building_) {
      --depth_;
    } else {
      push();
      if (--building_ == 0) Built();
    }
    return true;
  }
  // A scalar value of one of the envelope's own members.
  bool Scalar() const { return depth_ == 1 && current_; }
  bool Other() {
    if (!building_ && Scalar()) current_->kind = Kind::Other;
    return true;
  }
  // An array or object as a member's value: the parameters' is built, any other is only a kind.
  void Begin() {
    if (!current_) return;
    current_->kind = Kind::Other;
    if (current_ == &params) {
      values_.reset(storage_);
      building_ = 1;
      --depth_;  // the builder counts its own levels
    }
  }
  void Built() { paramValue.emplace(values_.release()); }
  void KeyPart(json::string_view s) {
    // The envelope's names are short; a longer one is none of them.
    if (key_.size() + s.size() > 8) {
      keyTooLong_ = true;
      return;
    }
    key_.append(s.data(), s.size());
  }
  Member* MemberNamed(std::string_view name) {
    if (name == "id") return &id;
    if (name == "jsonrpc") return &version;
    if (name == "method") return &method;
    if (name == "seat") return &seat;
    if (name == "params") return &params;
    return nullptr;
  }

  json::storage_ptr storage_;
  json::value_stack values_;
  int depth_ = 0;     // levels of the document outside the parameters
  int building_ = 0;  // levels of the parameters being built; 0 when none is
  std::string key_;
  bool keyTooLong_ = false;
  Member* current_ = nullptr;  // the envelope's member whose value comes next
};

}  // namespace

std::variant<RpcRequest, std::string> ParseRpcRequest(std::string_view body,
                                                      json::storage_ptr storage) {
  // The values of a request take about as much as its text (a big logo is one long string);
  // a large one whose values would take much more is refused unread.
  if (body.size() > kCountedBody && ParsedSize(body) > body.size() + kParsedSlack)
    return RpcErrorReply("null", kInvalidRequest,
                         "Requisição inválida: valores demais para o seu tamanho.");
  unsigned char temp[BOOST_JSON_STACK_BUFFER_SIZE];
  json::basic_parser<Envelope> parser(json::parse_options{}, storage, temp, sizeof temp);
  json::error_code ec;
  const std::size_t read = parser.write_some(false, body.data(), body.size(), ec);
  if (ec || read != body.size())
    return RpcErrorReply("null", kParseError, "Requisição malformada: o corpo não é JSON válido.");
  Envelope& e = parser.handler();
  if (!e.isObject)
    return RpcErrorReply("null", kInvalidRequest,
                         "Requisição inválida: esperado um objeto JSON-RPC.");
  using Kind = Envelope::Kind;
  // The parameters keep the storage they were parsed into: moved into a list of another
  // storage, every value of them (a logo of megabytes) would be copied.
  RpcRequest out{"null", {}, json::array(storage), {}};
  // Echoed as it is read: a number that is not a 64-bit integer (2^64, 1e400, 1.5) would come
  // back as another number, or as a text that is not JSON, and the client could not match it.
  switch (e.id.kind) {
    case Kind::Absent:
    case Kind::Null:
      break;
    case Kind::String:
      out.id = json::serialize(json::string_view(e.id.text));
      break;
    case Kind::Int64:
      out.id = std::to_string(e.id.int64);
      break;
    case Kind::Uint64:
      out.id = std::to_string(e.id.uint64);
      break;
    case Kind::Other:
      return RpcErrorReply("null", kInvalidRequest, "Requisição inválida: identificador inválido.");
  }
  if (e.version.kind != Kind::String || e.version.text != "2.0" || e.method.kind != Kind::String)
    return RpcErrorReply(out.id, kInvalidRequest,
                         "Requisição inválida: faltam a versão \"2.0\" ou o nome do método.");
  out.method = std::move(e.method.text);
  // Not the request's business but the history's: an odd one is left out, never refused.
  if (e.seat.kind == Kind::String) out.seat = std::move(e.seat.text);
  if (e.paramValue && e.paramValue->is_array())
    out.params = std::move(e.paramValue->as_array());  // same storage: no copy
  else if (e.params.kind != Kind::Absent && e.params.kind != Kind::Null)
    return RpcErrorReply(out.id, kInvalidParams,
                         "Parâmetros inválidos: esperada uma lista de argumentos em ordem.");
  return out;
}

}  // namespace ger::server
