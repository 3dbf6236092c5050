#pragma once
// The change history: every accepted change of a company, a representative link, a
// neighbourhood and the explanatory notes leaves rows in HISTORICO, written in the transaction
// of the change itself (a refused or rolled-back save leaves none): when (server time, UTC), who
// and from which seat (the current call's caller), the table, the row's key, the operation and,
// one row per column, the old and the new value. A picture is kept as its size and digest, a CPF
// masked but for its last digits. Triggers refuse to change or remove a row of it on both
// engines: the history only grows.
#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "db/database.h"

namespace ger::server {

// The statements that make the table, its indexes and the triggers (idempotent).
std::string HistorySchemaSql(db::Engine engine);

// Operations as written in IDOPERACAOHISTORICO.
inline constexpr char kHistoryInsert = 'I';
inline constexpr char kHistoryUpdate = 'A';
inline constexpr char kHistoryDelete = 'E';

struct ColumnChange {
  std::string column;
  Value before, after;
};

// Writes one accepted change of a row of `table` (its key, the company it belongs to, empty for
// none) with the current caller, in the connection's open transaction. A change without column
// changes still leaves one row (a delete of a row not read first).
void RecordChange(db::Connection& c, std::string_view table, char operation, std::string_view key,
                  std::string_view company, const std::vector<ColumnChange>& columns);

// A value as the history keeps it: a text as it is (a CPF masked but for its last two digits),
// a number as written, a date as ISO text, a picture as "N bytes, SHA-256 <digest>".
std::string HistoryText(std::string_view column, const Value& value);

// The history's columns as rows are read back (HistoryRows and `ger-admin history`).
struct HistoryFilter {
  std::string company;  // empty: every company
  std::string person;   // empty: everyone
  std::string since;    // "YYYY-MM-DD" (UTC); empty: from the start
};
// Newest first: DTHISTORICO, NMUSUARIO, NMESTACAOHISTORICO, NMTABELAHISTORICO,
// DSCHAVEHISTORICO, CDEMPRESA, IDOPERACAOHISTORICO, NMCOLUNAHISTORICO, DSANTESHISTORICO,
// DSDEPOISHISTORICO. Raises std::runtime_error for a `since` that is not a date.
DataPacket HistoryRows(db::Connection& c, const HistoryFilter& filter);

// The rows as CSV (a header line, then one line per row; fields quoted where they must be).
std::string HistoryCsv(const DataPacket& rows);

// Whether a table is one of the server's own beside the declared record (USUARIO, HISTORICO):
// a restore keeps them as they are in the database restored into.
bool IsPeopleOrHistoryTable(std::string_view name);

// Off only for the benchmark that weighs what the history costs a save: then nothing of the
// history is done, not even the texts of a change.
void SetHistoryRecording(bool on);
bool HistoryRecording();

}  // namespace ger::server
