#pragma once
// What the fault tests share: a ger-server child process that can be killed and restarted on
// the same database (and port), a fresh database per test (a SQLite file in a temporary folder,
// or a PostgreSQL schema when the program runs with --pg), and company change sets shaped as
// the screen sends them.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <boost/json.hpp>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "data/packet.h"
#include "db/database.h"
#include "launcher.h"
#include "net/netconnection.h"

namespace gerfault {

// Set by main(): the PostgreSQL server URL of a --pg run, "" for SQLite.
extern std::string gPgUrl;

// The tests' main: gtest's options, and --pg for a run on PostgreSQL (GER_TEST_PG).
int RunFaultTests(int argc, char** argv);

// The project's server launcher with the test's database and the reference data; port 0 picks
// a free one. The per-call log goes nowhere.
class ServerChild {
 public:
  ServerChild(const std::string& dbUrl, int port = 0, std::vector<std::string> extra = {});
  int Port() const { return process_.Port(); }
  pid_t Pid() const { return process_.Pid(); }
  // SIGKILL at once, or SIGTERM with 10 s of grace; the exit status, -1 when killed.
  int Stop(int signal);
  // False once the process has ended (a crash included).
  bool Running() const;

 private:
  ger::server::ServerProcess process_;
};

// A fresh database for one test, removed with the object.
class FreshDatabase {
 public:
  FreshDatabase();
  ~FreshDatabase();
  const std::string& Url() const { return url_; }
  const std::filesystem::path& Dir() const { return dir_; }    // SQLite only
  const std::filesystem::path& File() const { return file_; }  // SQLite only
  bool IsPg() const { return !schema_.empty(); }

 private:
  std::string url_, schema_;
  std::filesystem::path dir_, file_;
};

// The two-character company codes in order: 00, 01, ... ZZ (1,296 of them).
std::string CompanyCode(int index);

// A change set with the field list of GetEmpresa's packet.
struct CompanySet {
  ger::DataPacket shape;
  ger::ChangeSet set;
  explicit CompanySet(ger::DataPacket s);
  ger::Row Blank() const { return ger::Row(shape.fields.size()); }
  void Put(ger::Row& row, const std::string& column, ger::Value v) const;
  void Insert(ger::Row r);
  void Update(ger::Row o, ger::Row n);
  // The SetEmpresa arguments: the change set and the six empty-box flags, all false.
  boost::json::array Args() const;
};

std::string Text(const ger::Value& v);

}  // namespace gerfault
