#include "fault_support.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

namespace gerfault {

std::string gPgUrl;

namespace {
int gCounter = 0;
}

int RunFaultTests(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--pg") {
      const char* url = std::getenv("GER_TEST_PG");
      if (!url || !*url) {
        std::cerr << "fault tests --pg: GER_TEST_PG is not set (./ger test sets it)\n";
        return 1;
      }
      gPgUrl = url;
    }
  }
  return RUN_ALL_TESTS();
}

namespace {
ger::server::LaunchOptions Launch(const std::string& dbUrl, int port,
                                  std::vector<std::string> extra) {
  ger::server::LaunchOptions o;
  o.binary = GER_SERVER_BIN;
  o.args = {"--db", dbUrl, "--port", std::to_string(port), "--data", GER_SOURCE_DIR "/data"};
  o.args.insert(o.args.end(), extra.begin(), extra.end());
  o.log = "/dev/null";
  return o;
}
}  // namespace

ServerChild::ServerChild(const std::string& dbUrl, int port, std::vector<std::string> extra)
    : process_(Launch(dbUrl, port, std::move(extra))) {}

int ServerChild::Stop(int signal) {
  if (signal == SIGKILL) {
    process_.Kill();
    return -1;
  }
  return process_.Stop(std::chrono::seconds(10));
}

bool ServerChild::Running() const {
  if (!process_.Running()) return false;
  // A process that has ended but not yet been waited for shows state Z.
  std::ifstream stat("/proc/" + std::to_string(process_.Pid()) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  auto close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

FreshDatabase::FreshDatabase() {
  ++gCounter;
  const std::string tag = std::to_string(getpid()) + "_" + std::to_string(gCounter);
  if (gPgUrl.empty()) {
    dir_ = std::filesystem::temp_directory_path() / ("ger-fault-" + tag);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    file_ = dir_ / "ger.db";
    url_ = "sqlite:" + file_.string();
  } else {
    schema_ = "fault_" + tag;
    ger::db::Connection::Open(gPgUrl)->ExecuteScript("DROP SCHEMA IF EXISTS " + schema_ +
                                                     " CASCADE; CREATE SCHEMA " + schema_);
    url_ = gPgUrl + (gPgUrl.find('?') == std::string::npos ? "?" : "&") +
           "options=-csearch_path%3D" + schema_;
  }
}

FreshDatabase::~FreshDatabase() {
  try {
    if (!schema_.empty())
      ger::db::Connection::Open(gPgUrl)->ExecuteScript("DROP SCHEMA IF EXISTS " + schema_ +
                                                       " CASCADE");
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "cleaning up: " << e.what();
  }
}

std::string CompanyCode(int index) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  return {kDigits[(index / 36) % 36], kDigits[index % 36]};
}

CompanySet::CompanySet(ger::DataPacket s) : shape(std::move(s)) {
  set.fields = shape.fields;
}
void CompanySet::Put(ger::Row& row, const std::string& column, ger::Value v) const {
  int index = shape.IndexOf(column);
  if (index < 0) throw std::runtime_error("no column " + column);
  row.at(static_cast<std::size_t>(index)) = std::move(v);
}
void CompanySet::Insert(ger::Row r) {
  set.changes.push_back({ger::ChangeKind::Insert, {}, std::move(r)});
}
void CompanySet::Update(ger::Row o, ger::Row n) {
  set.changes.push_back({ger::ChangeKind::Update, std::move(o), std::move(n)});
}
boost::json::array CompanySet::Args() const {
  boost::json::array args{ger::codec::ToJson(set)};
  for (int i = 0; i < 6; ++i) args.push_back(false);
  return args;
}

std::string Text(const ger::Value& v) {
  if (ger::IsNull(v)) return "<null>";
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  return "?";
}

}  // namespace gerfault
