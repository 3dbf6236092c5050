#pragma once
// Inside the database layer: the engine back-ends and the helpers they share.
#include <cstddef>
#include <memory>
#include <string_view>

#include "db/database.h"

namespace ger::db {

std::unique_ptr<Connection> OpenSqlite(std::string_view path, Access access);
std::unique_ptr<Connection> OpenPostgres(std::string_view url, Access access);

// The value supplied for an (upper-case) parameter name; DbError when there is none. `at`: where
// the caller most likely put it (the parameter's place in the statement), looked at first, so that
// a statement of many parameters given in order is bound without a search for each.
const Value& RequireParam(const Params& params, const std::string& upperName,
                          std::size_t at = static_cast<std::size_t>(-1));
const Value* FindParam(const Params& params, std::string_view upperName);

}  // namespace ger::db
