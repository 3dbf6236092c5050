#include "db/database.h"

#include <cctype>

#include "core/utf8.h"
#include "db/engines.h"

namespace ger::db {

namespace {

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

}  // namespace

std::unique_ptr<Connection> Connection::Open(std::string_view url, Access access) {
  if (url.starts_with("sqlite:")) return OpenSqlite(url.substr(7), access);
  if (url.starts_with("postgresql://") || url.starts_with("postgres://"))
    return OpenPostgres(url, access);
  throw DbError("unknown database URL '" + std::string(url) +
                "': expected sqlite:PATH or postgresql://...");
}

std::string Connection::QueryEncoded(std::string_view sql, const Params& params,
                                     const std::function<void(std::vector<FieldDef>&)>& adjust) {
  DataPacket packet = Query(sql, params);
  if (adjust) adjust(packet.fields);
  return codec::Encode(packet);
}

std::string Connection::Remembered(const std::string& key,
                                   const std::function<std::string()>& work) {
  // The mark is taken before the work: a commit in between leaves a newer mark behind it, and the
  // answer is then dropped at the next call instead of being taken for the state it was read in.
  const std::optional<CommittedMark> mark = Committed();
  if (!mark || key.size() > kMaxRememberedKey) return work();
  if (mark != rememberedAt_) {
    remembered_.clear();
    rememberedAt_ = mark;
  }
  if (auto it = remembered_.find(key); it != remembered_.end()) return it->second;
  std::string answer = work();
  if (remembered_.size() >= kMaxRemembered) remembered_.clear();
  remembered_.emplace(key, answer);
  return answer;
}

Transaction::~Transaction() {
  if (done_) return;
  try {
    connection_.Rollback();
  } catch (...) {
    // A failed rollback leaves nothing to do here; the connection reports it on next use.
  }
}

void Transaction::Commit() {
  connection_.Commit();
  done_ = true;
}

ParsedSql TranslateParams(std::string_view sql, Engine engine) {
  ParsedSql out;
  out.text.reserve(sql.size() + 8);
  std::size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'' || c == '"') {  // literal or quoted identifier: copied as it stands
      std::size_t end = i + 1;
      while (end < sql.size()) {
        if (sql[end] == c) {
          if (end + 1 < sql.size() && sql[end + 1] == c) {
            end += 2;
            continue;
          }
          break;
        }
        ++end;
      }
      end = std::min(end + 1, sql.size());
      out.text.append(sql.substr(i, end - i));
      i = end;
      continue;
    }
    if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {  // line comment
      std::size_t end = sql.find('\n', i);
      if (end == std::string_view::npos) end = sql.size();
      out.text.append(sql.substr(i, end - i));
      i = end;
      continue;
    }
    if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {  // PostgreSQL cast
      out.text.append("::");
      i += 2;
      continue;
    }
    if (c == ':' && i + 1 < sql.size() && IsNameChar(sql[i + 1]) &&
        !std::isdigit(static_cast<unsigned char>(sql[i + 1]))) {
      std::size_t end = i + 1;
      while (end < sql.size() && IsNameChar(sql[end])) ++end;
      std::string name = utf8::ToUpper(sql.substr(i + 1, end - i - 1));
      std::size_t index = 0;
      while (index < out.names.size() && out.names[index] != name) ++index;
      if (index == out.names.size()) out.names.push_back(name);
      out.text += engine == Engine::PostgreSQL ? "$" : "?";
      out.text += std::to_string(index + 1);
      i = end;
      continue;
    }
    out.text.push_back(c);
    ++i;
  }
  return out;
}

FieldDef FieldFromDeclType(std::string name, std::string_view declType) {
  FieldDef def;
  def.name = utf8::ToUpper(name);
  std::string t = utf8::ToUpper(declType);
  int size = 0;
  if (auto open = t.find('('); open != std::string::npos) {
    size = std::atoi(t.c_str() + open + 1);
    t.resize(open);
  }
  while (!t.empty() && t.back() == ' ') t.pop_back();
  auto has = [&](std::string_view word) { return t.find(word) != std::string::npos; };
  if (t.empty()) {
    def.kind = FieldKind::Memo;
  } else if (has("INT")) {
    def.kind = FieldKind::Integer;
  } else if (has("CHAR") && size > 0) {
    def.kind = FieldKind::String;
    def.size = size;
  } else if (has("CHAR") || has("TEXT") || has("CLOB")) {
    def.kind = FieldKind::Memo;
  } else if (has("BLOB") || has("BYTEA")) {
    def.kind = FieldKind::Blob;
  } else if (has("DOUB") || has("REAL") || has("FLOA") || has("NUMERIC") || has("DECIMAL")) {
    def.kind = FieldKind::Float;
  } else if (has("TIMESTAMP") || has("DATE")) {
    def.kind = FieldKind::DateTime;
  } else {
    def.kind = FieldKind::Memo;
  }
  return def;
}

const Value* FindParam(const Params& params, std::string_view upperName) {
  for (const auto& [name, value] : params)
    if (utf8::SameText(name, upperName)) return &value;
  return nullptr;
}

const Value& RequireParam(const Params& params, const std::string& upperName, std::size_t at) {
  if (at < params.size() && utf8::SameText(params[at].first, upperName)) return params[at].second;
  if (const Value* v = FindParam(params, upperName)) return *v;
  throw DbError("parameter :" + upperName + " has no value");
}

}  // namespace ger::db
