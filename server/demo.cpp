// The demo set behind `--demo`: three companies in three states, so that the company screen
// opens on data. Its rows are in the data folder's demo/ files, one per table (see
// data/README.md).
#include <cctype>
#include <charconv>
#include <stdexcept>

#include "contract/tables.h"
#include "core/utf8.h"
#include "schema.h"

namespace ger::server {
namespace {

// The tables of the demo set, in the order they are filled; each from demo/<table>.csv.
constexpr const record::Table* kDemoTables[] = {
    &record::kQualifAssina, &record::kRepresentante,    &record::kCentCust, &record::kContador,
    &record::kBairro,       &record::kEmpresa,          &record::kFilial,   &record::kEmprRepres,
    &record::kParGeral,     &record::kNotasExplicativas};

std::filesystem::path DemoFile(const std::filesystem::path& dataDir, const record::Table& table) {
  std::string name(table.name);
  for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return dataDir / "demo" / (name + ".csv");
}

// A cell as its column's kind: text as it is (an empty cell is an empty text), numbers and
// dates parsed (an empty cell is null).
Value CellValue(const record::Column& column, const std::string& cell, const std::string& where) {
  switch (column.kind) {
    case FieldKind::String:
    case FieldKind::Memo:
      return cell;
    case FieldKind::Float: {
      if (cell.empty()) return std::monostate{};
      double v = 0;
      auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), v);
      if (ec != std::errc() || end != cell.data() + cell.size())
        throw std::runtime_error(where + ": '" + cell + "' is not a number");
      return v;
    }
    case FieldKind::DateTime: {
      if (cell.empty()) return std::monostate{};
      if (auto d = DateTime::FromIso(cell)) return *d;
      throw std::runtime_error(where + ": '" + cell + "' is not a date (YYYY-MM-DD)");
    }
    default:
      throw std::runtime_error(where + ": column " + std::string(column.name) +
                               " cannot be given in a demo file");
  }
}

void Put(db::Connection& connection, const std::string& table, const db::Params& row) {
  std::string cols, vals;
  for (const auto& [name, value] : row) {
    cols += (cols.empty() ? "" : ",") + name;
    vals += (vals.empty() ? ":" : ",:") + name;
  }
  connection.Execute(
      "INSERT INTO " + table + " (" + cols + ") VALUES (" + vals + ") ON CONFLICT DO NOTHING", row);
}

}  // namespace

void SeedDemo(db::Connection& connection, const std::filesystem::path& dataDir) {
  // Every file is read and checked before the database is touched.
  std::vector<std::vector<db::Params>> rows;
  for (const record::Table* table : kDemoTables) {
    const std::filesystem::path file = DemoFile(dataDir, *table);
    ReferenceCsv csv = ReadReferenceCsv(file);
    std::vector<const record::Column*> columns;
    for (const std::string& name : csv.columns) {
      const record::Column* column = table->Find(name);
      if (!column)
        throw std::runtime_error(file.string() + " has a column " + name + " that table " +
                                 std::string(table->name) + " does not have");
      columns.push_back(column);
    }
    std::vector<db::Params>& out = rows.emplace_back();
    for (std::size_t r = 0; r < csv.rows.size(); ++r) {
      db::Params params;
      for (std::size_t i = 0; i < columns.size(); ++i)
        params.emplace_back(std::string(columns[i]->name),
                            CellValue(*columns[i], csv.rows[r][i],
                                      file.string() + " row " + std::to_string(r + 1)));
      out.push_back(std::move(params));
    }
  }
  db::Transaction tx(connection);
  for (std::size_t t = 0; t < rows.size(); ++t)
    for (const db::Params& row : rows[t]) Put(connection, std::string(kDemoTables[t]->name), row);
  tx.Commit();
}

}  // namespace ger::server
