#pragma once
// The shared database's schema (derived from the declared tables for SQLite and PostgreSQL), the
// reference-data seed and the demo set.
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "db/database.h"

namespace ger::server {

// Creates the tables and indexes that are missing. Idempotent. Raises std::runtime_error with an
// English sentence when a table that exists lacks a declared column.
void CreateSchema(db::Connection& connection);
// The statements CreateSchema runs on an engine.
std::string SchemaSql(db::Engine engine);
// Whether the tables are there, filled with the reference data (for a database that can only be
// read).
bool HasSchema(db::Connection& connection);

// Loads the reference CSV files of `dataDir` (countries, states, municipalities, CNAE, legal
// natures, FPAS) when the country table is still empty, all in one transaction. Returns the
// number of rows loaded (0 when the data was already there). Raises std::runtime_error with an
// English sentence when a file is missing or malformed.
int SeedReferenceData(db::Connection& connection, const std::filesystem::path& dataDir);

// The shipped reference files and the tables they fill, in loading order.
struct ReferenceFile {
  const char* file;
  const char* table;
};
std::span<const ReferenceFile> ReferenceFiles();

// One reference CSV file: its header's column names and its rows, each with as many fields.
// Raises std::runtime_error naming the file (and line) when it is missing or malformed.
struct ReferenceCsv {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
};
ReferenceCsv ReadReferenceCsv(const std::filesystem::path& path);

// Adds the demo companies with their branches, parametrization, cost centres, accountants,
// neighbourhoods, representatives and notes from the files of `dataDir`/demo, one per table
// (columns named as in the database, a header in the first line), all in one transaction. Rows
// whose key already exists are kept. Raises std::runtime_error naming the file when one is
// missing or malformed, names a column its table does not have or holds a value its column's
// kind cannot take; nothing is added then.
void SeedDemo(db::Connection& connection, const std::filesystem::path& dataDir);

// A CSV line split into fields ("" inside quotes is a quote). Exposed for the tests.
std::vector<std::string> SplitCsvLine(std::string_view line);

}  // namespace ger::server
