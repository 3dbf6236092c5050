#pragma once
// A seat's own login role on PostgreSQL. The desktop host reads a few reference tables straight
// from the database (record::kSeatReadTables); with the server's credentials it could change any
// row past the server's checks, conflict rule and log. The role made here can connect, read those
// tables and nothing else, and writes nothing (no table privilege but SELECT, and every
// transaction of it read-only).
#include <string>

#include "db/database.h"

namespace ger::server {

struct SeatRole {
  std::string name;
  std::string password;  // generated; shown to the operator once
  std::string url;       // the seats' database setting: the given URL with the role's login
};

// Creates the role NAME (lower-case letters, digits and "_", starting with a letter or "_") on
// the PostgreSQL database of `url`, connected as an operator who may create roles and grant on
// the tables. Raises std::runtime_error with an English sentence for a SQLite URL, a name that is
// not such an identifier or a role that exists already, or a database without the tables;
// nothing is created then.
SeatRole CreateSeatRole(const std::string& url, const std::string& name);

// `url` with its user and password replaced by the given ones.
std::string UrlWithLogin(const std::string& url, const std::string& user,
                         const std::string& password);

}  // namespace ger::server
