#include "seat_role.h"

#include <random>
#include <stdexcept>

#include "contract/tables.h"

namespace ger::server {

namespace {

bool IsRoleName(const std::string& name) {
  if (name.empty() || name.size() > 63) return false;
  if (!(std::islower(static_cast<unsigned char>(name[0])) || name[0] == '_')) return false;
  for (char c : name)
    if (!(std::islower(static_cast<unsigned char>(c)) ||
          std::isdigit(static_cast<unsigned char>(c)) || c == '_'))
      return false;
  return true;
}

// Letters and digits only: the password is written into CREATE ROLE, which takes no parameters.
std::string NewPassword() {
  static constexpr std::string_view kChars =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::uniform_int_distribution<std::size_t> pick(0, kChars.size() - 1);
  std::string password;
  for (int i = 0; i < 32; ++i) password += kChars[pick(random)];
  return password;
}

std::string Quoted(const std::string& identifier) {
  std::string out = "\"";
  for (char c : identifier) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string Text(const Value& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  throw std::runtime_error("unexpected answer from PostgreSQL");
}

}  // namespace

std::string UrlWithLogin(const std::string& url, const std::string& user,
                         const std::string& password) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos) throw std::runtime_error("'" + url + "' is not a URL");
  const std::size_t start = scheme + 3;
  const std::size_t hostEnd = url.find_first_of("/?", start);
  const std::size_t at = url.rfind('@', hostEnd == std::string::npos ? url.size() : hostEnd);
  const std::size_t hostStart = at != std::string::npos && at >= start ? at + 1 : start;
  return url.substr(0, start) + user + ":" + password + "@" + url.substr(hostStart);
}

SeatRole CreateSeatRole(const std::string& url, const std::string& name) {
  if (!url.starts_with("postgresql://") && !url.starts_with("postgres://"))
    throw std::runtime_error(
        "seat roles are PostgreSQL roles; on SQLite the desktop host opens the database file for "
        "reading only (give the seats' users read permission on the file and its folder only)");
  if (!IsRoleName(name))
    throw std::runtime_error("'" + name +
                             "' is not a role name: use lower-case letters, digits and '_', "
                             "starting with a letter or '_', at most 63 characters");
  auto admin = db::Connection::Open(url);
  if (!admin->Query("SELECT 1 FROM pg_roles WHERE rolname = :NAME", {{"NAME", name}}).rows.empty())
    throw std::runtime_error("the role '" + name +
                             "' exists already; choose another name or drop it first");
  const DataPacket where = admin->Query("SELECT current_database(), current_schema()");
  const std::string database = Text(where.rows.at(0).at(0));
  const std::string schema = Text(where.rows.at(0).at(1));
  std::string tables;
  for (std::string_view table : record::kSeatReadTables) {
    if (!tables.empty()) tables += ", ";
    tables += table;
  }
  SeatRole role{name, NewPassword(), {}};
  const std::string quoted = Quoted(name);
  db::Transaction t(*admin);
  try {
    admin->ExecuteScript("CREATE ROLE " + quoted + " LOGIN PASSWORD '" + role.password +
                         "' NOSUPERUSER NOCREATEDB NOCREATEROLE NOINHERIT NOREPLICATION "
                         "NOBYPASSRLS;"
                         "ALTER ROLE " +
                         quoted +
                         " SET default_transaction_read_only = on;"
                         "GRANT CONNECT ON DATABASE " +
                         Quoted(database) + " TO " + quoted +
                         ";"
                         "GRANT USAGE ON SCHEMA " +
                         Quoted(schema) + " TO " + quoted +
                         ";"
                         "GRANT SELECT ON TABLE " +
                         tables + " TO " + quoted);
  } catch (const db::DbError& e) {
    throw std::runtime_error("cannot create the seat role '" + name + "': " + e.what());
  }
  t.Commit();
  role.url = UrlWithLogin(url, name, role.password);
  return role;
}

}  // namespace ger::server
