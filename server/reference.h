#pragma once
// Refreshing the reference lists (countries, states, municipalities, CNAE, legal natures, FPAS)
// of a database in use from newer CSV files in the shipped format (ger-admin reference).
#include <filesystem>
#include <string>
#include <vector>

#include "db/database.h"

namespace ger::server {

// What the refresh did to one table. A row missing from the new file but still named by a
// company (or, for a place, by a neighbourhood or a smaller place) stays, listed in `kept`
// as "KEY (used by ...)".
struct ReferenceChanges {
  std::string table;
  int added = 0;
  int changed = 0;
  int removed = 0;
  std::vector<std::string> kept;
};

struct RefreshOptions {
  // Works out and reports the changes, then rolls them back.
  bool dryRun = false;
  // Lets a file leave out more than kMaxRemovedShare of a table's rows (a cut or wrong file
  // would otherwise empty the lists the companies choose from).
  bool allowRemovals = false;
};
// The share of a table's rows a refresh may remove without allowRemovals: one in twenty.
inline constexpr int kMaxRemovedShareDivisor = 20;

// Brings the reference tables in line with the CSV files of `dataDir`, all in one transaction:
// nothing changes when a file is missing or malformed (std::runtime_error naming it), a value is
// longer than its column, a municipality's state or a state's country is not in the files, a
// file leaves out too many rows, or the database refuses a statement. The tables are reported
// in the order of ReferenceFiles().
std::vector<ReferenceChanges> RefreshReferenceData(db::Connection& connection,
                                                   const std::filesystem::path& dataDir,
                                                   const RefreshOptions& options = {});

}  // namespace ger::server
