#include "schema.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "change_feed.h"
#include "contract/tables.h"
#include "core/utf8.h"
#include "history.h"
#include "people.h"

namespace ger::server {
namespace {

// Column types are what the database layer reads back as the declared kinds: VARCHAR(n) string n,
// TEXT memo, DOUBLE PRECISION float, BIGINT integer, TIMESTAMP date-time, and the engine's binary
// type for a blob.
std::string ColumnType(const record::Column& column, db::Engine engine) {
  switch (column.kind) {
    case FieldKind::String:
      return "VARCHAR(" + std::to_string(column.size) + ")";
    case FieldKind::Memo:
      return "TEXT";
    case FieldKind::Float:
      return "DOUBLE PRECISION";
    case FieldKind::Integer:
      return "BIGINT";
    case FieldKind::DateTime:
      return "TIMESTAMP";
    case FieldKind::Blob:
      break;
  }
  return engine == db::Engine::PostgreSQL ? "BYTEA" : "BLOB";
}

// Order matters only for readability; there are no foreign keys between reference tables.
constexpr ReferenceFile kRefFiles[] = {
    {"paises.csv", "PAIS"},
    {"estados.csv", "ESTADO"},
    {"municipios.csv", "MUNICIPIO"},
    {"cnae.csv", "CNAE"},
    {"natureza_juridica.csv", "NATUREZA"},
    {"fpas.csv", "FPAS"},
};

constexpr std::size_t kBatchRows = 100;

void InsertBatch(db::Connection& connection, const std::string& table,
                 const std::vector<std::string>& columns,
                 const std::vector<std::vector<std::string>>& rows, bool ignoreExisting) {
  if (rows.empty()) return;
  std::string sql = "INSERT INTO " + table + " (";
  for (std::size_t c = 0; c < columns.size(); ++c) sql += (c ? "," : "") + columns[c];
  sql += ") VALUES ";
  db::Params params;
  params.reserve(rows.size() * columns.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    sql += r ? ",(" : "(";
    for (std::size_t c = 0; c < columns.size(); ++c) {
      std::string name = "P" + std::to_string(r) + "_" + std::to_string(c);
      sql += (c ? ",:" : ":") + name;
      params.emplace_back(std::move(name), rows[r][c]);
    }
    sql += ")";
  }
  if (ignoreExisting) sql += " ON CONFLICT DO NOTHING";
  connection.Execute(sql, params);
}

}  // namespace

std::vector<std::string> SplitCsvLine(std::string_view line) {
  std::vector<std::string> fields;
  std::string current;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        current.push_back('"');
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        current.push_back(c);
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(std::move(current));
      current.clear();
    } else if (c != '\r') {
      current.push_back(c);
    }
  }
  fields.push_back(std::move(current));
  return fields;
}

std::string SchemaSql(db::Engine engine) {
  std::string sql;
  for (const record::Table* table : record::ServerTables()) {
    sql += "CREATE TABLE IF NOT EXISTS " + std::string(table->name) + " (";
    const bool compositeKey = table->key.size() > 1;
    for (std::size_t i = 0; i < table->columns.size(); ++i) {
      const record::Column& c = table->columns[i];
      sql += i ? ",\n  " : "\n  ";
      sql += std::string(c.name) + " " + ColumnType(c, engine);
      if (table->IsKey(c.name)) sql += compositeKey ? " NOT NULL" : " NOT NULL PRIMARY KEY";
    }
    if (compositeKey) {
      sql += ",\n  PRIMARY KEY (";
      for (std::size_t k = 0; k < table->key.size(); ++k)
        sql += (k ? ", " : "") + std::string(table->key[k]);
      sql += ")";
    }
    sql += ");\n";
    for (const record::Index& index : table->indexes)
      sql += "CREATE INDEX IF NOT EXISTS " + std::string(index.name) + " ON " +
             std::string(table->name) + " (" + std::string(index.column) + ");\n";
  }
  return sql;
}

void CreateSchema(db::Connection& connection) {
  connection.ExecuteScript(SchemaSql(connection.GetEngine()));
  // The people and the history are the server's own, kept apart from the declared record.
  connection.ExecuteScript(PeopleSchemaSql(connection.GetEngine()) +
                           HistorySchemaSql(connection.GetEngine()));
  // A table made by an older version keeps its columns; one the server needs and that table
  // lacks would fail each call that names it, so it stops the start instead.
  for (const record::Table* table : record::ServerTables()) {
    const std::vector<FieldDef> present =
        connection.Query("SELECT * FROM " + std::string(table->name) + " WHERE 1 = 0").fields;
    for (const record::Column& c : table->columns) {
      const bool found = std::any_of(present.begin(), present.end(), [&](const FieldDef& f) {
        return utf8::SameText(f.name, c.name);
      });
      if (!found)
        throw std::runtime_error("table " + std::string(table->name) +
                                 " of the database has no column " + std::string(c.name) +
                                 "; add it or start on a new database");
    }
  }
  connection.ExecuteScript(ChangeTriggerSql(connection.GetEngine()));
}

bool HasSchema(db::Connection& connection) {
  try {
    return !connection.Query("SELECT CDPAIS FROM PAIS LIMIT 1").rows.empty();
  } catch (const db::FileChangedError&) {
    throw;
  } catch (const db::DbError&) {
    return false;
  }
}

std::span<const ReferenceFile> ReferenceFiles() {
  return kRefFiles;
}

ReferenceCsv ReadReferenceCsv(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("reference data file " + path.string() + " cannot be read");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  // Bytes that are not UTF-8 were written in Windows-1252 (as spreadsheets save "CSV" here), and
  // are read as the database layer reads such bytes.
  text = utf8::FromLegacy(text);
  if (text.empty()) throw std::runtime_error(path.string() + " is empty");
  // A file cut short ends in the middle of a line, whose last field would be stored cut.
  if (text.back() != '\n')
    throw std::runtime_error(path.string() +
                             " does not end with a line end: its last line may have been cut");
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  ReferenceCsv csv;
  csv.columns = SplitCsvLine(line);
  int lineNo = 1;
  while (std::getline(lines, line)) {
    ++lineNo;
    if (line.empty() || line == "\r") continue;
    auto fields = SplitCsvLine(line);
    if (fields.size() != csv.columns.size())
      throw std::runtime_error(path.string() + " line " + std::to_string(lineNo) + " has " +
                               std::to_string(fields.size()) + " fields, expected " +
                               std::to_string(csv.columns.size()));
    csv.rows.push_back(std::move(fields));
  }
  return csv;
}

int SeedReferenceData(db::Connection& connection, const std::filesystem::path& dataDir) {
  if (!connection.Query("SELECT CDPAIS FROM PAIS LIMIT 1").rows.empty()) return 0;
  db::Transaction tx(connection);
  int total = 0;
  for (const ReferenceFile& ref : kRefFiles) {
    ReferenceCsv csv = ReadReferenceCsv(dataDir / ref.file);
    for (std::size_t i = 0; i < csv.rows.size(); i += kBatchRows) {
      std::vector<std::vector<std::string>> batch(
          std::make_move_iterator(csv.rows.begin() + i),
          std::make_move_iterator(csv.rows.begin() + std::min(csv.rows.size(), i + kBatchRows)));
      InsertBatch(connection, ref.table, csv.columns, batch, false);
    }
    total += static_cast<int>(csv.rows.size());
  }
  tx.Commit();
  return total;
}

}  // namespace ger::server
