#include "change_set.h"

#include <algorithm>

#include "core/utf8.h"
#include "history.h"

namespace ger::server {

const std::string kConflict =
    "Registro alterado por outro usuário. Atualize os dados e tente novamente.";
const std::string kDeleted = "Registro excluído por outro usuário. Atualize os dados.";

void RefuseNul(std::string_view text, std::string_view what) {
  if (text.find('\0') != std::string_view::npos)
    throw RpcError(kInvalidParams,
                   std::string(what) + " contém um caractere nulo, que não é aceito.");
}

namespace {

// Brings a change-set value to the kind of its table column, or refuses it.
void CheckValue(const FieldDef& column, Value& v) {
  if (IsNull(v)) return;
  const std::string bad = "O valor do campo " + column.name + " não é do tipo esperado.";
  switch (column.kind) {
    case FieldKind::String:
    case FieldKind::Memo: {
      auto* s = std::get_if<std::string>(&v);
      if (!s) throw RpcError(kInvalidParams, bad);
      RefuseNul(*s, "O campo " + column.name);
      if (column.kind == FieldKind::String &&
          utf8::Length(*s) > static_cast<std::size_t>(column.size))
        throw RpcError(kInvalidParams, "O valor do campo " + column.name + " excede " +
                                           std::to_string(column.size) + " caracteres.");
      return;
    }
    case FieldKind::Float:
      if (auto* i = std::get_if<std::int64_t>(&v)) v = static_cast<double>(*i);
      if (!std::holds_alternative<double>(v)) throw RpcError(kInvalidParams, bad);
      return;
    case FieldKind::Integer:
      if (auto* d = std::get_if<double>(&v);
          d && *d == static_cast<double>(static_cast<std::int64_t>(*d)))
        v = static_cast<std::int64_t>(*d);
      if (!std::holds_alternative<std::int64_t>(v)) throw RpcError(kInvalidParams, bad);
      return;
    case FieldKind::DateTime:
      if (!std::holds_alternative<DateTime>(v)) throw RpcError(kInvalidParams, bad);
      return;
    case FieldKind::Blob:
      if (!std::holds_alternative<Bytes>(v)) throw RpcError(kInvalidParams, bad);
      return;
  }
}

bool Empty(const Value& v) {
  if (IsNull(v)) return true;
  if (const auto* s = std::get_if<std::string>(&v)) return s->empty();
  if (const auto* b = std::get_if<Bytes>(&v)) return b->data.empty();
  return false;
}

std::optional<double> Number(const Value& v) {
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  return std::nullopt;
}

// One table's change set, its fields mapped onto the table's columns.
class Applier {
 public:
  Applier(db::Connection& c, const RdmEmpresa::Table& table, const ChangeSet& changes,
          const ChangeHooks& hooks)
      : c_(c), table_(table), changes_(changes), hooks_(hooks) {
    columnOf_.assign(changes.fields.size(), -1);
    for (std::size_t f = 0; f < changes.fields.size(); ++f) {
      const std::string& name = changes.fields[f].name;
      int index = table.ColumnIndex(name);
      if (index < 0) {
        bool derived = std::any_of(table.derived.begin(), table.derived.end(),
                                   [&](const auto& d) { return utf8::SameText(d, name); });
        if (!derived)
          throw RpcError(kInvalidParams,
                         "O campo " + name + " não pertence à tabela " + table.name + ".");
        continue;
      }
      if (std::find(columnOf_.begin(), columnOf_.end(), index) != columnOf_.end())
        throw RpcError(kInvalidParams, "O campo " + name + " aparece duas vezes.");
      columnOf_[f] = index;
    }
    for (const std::string& k : table.key) keyField_.push_back(FieldOf(k, true));
    for (const auto& [column, message] : table.fixed) {
      if (auto f = FieldOf(column, false); f != kAbsent) fixedField_.emplace_back(f, message);
    }
  }

  void Insert(Row& row) {
    if (hooks_.adjustNew) hooks_.adjustNew(row, columnOf_);
    CheckRow(row);
    RequireKey(row);
    NoteInsert(row);
    db::Params params;
    std::string cols, vals;
    for (std::size_t f = 0; f < row.size(); ++f) {
      if (columnOf_[f] < 0) continue;
      std::string p = "N" + std::to_string(f);
      cols += (cols.empty() ? "" : ",") + Column(f);
      vals += (vals.empty() ? ":" : ",:") + p;
      params.emplace_back(p, std::move(row[f]));  // not read again: a large logo is not copied
    }
    c_.Execute("INSERT INTO " + table_.name + " (" + cols + ") VALUES (" + vals + ")", params);
  }

  void Update(const Row& oldRow, Row& newRow) {
    if (hooks_.adjustNew) hooks_.adjustNew(newRow, columnOf_);
    CheckRow(newRow);
    RequireKey(newRow);
    RequireKey(oldRow);
    for (const auto& [f, message] : fixedField_)
      if (!SameStoredValue(oldRow[f], newRow[f])) throw RpcError(kApplicationError, message);
    std::vector<std::size_t> written;
    for (std::size_t f = 0; f < newRow.size(); ++f)
      if (columnOf_[f] >= 0 && !SameStoredValue(oldRow[f], newRow[f])) written.push_back(f);
    const std::vector<std::size_t> compared = Compared(written);
    std::optional<Row> stored = Stored(oldRow, compared);
    if (!stored) throw RpcError(kApplicationError, kDeleted);
    if (!SameAsStored(oldRow, *stored, compared)) throw RpcError(kApplicationError, kConflict);
    if (written.empty()) return;
    Note(kHistoryUpdate, oldRow, &oldRow, &newRow, written);
    db::Params params;
    std::string set;
    for (std::size_t f : written) {
      std::string p = "N" + std::to_string(f);
      set += (set.empty() ? "" : ",") + Column(f) + " = :" + p;
      params.emplace_back(p, std::move(newRow[f]));  // not read again: a large logo is not copied
    }
    c_.Execute("UPDATE " + table_.name + " SET " + set + KeyWhere(oldRow, params), params);
  }

  void Delete(const Row& oldRow) {
    RequireKey(oldRow);
    // Every column goes with the row, so a change of any of them meanwhile refuses the delete.
    const std::vector<std::size_t> held = Held();
    std::optional<Row> stored = Stored(oldRow, held);
    if (!stored) {
      if (hooks_.deleteGone) hooks_.deleteGone();
      return;
    }
    if (!SameAsStored(oldRow, *stored, held)) throw RpcError(kApplicationError, kConflict);
    if (hooks_.beforeDelete) hooks_.beforeDelete(c_, oldRow, columnOf_);
    Note(kHistoryDelete, oldRow, &oldRow, nullptr, held);
    db::Params params;
    c_.Execute("DELETE FROM " + table_.name + KeyWhere(oldRow, params), params);
  }

  void CheckRow(Row& row) const {
    for (std::size_t f = 0; f < row.size(); ++f)
      if (columnOf_[f] >= 0) CheckValue(table_.columns[columnOf_[f]], row[f]);
  }

 private:
  static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);

  std::size_t FieldOf(const std::string& column, bool required) const {
    auto it = std::find_if(columnOf_.begin(), columnOf_.end(),
                           [&](int col) { return col >= 0 && table_.columns[col].name == column; });
    if (it != columnOf_.end()) return static_cast<std::size_t>(it - columnOf_.begin());
    if (required)
      throw RpcError(kInvalidParams, "O conjunto de alterações não traz o campo " + column + ".");
    return kAbsent;
  }
  const std::string& Column(std::size_t f) const { return table_.columns[columnOf_[f]].name; }

  // The history of one change, written before the change in the same transaction. An insert
  // keeps the values it brings, the fields shown from other tables too (a link's representative).
  void NoteInsert(const Row& row) {
    std::vector<std::size_t> brought;
    for (std::size_t f = 0; f < row.size(); ++f)
      if (!IsKey(f) && !SameStoredValue(row[f], Value{})) brought.push_back(f);
    Note(kHistoryInsert, row, nullptr, &row, brought);
  }
  void Note(char operation, const Row& keyRow, const Row* before, const Row* after,
            const std::vector<std::size_t>& fields) {
    if (!HistoryRecording()) return;
    std::string key, company;
    for (std::size_t f : keyField_) {
      key += (key.empty() ? "" : "/") + HistoryText(Column(f), keyRow[f]);
      if (Column(f) == "CDEMPRESA") company = HistoryText(Column(f), keyRow[f]);
    }
    std::vector<ColumnChange> columns;
    columns.reserve(fields.size());
    for (std::size_t f : fields) {
      if (before && after && SameStoredValue((*before)[f], (*after)[f])) continue;
      if (!after && SameStoredValue((*before)[f], Value{})) continue;  // a delete's empty column
      columns.push_back({columnOf_[f] >= 0 ? Column(f) : changes_.fields[f].name,
                         before ? (*before)[f] : Value{}, after ? (*after)[f] : Value{}});
    }
    RecordChange(c_, table_.name, operation, key, company, columns);
  }
  bool IsKey(std::size_t f) const {
    return std::find(keyField_.begin(), keyField_.end(), f) != keyField_.end();
  }

  void RequireKey(const Row& row) const {
    for (std::size_t k = 0; k < keyField_.size(); ++k) {
      const Value& v = row[keyField_[k]];
      const auto* s = std::get_if<std::string>(&v);
      if (IsNull(v) || (s && utf8::Trim(*s).empty()))
        throw RpcError(kApplicationError, "O campo " + table_.key[k] + " deve ser informado.");
    }
  }

  // " WHERE" clause of the row's key; fills params K<f>.
  std::string KeyWhere(const Row& row, db::Params& params) const {
    std::string where;
    for (std::size_t f : keyField_) {
      std::string p = "K" + std::to_string(f);
      where += (where.empty() ? " WHERE " : " AND ") + Column(f) + " = :" + p;
      params.emplace_back(p, row[f]);
    }
    return where;
  }

  // The columns an old row is held against: the where-flagged ones and those being written.
  std::vector<std::size_t> Compared(const std::vector<std::size_t>& written) const {
    std::vector<std::size_t> out;
    for (std::size_t f = 0; f < columnOf_.size(); ++f) {
      if (columnOf_[f] < 0 || IsKey(f)) continue;
      if (changes_.fields[f].flags.where ||
          std::find(written.begin(), written.end(), f) != written.end())
        out.push_back(f);
    }
    return out;
  }

  // Every stored column the change set carries, but the key.
  std::vector<std::size_t> Held() const {
    std::vector<std::size_t> out;
    for (std::size_t f = 0; f < columnOf_.size(); ++f)
      if (columnOf_[f] >= 0 && !IsKey(f)) out.push_back(f);
    return out;
  }

  // The stored values of the given columns of the row with the old row's key, locked until the
  // transaction ends; nullopt when there is no such row.
  std::optional<Row> Stored(const Row& oldRow, const std::vector<std::size_t>& compared) {
    std::string cols;
    for (std::size_t f : compared) cols += (cols.empty() ? "" : ", ") + Column(f);
    if (cols.empty()) cols = Column(keyField_.front());
    db::Params params;
    std::string sql = "SELECT " + cols + " FROM " + table_.name + KeyWhere(oldRow, params);
    // SQLite's transaction holds the write lock from its start; PostgreSQL locks the row, so
    // that no other save can change it between this look and the write.
    if (c_.GetEngine() == db::Engine::PostgreSQL) sql += " FOR UPDATE";
    DataPacket found = c_.Query(sql, params);
    if (found.rows.empty()) return std::nullopt;
    return std::move(found.rows.front());
  }

  bool SameAsStored(const Row& oldRow, const Row& stored,
                    const std::vector<std::size_t>& compared) const {
    std::size_t i = 0;
    for (std::size_t f : compared)
      if (!SameStoredValue(stored[i++], oldRow[f])) return false;
    return true;
  }

  db::Connection& c_;
  const RdmEmpresa::Table& table_;
  const ChangeSet& changes_;
  const ChangeHooks& hooks_;
  std::vector<int> columnOf_;
  std::vector<std::size_t> keyField_;  // change-set field of each key column
  std::vector<std::pair<std::size_t, std::string>> fixedField_;
};

}  // namespace

bool SameStoredValue(const Value& stored, const Value& held) {
  if (Empty(stored) || Empty(held)) return Empty(stored) && Empty(held);
  if (auto a = Number(stored)) {
    auto b = Number(held);
    return b && *a == *b;
  }
  return stored == held;
}

void ApplyChanges(db::Connection& c, const RdmEmpresa::Table& table, ChangeSet changes,
                  const ChangeHooks& hooks) {
  Applier applier(c, table, changes, hooks);
  for (Change& change : changes.changes) {
    switch (change.kind) {
      case ChangeKind::Insert:
        applier.Insert(change.newValues);
        break;
      case ChangeKind::Update:
        applier.CheckRow(change.oldValues);
        applier.Update(change.oldValues, change.newValues);
        break;
      case ChangeKind::Delete:
        applier.CheckRow(change.oldValues);
        applier.Delete(change.oldValues);
        break;
    }
  }
}

}  // namespace ger::server
