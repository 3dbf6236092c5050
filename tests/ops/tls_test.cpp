// Seats across a network: nginx, started here as an ordinary process with the shipped
// configuration (deploy/nginx/ger.conf), terminates TLS in front of two servers on one
// PostgreSQL; its certificate comes from a throw-away authority made with ger-admin tls-ca and
// tls-cert. The host's client, and the desktop host playing a scenario, save and list through
// it; a wrong authority, an expired certificate and a wrong host name are each refused with
// their sentence before anything is sent, and https is never answered in the clear.
#include <sys/stat.h>

#include <ctime>
#include <fstream>

#include "backup.h"
#include "fault_support.h"
#include "net/messages.h"
#include "nginx_front.h"
#include "tls_files.h"

using namespace gerfault;
using ger::DataPacket;
using ger::Row;
using ger::TNetConnection;
namespace fs = std::filesystem;

namespace {

CompanySet NewCompany(const DataPacket& shape, const std::string& code, const std::string& name);

ger::server::ProgramResult Admin(std::vector<std::string> args) {
  args.insert(args.begin(), GER_ADMIN_BIN);
  return ger::server::RunProgram(args);
}

int Mode(const fs::path& path) {
  struct stat s {};
  ::stat(path.c_str(), &s);
  return static_cast<int>(s.st_mode & 07777);
}

std::string Slurp(const fs::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Everything the suite shares, made once: the certificates, the database, two servers and nginx
// with three listeners: TLS with the good certificate, TLS with an expired one, plain HTTP.
struct Office {
  fs::path dir, ca, other;
  std::string database, dbName, token = "chave-da-filial";
  std::unique_ptr<ServerChild> first, second;
  std::unique_ptr<ger::server::NginxFront> nginx;
  std::string expiredOn;  // the expired certificate's last day, dd/mm/yyyy

  Office() {
    const char* tmp = std::getenv("TEST_TMPDIR");
    dir = fs::path(tmp && *tmp ? tmp : "/tmp") / ("ger-tls-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    ca = dir / "ca";
    other = dir / "other";
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"tls-ca", ca.string()},
                                               {"tls-cert", ca.string(), "localhost"},
                                               {"tls-ca", other.string()}}) {
      const auto made = Admin(args);
      if (made.status != 0) throw std::runtime_error("ger-admin " + args[0] + ": " + made.output);
    }
    // An expired certificate of the same authority (ger-admin makes only current ones).
    fs::create_directories(dir / "expired");
    fs::copy_file(ca / "ca.pem", dir / "expired" / "ca.pem");
    fs::copy_file(ca / "ca.key", dir / "expired" / "ca.key");
    ger::server::MakeCertificate(dir / "expired", {"localhost"}, {1, -10 * 86400L});
    const std::time_t lastDay = std::time(nullptr) - 9 * 86400L;
    char text[16];
    std::strftime(text, sizeof text, "%d/%m/%Y", std::gmtime(&lastDay));
    expiredOn = text;

    dbName = "ger_tls_" + std::to_string(getpid());
    ger::db::Connection::Open(gPgUrl)->Execute("CREATE DATABASE " + dbName);
    const std::string base = gPgUrl.substr(0, gPgUrl.find('?'));
    database = base.substr(0, base.rfind('/') + 1) + dbName;
    const fs::path tokenFile = dir / "token";
    { std::ofstream(tokenFile) << token << "\n"; }
    fs::permissions(tokenFile, fs::perms::owner_read | fs::perms::owner_write);
    first = std::make_unique<ServerChild>(database, 0,
                                          std::vector<std::string>{"--token-file", tokenFile});
    second = std::make_unique<ServerChild>(database, 0,
                                           std::vector<std::string>{"--token-file", tokenFile});
    ger::server::FrontOptions front;
    front.config = GER_SOURCE_DIR "/deploy/nginx/ger.conf";
    front.dir = dir / "nginx";
    front.upstreamPorts = {first->Port(), second->Port()};
    front.listeners = {{ca / "localhost.pem", ca / "localhost.key"},
                       {dir / "expired" / "localhost.pem", dir / "expired" / "localhost.key"},
                       {}};
    nginx = std::make_unique<ger::server::NginxFront>(front);
  }
  ~Office() {
    nginx.reset();
    first.reset();
    second.reset();
    try {
      ger::db::Connection::Open(gPgUrl)->Execute("DROP DATABASE IF EXISTS " + dbName +
                                                 " WITH (FORCE)");
    } catch (const std::exception& e) {
      ADD_FAILURE() << "dropping " << dbName << ": " << e.what();
    }
    fs::remove_all(dir);
  }

  // The host's client as a seat in another building has it: https, the office's CA file and the
  // person's token.
  void Seat(TNetConnection& net, const std::string& host, std::size_t listener,
            const fs::path& caFile) const {
    net.Host = "https://" + host + ":" + std::to_string(nginx->Port(listener));
    net.CaFile = caFile.string();
    net.Token = token;
  }
};

Office* gOffice = nullptr;
std::string gOfficeProblem;

class Tls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (gPgUrl.empty()) return;
    try {
      gOffice = new Office;
    } catch (const std::exception& e) {
      gOfficeProblem = e.what();  // nginx missing or not starting fails every test, with why
    }
  }
  static void TearDownTestSuite() {
    delete gOffice;
    gOffice = nullptr;
  }
  void SetUp() override {
    if (gPgUrl.empty()) GTEST_SKIP() << "two servers share one PostgreSQL: run with --pg";
    if (!gOffice) FAIL() << gOfficeProblem;
  }
  Office& office() { return *gOffice; }
};

DataPacket Companies(TNetConnection& net) {
  ger::ServerAnswer a = net.Call("GetEmpresa");
  if (!a.ok()) throw std::runtime_error("GetEmpresa: " + a.error);
  return ger::codec::DecodePacket(a.payload->Text());
}

CompanySet NewCompany(const DataPacket& shape, const std::string& code, const std::string& name) {
  CompanySet cs(shape);
  Row r = cs.Blank();
  cs.Put(r, "CDEMPRESA", code);
  cs.Put(r, "NMEMPRESA", name);
  cs.Insert(std::move(r));
  return cs;
}

std::string NameOf(const DataPacket& list, const std::string& code) {
  for (const Row& row : list.rows)
    if (Text(row[0]) == code) return Text(row[static_cast<std::size_t>(list.IndexOf("NMEMPRESA"))]);
  return "<none>";
}

TEST_F(Tls, AdminMakesTheAuthorityAndTheCertificateWithPrivateKeysAndOverwritesNothing) {
  const fs::path& ca = office().ca;
  EXPECT_EQ(Mode(ca), 0700);
  EXPECT_EQ(Mode(ca / "ca.key"), 0600);
  EXPECT_EQ(Mode(ca / "localhost.key"), 0600);
  EXPECT_EQ(Mode(ca / "ca.pem"), 0644);
  const std::string key = Slurp(ca / "ca.key");
  EXPECT_NE(Admin({"tls-ca", ca.string()}).status, 0);
  EXPECT_NE(Admin({"tls-cert", ca.string(), "localhost"}).status, 0);
  EXPECT_EQ(Slurp(ca / "ca.key"), key);
  EXPECT_NE(Admin({"tls-cert", ca.string(), "../escape"}).status, 0);
  EXPECT_FALSE(fs::exists(ca.parent_path() / "escape.key"));
  EXPECT_NE(Admin({"tls-cert", (office().dir / "none").string(), "x"}).status, 0);
}

TEST_F(Tls, TheHostsClientSavesAndListsThroughNginxOverTls) {
  TNetConnection seat;
  office().Seat(seat, "localhost", 0, office().ca / "ca.pem");
  const ger::ServerAnswer added =
      seat.Call("SetEmpresa", NewCompany(Companies(seat), "31", "Filial do outro prédio").Args());
  ASSERT_TRUE(added.ok()) << added.error;
  // Many calls on the kept connection, spread by nginx over both servers, all see the save.
  for (int i = 0; i < 6; ++i) EXPECT_EQ(NameOf(Companies(seat), "31"), "Filial do outro prédio");
  // Straight to each server (the seat never does this): the row is in the shared database.
  for (const auto* server : {office().first.get(), office().second.get()}) {
    TNetConnection direct;
    direct.Port = server->Port();
    direct.Token = office().token;
    EXPECT_EQ(NameOf(Companies(direct), "31"), "Filial do outro prédio");
  }
}

TEST_F(Tls, EachFailedCheckIsRefusedWithItsSentenceAndNothingIsSent) {
  const fs::path ours = office().ca / "ca.pem";
  TNetConnection clear;  // nginx's plain listener
  clear.Port = office().nginx->Port(2);
  clear.Token = office().token;
  const boost::json::array save = NewCompany(Companies(clear), "66", "Nunca gravada").Args();
  struct Case {
    std::string host;
    std::size_t listener;
    fs::path caFile;
    std::string sentence;
  };
  std::vector<Case> cases;
  cases.push_back({"127.0.0.1", 0, ours,
                   "O certificado do servidor não é válido para '127.0.0.1': ele foi emitido para "
                   "'localhost'. Confira o endereço do servidor nas configurações (web_url) ou "
                   "peça ao responsável pelo servidor um certificado com esse nome."});
  cases.push_back(
      {"localhost", 0, office().other / "ca.pem",
       ger::net::NetMsg("Tls_Autoridade", {"localhost", "'Autoridade certificadora Ger'"})});
  cases.push_back(
      {"localhost", 0, "",  // the system's authorities
       ger::net::NetMsg("Tls_Autoridade", {"localhost", "'Autoridade certificadora Ger'"})});
  cases.push_back(
      {"localhost", 1, ours, ger::net::NetMsg("Tls_Vencido", {"localhost", office().expiredOn})});
  for (std::size_t i = 0; i < cases.size(); ++i) {
    TNetConnection seat;
    office().Seat(seat, cases[i].host, cases[i].listener, cases[i].caFile);
    const ger::ServerAnswer refused = seat.Call("SetEmpresa", save);
    EXPECT_FALSE(refused.ok()) << i;
    EXPECT_EQ(refused.error, cases[i].sentence) << i;
  }
  // https to nginx's plain listener: refused, not carried on in the clear.
  TNetConnection plain;
  office().Seat(plain, "localhost", 2, ours);
  const ger::ServerAnswer refused = plain.Call("GetEmpresa");
  EXPECT_FALSE(refused.ok());
  EXPECT_TRUE(
      refused.error.starts_with("Não foi possível estabelecer uma conexão segura (TLS 1.2 "
                                "ou mais recente) com o servidor 'https://localhost:"))
      << refused.error;
  // The plain listener does answer plain HTTP, so the refusal above is the client's own; and
  // none of the refused saves arrived.
  EXPECT_EQ(NameOf(Companies(clear), "66"), "<none>");
}

#ifdef GER_HOST_BIN
// The desktop host as a seat runs it: --server-url https://..., its CA file and token file; it
// plays a scenario that lists the companies and includes one, through nginx.
TEST_F(Tls, TheDesktopHostPlaysAScenarioThatSavesAndListsOverTls) {
  TNetConnection seat;
  office().Seat(seat, "localhost", 0, office().ca / "ca.pem");
  const std::size_t before = Companies(seat).rows.size();
  const fs::path script = office().dir / "filial.scn", picture = office().dir / "filial.png";
  std::ofstream(script) << "expect count cdsEmpresa " << before << "\n"
                        << "click sbtIncluir\n"
                           "paste dbeCdEmpresa \"42\"\n"
                           "type dbeNmEmpresa \"Filial remota\"\n"
                           "type dbeRazaoSoc \"Filial Remota Ltda\"\n"
                           "type dbeCGCEmpresa \"11444777000161\"\n"
                           "page tshEndereco\n"
                           "type dbeCdPais \"1058\"\n"
                           "type dbeSgEstado \"SP\"\n"
                           "type dbeCdMunicipio \"5030\"\n"
                           "click sbtConfirmar\n"
                           "expect state cdsEmpresa browse\n"
                        << "expect count cdsEmpresa " << before + 1 << "\n"
                        << "expect sql \"SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '42'\" "
                           "\"Filial remota\"\n";
  const auto run = ger::server::RunProgram(
      {GER_HOST_BIN, "--server-url", "https://localhost:" + std::to_string(office().nginx->Port(0)),
       "--ca-file", (office().ca / "ca.pem").string(), "--token-file",
       (office().dir / "token").string(), "--db", office().database, "--script", script.string(),
       "--screenshot", picture.string()});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(fs::exists(picture));
  EXPECT_EQ(NameOf(Companies(seat), "42"), "Filial remota");
}
#endif

}  // namespace

int main(int argc, char** argv) {
  return RunFaultTests(argc, argv);
}
