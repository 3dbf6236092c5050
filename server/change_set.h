#pragma once
// A client dataset's change set applied to one table of the shared database.
//
// The caller holds the transaction: one refused row refuses the whole set. For each change:
// - an insert writes every column the set carries;
// - an update writes only the columns whose value changed, and finds its row by the key, the old
//   values of the columns with the where flag and the old values of every column it writes;
// - a delete finds its row by the key and holds it against the old values of every column it
//   carries (a delete takes them all away); a row already gone is no error unless the hooks say
//   otherwise;
// - a row that differs from those old values was changed by someone else meanwhile: the conflict
//   error, so that a save never writes stale values over another user's change nor deletes it;
//   an updated row that is gone was deleted by someone else: the deleted error.
// Old values compare as the client reads them (SameStoredValue). A column of the table's `fixed`
// list (a key the rows of other tables hang on) may not change in an update.
#include <functional>
#include <string>
#include <vector>

#include "db/database.h"
#include "rdm_empresa.h"

namespace ger::server {

extern const std::string kConflict;
extern const std::string kDeleted;

struct ChangeHooks {
  // Runs on the new values of an insert or update before they are checked.
  std::function<void(Row& newValues, const std::vector<int>& columnOf)> adjustNew;
  // Runs before a row that is there is deleted.
  std::function<void(db::Connection&, const Row& oldValues, const std::vector<int>& columnOf)>
      beforeDelete;
  // Runs when the row a delete holds is gone already (by default that is what the delete wanted).
  std::function<void()> deleteGone;
};

void ApplyChanges(db::Connection& c, const RdmEmpresa::Table& table, ChangeSet changes,
                  const ChangeHooks& hooks = {});

// Refuses a text holding a NUL character, naming `what` in the sentence.
void RefuseNul(std::string_view text, std::string_view what);

// Whether a stored value is the value a client holds for it: an empty text (or blob) is a null,
// numbers compare by value whatever their kind.
bool SameStoredValue(const Value& stored, const Value& held);

}  // namespace ger::server
