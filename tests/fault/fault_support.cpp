#include "fault_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace gerfault {

std::string gPgUrl;

namespace {
int gCounter = 0;
}

ServerChild::ServerChild(const std::string& dbUrl, int port, std::vector<std::string> extra) {
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> argv = {
      GER_SERVER_BIN,        "--db", dbUrl, "--port", std::to_string(port), "--data",
      GER_SOURCE_DIR "/data"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a crashed test program
    dup2(out[1], 1);
    int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) dup2(devnull, 2);  // the per-call log is not wanted here
    close(out[0]);
    close(out[1]);
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  close(out[1]);
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(out[0]);
  auto colon = line.rfind(':');
  if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
    Stop(SIGKILL);
    throw std::runtime_error("ger-server did not start: '" + line + "'");
  }
  port_ = std::stoi(line.substr(colon + 1));
}

int ServerChild::Stop(int signal) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return status;
}

bool ServerChild::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

ServerChild::~ServerChild() {
  Stop(SIGTERM);
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
