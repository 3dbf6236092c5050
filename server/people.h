#pragma once
// People: each person who uses the program signs in with an access of their own (a token), kept in
// the table USUARIO only as a salted hash. The server asks the database about the token on every
// call, so an access withdrawn by `ger-admin user disable` is refused at the next call of every
// server sharing the database.
//
// A token is "KEY.SECRET": KEY (12 hex digits) finds the person's row, SECRET (32 hex digits) is
// what the hash proves. Once a person exists the server takes only people's tokens, and the
// service token given at its start (--token/--token-file) as the person "servico".
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection_pool.h"
#include "db/database.h"

namespace ger::server {

// Who the service token signs in as, and who a loopback call without any access is.
inline constexpr std::string_view kServicePerson = "servico";
inline constexpr std::string_view kLocalPerson = "local";

// The statements that make the table USUARIO (idempotent).
std::string PeopleSchemaSql(db::Engine engine);

// The SHA-256 digest of `bytes` in lower-case hex.
std::string Sha256Hex(std::string_view bytes);

// The server's time now, UTC, as "YYYY-MM-DD HH:MM:SS" (sorts as it reads).
std::string UtcNow();

struct Person {
  std::string name, created, lastSeen;  // UTC; lastSeen empty when never seen
  bool active = true;
};

// Makes an access for NAME and returns its token (shown once; only its hash is kept). With
// `replace`, a person who exists gets a new token instead (the old one stops working). Raises
// std::runtime_error with an English sentence for an unusable or reserved name, or a name that
// exists already (without `replace`) or does not (with it).
std::string AddPerson(db::Connection& c, const std::string& name, bool replace = false);
std::vector<Person> ListPeople(db::Connection& c);
// Raises std::runtime_error when there is no such person.
void SetPersonActive(db::Connection& c, const std::string& name, bool active);

// Decides who a call is from.
class Gate {
 public:
  Gate(ConnectionPool& pool, std::string serviceToken);
  // The person of an Authorization header's value ("Bearer TOKEN"); nullopt refuses the call.
  std::optional<std::string> Admit(std::string_view authorization);
  // The person a call admitted by Admit is from, without asking the database again (a token
  // names one person for good; whether it is still valid is what Admit asked).
  std::string PersonAdmitted(std::string_view authorization);

 private:
  std::optional<std::string> Check(std::string_view authorization);
  std::optional<std::string> PersonOf(db::Connection& c, std::string_view token);
  // The form of a person's token (key, dot, secret); anything else names no one.
  static bool PersonShaped(std::string_view token);
  bool AnyPerson(db::Connection& c);

  ConnectionPool& pool_;
  std::string serviceToken_;
  std::mutex mutex_;
  // "No person yet" is kept a second: it is asked on every call of a server without people.
  std::chrono::steady_clock::time_point noPeopleUntil_{};
  // When each person's last call was written down: at most once a minute, not on every call.
  std::map<std::string, std::chrono::steady_clock::time_point> seenWritten_;
  std::map<std::string, std::string, std::less<>> admitted_;  // authorization: person
};

// The caller of the call the current thread serves: the history writes it with each change.
struct Caller {
  std::string person = std::string(kLocalPerson);
  std::string seat;  // the host name the client sent
};
Caller& CurrentCaller();

// Sets the current thread's caller for a scope.
class CallerScope {
 public:
  explicit CallerScope(Caller caller);
  ~CallerScope();
  CallerScope(const CallerScope&) = delete;
  CallerScope& operator=(const CallerScope&) = delete;

 private:
  Caller saved_;
};

// True when `a` is the secret `b`, in a time that does not tell how much of it matched.
bool SameSecret(std::string_view a, std::string_view b);

}  // namespace ger::server
