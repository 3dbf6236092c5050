#include "reference.h"

#include <algorithm>
#include <map>
#include <set>
#include <span>
#include <stdexcept>

#include "contract/tables.h"
#include "core/utf8.h"
#include "schema.h"

namespace ger::server {
namespace {

// Where the rows of a reference table are named: a table and its columns holding the key, in
// the key's order. Companies are reported by code; other users only as a kind.
struct Use {
  const char* table;
  std::vector<std::string> columns;
  const char* what;  // "company" lists the companies' codes
};

std::vector<Use> UsesOf(std::string_view table) {
  if (table == "PAIS")
    return {{"EMPRESA", {"CDPAIS"}, "company"},
            {"ESTADO", {"CDPAIS"}, "a state"},
            {"BAIRRO", {"CDPAIS"}, "a neighbourhood"}};
  if (table == "ESTADO")
    return {{"EMPRESA", {"CDPAIS", "SGESTADO"}, "company"},
            {"MUNICIPIO", {"CDPAIS", "SGESTADO"}, "a municipality"},
            {"BAIRRO", {"CDPAIS", "SGESTADO"}, "a neighbourhood"}};
  if (table == "MUNICIPIO")
    return {{"EMPRESA", {"CDPAIS", "SGESTADO", "CDMUNICIPIO"}, "company"},
            {"BAIRRO", {"CDPAIS", "SGESTADO", "CDMUNICIPIO"}, "a neighbourhood"}};
  if (table == "CNAE") return {{"EMPRESA", {"CDCNAE"}, "company"}};
  if (table == "FPAS") return {{"EMPRESA", {"CDFPAS"}, "company"}};
  if (table == "NATUREZA") return {{"EMPRESA", {"CDNATUJURI"}, "company"}};
  return {};
}

std::string Text(const Value& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  return {};
}

using Key = std::vector<std::string>;

std::string KeyText(const Key& key) {
  std::string out;
  for (const auto& k : key) out += (out.empty() ? "" : "/") + k;
  return out;
}

// Who still names `key`: "used by companies 01, 02" or "used by a neighbourhood"; empty when
// nobody does.
std::string UsedBy(db::Connection& c, std::string_view table, const Key& key) {
  std::vector<std::string> users;
  for (const Use& use : UsesOf(table)) {
    std::string where;
    db::Params params;
    for (std::size_t i = 0; i < use.columns.size(); ++i) {
      where += (i ? " AND " : "") + use.columns[i] + " = :K" + std::to_string(i);
      params.emplace_back("K" + std::to_string(i), key[i]);
    }
    if (std::string_view(use.what) == "company") {
      DataPacket p =
          c.Query("SELECT CDEMPRESA FROM EMPRESA WHERE " + where + " ORDER BY CDEMPRESA", params);
      if (p.rows.empty()) continue;
      std::string codes;
      for (const Row& r : p.rows) codes += (codes.empty() ? "" : ", ") + Text(r[0]);
      users.push_back((p.rows.size() == 1 ? "company " : "companies ") + codes);
    } else if (!c.Query("SELECT 1 FROM " + std::string(use.table) + " WHERE " + where + " LIMIT 1",
                        params)
                    .rows.empty()) {
      users.push_back(use.what);
    }
  }
  std::string out;
  for (const auto& u : users) out += (out.empty() ? "used by " : " and ") + u;
  return out;
}

ReferenceChanges RefreshTable(db::Connection& c, const record::Table& table, ReferenceCsv csv,
                              const std::string& file, const RefreshOptions& options) {
  // The file's columns must be the table's, the key among them.
  std::vector<int> keyAt;
  for (std::string_view k : table.key) {
    auto it = std::find_if(csv.columns.begin(), csv.columns.end(),
                           [&](const std::string& c) { return utf8::SameText(c, k); });
    if (it == csv.columns.end())
      throw std::runtime_error(file + " has no column " + std::string(k));
    keyAt.push_back(static_cast<int>(it - csv.columns.begin()));
  }
  for (const std::string& column : csv.columns)
    if (!table.Find(column))
      throw std::runtime_error(file + " has a column " + column + " that table " +
                               std::string(table.name) + " does not have");

  // Checked here, so that SQLite refuses what PostgreSQL would.
  for (std::size_t i = 0; i < csv.columns.size(); ++i) {
    const record::Column& column = *table.Find(csv.columns[i]);
    if (column.kind != FieldKind::String) continue;
    for (const auto& row : csv.rows)
      if (utf8::Length(row[i]) > static_cast<std::size_t>(column.size))
        throw std::runtime_error(file + ": the value '" + row[i] + "' of column " + csv.columns[i] +
                                 " has " + std::to_string(utf8::Length(row[i])) +
                                 " characters, more than the column's " +
                                 std::to_string(column.size));
  }

  auto keyOf = [&](const std::vector<std::string>& row) {
    Key k;
    for (int i : keyAt) k.push_back(row[static_cast<std::size_t>(i)]);
    return k;
  };
  std::map<Key, std::vector<std::string>> wanted;
  for (auto& row : csv.rows) {
    Key k = keyOf(row);
    if (!wanted.emplace(k, std::move(row)).second)
      throw std::runtime_error(file + " holds the key " + KeyText(k) + " twice");
  }

  std::string list;
  for (const auto& column : csv.columns) list += (list.empty() ? "" : ", ") + column;
  std::map<Key, std::vector<std::string>> present;
  for (const Row& r : c.Query("SELECT " + list + " FROM " + std::string(table.name)).rows) {
    std::vector<std::string> row;
    for (const Value& v : r) row.push_back(Text(v));
    present.emplace(keyOf(row), std::move(row));
  }

  auto params = [&](const std::vector<std::string>& row) {
    db::Params p;
    for (std::size_t i = 0; i < row.size(); ++i) p.emplace_back("C" + std::to_string(i), row[i]);
    return p;
  };
  std::string keyWhere;
  for (std::size_t i = 0; i < keyAt.size(); ++i)
    keyWhere += (i ? " AND " : "") + csv.columns[static_cast<std::size_t>(keyAt[i])] + " = :C" +
                std::to_string(keyAt[i]);
  std::string insert = "INSERT INTO " + std::string(table.name) + " (" + list + ") VALUES (";
  std::string update = "UPDATE " + std::string(table.name) + " SET ";
  bool firstSet = true;
  for (std::size_t i = 0; i < csv.columns.size(); ++i) {
    insert += (i ? ", :C" : ":C") + std::to_string(i);
    if (std::find(keyAt.begin(), keyAt.end(), static_cast<int>(i)) != keyAt.end()) continue;
    update += (firstSet ? "" : ", ") + csv.columns[i] + " = :C" + std::to_string(i);
    firstSet = false;
  }
  insert += ")";
  update += " WHERE " + keyWhere;
  const std::string remove = "DELETE FROM " + std::string(table.name) + " WHERE " + keyWhere;

  std::size_t missing = 0;
  for (const auto& entry : present) missing += wanted.count(entry.first) ? 0 : 1;
  if (!options.allowRemovals && missing * kMaxRemovedShareDivisor > present.size())
    throw std::runtime_error(file + " leaves out " + std::to_string(missing) + " of the " +
                             std::to_string(present.size()) + " rows of table " +
                             std::string(table.name) + ", more than one in " +
                             std::to_string(kMaxRemovedShareDivisor) +
                             ": is it cut short or the wrong file? Check it, and run again with "
                             "--allow-removals to remove them");

  ReferenceChanges out;
  out.table = table.name;
  for (const auto& [key, row] : wanted) {
    auto it = present.find(key);
    if (it == present.end()) {
      c.Execute(insert, params(row));
      ++out.added;
    } else if (it->second != row && !firstSet) {
      c.Execute(update, params(row));
      ++out.changed;
    }
  }
  for (const auto& [key, row] : present) {
    if (wanted.count(key)) continue;
    std::string users = UsedBy(c, table.name, key);
    if (!users.empty()) {
      out.kept.push_back(KeyText(key) + " (" + users + ")");
      continue;
    }
    c.Execute(remove, params(row));
    ++out.removed;
  }
  return out;
}

const record::Table& TableNamed(std::string_view name) {
  for (const record::Table* t : record::ServerTables())
    if (t->name == name) return *t;
  throw std::logic_error("no declared table " + std::string(name));
}

// The values of `columns` in each row of a file, joined by "/".
std::set<std::string> KeysOf(const ReferenceCsv& csv, const std::vector<std::string_view>& columns,
                             const std::string& file) {
  std::vector<std::size_t> at;
  for (std::string_view name : columns) {
    auto it = std::find_if(csv.columns.begin(), csv.columns.end(),
                           [&](const std::string& c) { return utf8::SameText(c, name); });
    if (it == csv.columns.end())
      throw std::runtime_error(file + " has no column " + std::string(name));
    at.push_back(static_cast<std::size_t>(it - csv.columns.begin()));
  }
  std::set<std::string> out;
  for (const auto& row : csv.rows) {
    std::string key;
    for (std::size_t i : at) key += (key.empty() ? "" : "/") + row[i];
    out.insert(key);
  }
  return out;
}

// A municipality names a state of the states' file, and a state a country of the countries'
// file: a place whose larger place is not there would be offered for a choice no one can make.
void RequirePlacesInFiles(std::span<const ReferenceFile> files,
                          const std::vector<ReferenceCsv>& csvs,
                          const std::filesystem::path& dataDir) {
  auto index = [&](std::string_view table) {
    for (std::size_t i = 0; i < files.size(); ++i)
      if (files[i].table == table) return i;
    throw std::logic_error("no reference file for " + std::string(table));
  };
  const std::size_t pais = index("PAIS"), estado = index("ESTADO"), municipio = index("MUNICIPIO");
  auto name = [&](std::size_t i) { return (dataDir / files[i].file).string(); };
  const std::set<std::string> countries = KeysOf(csvs[pais], {"CDPAIS"}, name(pais));
  const std::set<std::string> states = KeysOf(csvs[estado], {"CDPAIS", "SGESTADO"}, name(estado));
  for (const std::string& country : KeysOf(csvs[estado], {"CDPAIS"}, name(estado)))
    if (!countries.count(country))
      throw std::runtime_error(name(estado) + " has states of the country " + country + ", which " +
                               name(pais) + " does not hold");
  for (const std::string& state : KeysOf(csvs[municipio], {"CDPAIS", "SGESTADO"}, name(municipio)))
    if (!states.count(state))
      throw std::runtime_error(name(municipio) + " has municipalities of the state " + state +
                               " (country/state), which " + name(estado) + " does not hold");
}

}  // namespace

std::vector<ReferenceChanges> RefreshReferenceData(db::Connection& connection,
                                                   const std::filesystem::path& dataDir,
                                                   const RefreshOptions& options) {
  std::span<const ReferenceFile> files = ReferenceFiles();
  // Every file is read before the database is touched.
  std::vector<ReferenceCsv> csvs;
  for (const ReferenceFile& ref : files) csvs.push_back(ReadReferenceCsv(dataDir / ref.file));
  RequirePlacesInFiles(files, csvs, dataDir);

  std::vector<ReferenceChanges> report(files.size());
  db::Transaction tx(connection);
  // Smaller places first, so that a state or country that only lost its own smaller places in
  // this refresh may go too.
  std::vector<std::size_t> order(files.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto rank = [&](std::size_t i) {
    std::string_view t = files[i].table;
    return t == "MUNICIPIO" ? 0 : t == "ESTADO" ? 1 : t == "PAIS" ? 2 : 3;
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return rank(a) < rank(b); });
  for (std::size_t i : order)
    report[i] = RefreshTable(connection, TableNamed(files[i].table), std::move(csvs[i]),
                             (dataDir / files[i].file).string(), options);
  if (options.dryRun) return report;  // rolled back by the guard
  tx.Commit();
  return report;
}

}  // namespace ger::server
