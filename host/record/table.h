#pragma once
// How a module declares the tables its server owns and its screens' datasets over them, once.
//
// A table names its columns in order with their kind and size (sizes count characters) and the
// way its own dataset presents them: label, edit mask, display format and width, visibility,
// provider flags, the code that means none and the value of a new record where they have one.
// A screen's other datasets (lookups, checks) take columns of one or more tables, each with its
// own presentation. A module's declarations are constant data: safe to read from any thread,
// before main and after.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/packet.h"

namespace ger {
class TDataSet;
}

namespace ger::record {

// Provider flags as constants of the declarations.
inline constexpr ProviderFlags kNoFlags{false, false, false};
inline constexpr ProviderFlags kInWhere{false, true, false};
inline constexpr ProviderFlags kDefaultFlags{true, true, false};

// How a dataset shows one column.
struct Shown {
  std::string_view label = {};  // blank: the column name
  std::string_view mask = {};
  std::string_view displayFormat = {};
  int displayWidth = 0;  // 0: the size
  bool visible = true;
  bool required = false;
  bool readOnly = false;
};

struct Column {
  std::string_view name;
  FieldKind kind = FieldKind::String;
  int size = 0;  // characters, for String; 0 elsewhere
  ProviderFlags flags = kDefaultFlags;
  Shown shown;
  std::string_view none = {};     // the code that means none in a coded column
  std::string_view initial = {};  // the value a new record starts with
  bool placeholder = false;       // an empty box is stored as "*" at confirm

  FieldDef Def() const;
};

struct Index {
  std::string_view name;
  std::string_view column;
};

struct Table {
  std::string_view name;
  std::span<const Column> columns;
  std::span<const std::string_view> key;
  std::span<const Index> indexes = {};

  // Names compare case-insensitively (utf8::SameText).
  const Column* Find(std::string_view column) const;
  // std::out_of_range naming the table and the column when there is no such column.
  const Column& operator[](std::string_view column) const;
  bool IsKey(std::string_view column) const;
  std::vector<FieldDef> Fields() const;
};

// One field of a screen's dataset: a column of a table, shown the dataset's way.
struct DatasetField {
  const Table* table;
  std::string_view column;
  Shown shown;
  ProviderFlags flags = kDefaultFlags;

  const Column& Source() const { return (*table)[column]; }
  FieldDef Def() const;
};

struct Dataset {
  std::string_view name;
  std::span<const DatasetField> fields;
};

// Whether every field names a column its table has, as declared: for a static_assert beside the
// declarations, so that a field naming no column does not compile.
constexpr bool Resolves(std::span<const DatasetField> fields) {
  for (const DatasetField& f : fields) {
    bool found = false;
    for (const Column& c : f.table->columns) found = found || c.name == f.column;
    if (!found) return false;
  }
  return true;
}

// A column's name as code names it. It also makes a std::string, as the controls and grids keep
// the names of their fields.
struct ColumnName : std::string_view {
  explicit constexpr ColumnName(const char* name) : std::string_view(name) {}
  operator std::string() const { return std::string(data(), size()); }
};

// A table's columns are best declared as a list of rows X(NAME, ...), which the module's source
// turns into the table; applied to that list, this gives the struct of the table's column names
// (struct Empresa { GER_EMPRESA_COLUMNS(GER_RECORD_COLUMN_NAME) };), through which code names a
// column, so that a column that is not declared does not compile.
#define GER_RECORD_COLUMN_NAME(name, ...) static constexpr ::ger::record::ColumnName name{#name};

// Adds the persistent fields, in order, with their presentation: every column of a table, or the
// fields of a dataset. The dataset must have no fields yet.
void DefineFields(TDataSet& dataset, const Table& table);
void DefineFields(TDataSet& dataset, const Dataset& declared);

}  // namespace ger::record
