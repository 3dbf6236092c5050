#include "people.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <spdlog/spdlog.h>

#include <ctime>
#include <stdexcept>

#include "core/utf8.h"

namespace ger::server {

namespace {

constexpr std::size_t kKeyDigits = 12;
constexpr std::size_t kSecretDigits = 32;
constexpr int kNameSize = 40;

std::string Hex(const unsigned char* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

std::string RandomHex(std::size_t digits) {
  std::string bytes(digits / 2, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(bytes.size())) !=
      1)
    throw std::runtime_error("the system gave no random bytes for a token");
  return Hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string TokenHash(std::string_view salt, std::string_view token) {
  std::string salted(salt);
  salted += token;
  return Sha256Hex(salted);
}

std::string Text(const Value& v) {
  const auto* s = std::get_if<std::string>(&v);
  return s ? *s : std::string();
}

void CheckName(const std::string& name) {
  if (utf8::Trim(name).empty() || utf8::Trim(name) != name)
    throw std::runtime_error("a person's name may not be empty nor begin or end with a blank");
  if (!utf8::IsWellFormed(name) || utf8::Length(name) > static_cast<std::size_t>(kNameSize))
    throw std::runtime_error("a person's name is UTF-8 text of at most " +
                             std::to_string(kNameSize) + " characters");
  for (unsigned char ch : name)
    if (ch < 0x20 || ch == 0x7f || ch == ',' || ch == '"')
      throw std::runtime_error("a person's name may not hold control characters, commas or quotes");
  if (utf8::SameText(name, kServicePerson) || utf8::SameText(name, kLocalPerson))
    throw std::runtime_error("'" + name +
                             "' is reserved: the service token and local calls use it");
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 failed");
  return Hex(digest, size);
}

std::string UtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[24];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
  return text;
}

std::string PeopleSchemaSql(db::Engine) {
  return "CREATE TABLE IF NOT EXISTS USUARIO (\n"
         "  NMUSUARIO VARCHAR(40) NOT NULL PRIMARY KEY,\n"
         "  DSCHAVEUSUARIO VARCHAR(12) NOT NULL UNIQUE,\n"
         "  DSSALUSUARIO VARCHAR(32) NOT NULL,\n"
         "  DSHASHUSUARIO VARCHAR(64) NOT NULL,\n"
         "  DTCRIACAOUSUARIO VARCHAR(19) NOT NULL,\n"
         "  DTACESSOUSUARIO VARCHAR(19),\n"
         "  IDATIVOUSUARIO VARCHAR(1) NOT NULL);\n";
}

std::string AddPerson(db::Connection& c, const std::string& name, bool replace) {
  CheckName(name);
  const std::string key = RandomHex(kKeyDigits);
  const std::string token = key + "." + RandomHex(kSecretDigits);
  const std::string salt = RandomHex(32);
  db::Transaction tx(c);
  const bool exists =
      !c.Query("SELECT NMUSUARIO FROM USUARIO WHERE NMUSUARIO = :N", {{"N", name}}).rows.empty();
  if (exists && !replace)
    throw std::runtime_error("the person '" + name +
                             "' exists already; give a new access with 'user add --new-token'");
  if (!exists && replace) throw std::runtime_error("there is no person '" + name + "'");
  db::Params params = {
      {"N", name}, {"K", key}, {"S", salt}, {"H", TokenHash(salt, token)}, {"D", UtcNow()}};
  if (replace)
    c.Execute(
        "UPDATE USUARIO SET DSCHAVEUSUARIO = :K, DSSALUSUARIO = :S, DSHASHUSUARIO = :H, "
        "IDATIVOUSUARIO = 'S' WHERE NMUSUARIO = :N AND :D <> ''",
        params);
  else
    c.Execute(
        "INSERT INTO USUARIO (NMUSUARIO, DSCHAVEUSUARIO, DSSALUSUARIO, DSHASHUSUARIO, "
        "DTCRIACAOUSUARIO, IDATIVOUSUARIO) VALUES (:N, :K, :S, :H, :D, 'S')",
        params);
  tx.Commit();
  return token;
}

std::vector<Person> ListPeople(db::Connection& c) {
  std::vector<Person> out;
  for (const Row& r : c.Query("SELECT NMUSUARIO, DTCRIACAOUSUARIO, DTACESSOUSUARIO, "
                              "IDATIVOUSUARIO FROM USUARIO ORDER BY NMUSUARIO")
                          .rows)
    out.push_back({Text(r[0]), Text(r[1]), Text(r[2]), Text(r[3]) == "S"});
  return out;
}

void SetPersonActive(db::Connection& c, const std::string& name, bool active) {
  db::Transaction tx(c);
  if (c.Execute("UPDATE USUARIO SET IDATIVOUSUARIO = :A WHERE NMUSUARIO = :N",
                {{"A", std::string(active ? "S" : "N")}, {"N", name}}) == 0)
    throw std::runtime_error("there is no person '" + name + "'");
  tx.Commit();
}

Gate::Gate(ConnectionPool& pool, std::string serviceToken)
    : pool_(pool), serviceToken_(std::move(serviceToken)) {}

std::string Gate::PersonAdmitted(std::string_view authorization) {
  {
    std::lock_guard lock(mutex_);
    if (auto it = admitted_.find(authorization); it != admitted_.end()) return it->second;
  }
  return Admit(authorization).value_or(std::string(kLocalPerson));
}

std::optional<std::string> Gate::Admit(std::string_view authorization) {
  std::optional<std::string> person = Check(authorization);
  if (person) {
    std::lock_guard lock(mutex_);
    if (auto it = admitted_.find(authorization); it != admitted_.end()) {
      if (it->second != *person) it->second = *person;
      return person;
    }
    // Bounded: a flood of different tokens cannot grow it.
    if (admitted_.size() >= 4096) admitted_.clear();
    admitted_.emplace(std::string(authorization), *person);
  }
  return person;
}

std::optional<std::string> Gate::Check(std::string_view authorization) {
  std::string_view token;
  if (authorization.size() > 7 && utf8::SameText(authorization.substr(0, 7), "Bearer "))
    token = authorization.substr(7);
  if (!serviceToken_.empty() && SameSecret(token, serviceToken_))
    return std::string(kServicePerson);
  // A token that cannot name a person, while the server is known to have none: what the lookups
  // below would find, without taking a connection for them on every call.
  if (serviceToken_.empty() && !PersonShaped(token)) {
    std::lock_guard lock(mutex_);
    if (std::chrono::steady_clock::now() < noPeopleUntil_) return std::string(kLocalPerson);
  }
  auto c = pool_.Acquire();
  if (std::optional<std::string> person = PersonOf(*c, token)) return person;
  // Without people, the server is what it was: the service token alone, or loopback for all.
  if (serviceToken_.empty() && !AnyPerson(*c)) return std::string(kLocalPerson);
  return std::nullopt;
}

bool Gate::PersonShaped(std::string_view token) {
  return token.size() == kKeyDigits + 1 + kSecretDigits && token[kKeyDigits] == '.';
}

std::optional<std::string> Gate::PersonOf(db::Connection& c, std::string_view token) {
  if (!PersonShaped(token)) return std::nullopt;
  DataPacket found = c.Query(
      "SELECT NMUSUARIO, DSSALUSUARIO, DSHASHUSUARIO, IDATIVOUSUARIO FROM USUARIO WHERE "
      "DSCHAVEUSUARIO = :K",
      {{"K", std::string(token.substr(0, kKeyDigits))}});
  if (found.rows.empty()) return std::nullopt;
  const Row& r = found.rows.front();
  if (Text(r[3]) != "S" || !SameSecret(TokenHash(Text(r[1]), token), Text(r[2])))
    return std::nullopt;
  std::string name = Text(r[0]);
  const auto now = std::chrono::steady_clock::now();
  bool write = false;
  {
    std::lock_guard lock(mutex_);
    auto& written = seenWritten_[name];
    if (written.time_since_epoch().count() == 0 || now - written > std::chrono::minutes(1)) {
      written = now;
      write = true;
    }
  }
  if (write && !c.ReadOnly()) {
    try {
      db::Transaction tx(c);
      c.Execute("UPDATE USUARIO SET DTACESSOUSUARIO = :D WHERE NMUSUARIO = :N",
                {{"D", UtcNow()}, {"N", name}});
      tx.Commit();
    } catch (const db::DbError& e) {
      // The call goes on: when a person was last seen is a note, not a condition.
      spdlog::warn("could not note the last call of {}: {}", name, e.what());
    }
  }
  return name;
}

bool Gate::AnyPerson(db::Connection& c) {
  const auto now = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(mutex_);
    if (now < noPeopleUntil_) return false;
  }
  if (!c.Query("SELECT NMUSUARIO FROM USUARIO LIMIT 1").rows.empty()) return true;
  std::lock_guard lock(mutex_);
  noPeopleUntil_ = now + std::chrono::seconds(1);
  return false;
}

Caller& CurrentCaller() {
  thread_local Caller caller;
  return caller;
}

CallerScope::CallerScope(Caller caller) : saved_(std::move(CurrentCaller())) {
  CurrentCaller() = std::move(caller);
}

CallerScope::~CallerScope() {
  CurrentCaller() = std::move(saved_);
}

bool SameSecret(std::string_view a, std::string_view b) {
  // Constant time in the length of the expected secret.
  unsigned diff = a.size() != b.size();
  for (std::size_t i = 0; i < b.size(); ++i)
    diff |= static_cast<unsigned>(static_cast<unsigned char>(i < a.size() ? a[i] : 0) ^
                                  static_cast<unsigned char>(b[i]));
  return diff == 0;
}

}  // namespace ger::server
