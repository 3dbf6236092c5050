// The company screen of the real module (loaded as the host loads it) when its server is not
// there: unreachable when the screen opens, or gone while it is open. The user sees one clear
// message, the list and the stored companies stay as they were, and the screen works again once
// the server is back on its address.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Ger00200/ger00200.h"
#include "fault_support.h"
#include "module/module.h"
#include "ui/dialogs.h"
#include "ui/gestures.h"

using namespace gerfault;
namespace G = ger::ui::Gestures;
using ger::Application;
using ger::TfrmEmpresa;

namespace {

// A loopback port nothing listens on (bound and released at once).
int FreePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("no free port");
  close(s);
  return ntohs(a.sin_port);
}

class ScreenFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = FreePort();
    Application().Reset();
    dialogs_ = std::make_shared<ger::ui::ScriptedDialogs>();
    Application().SetDialogs(dialogs_);
    Application().Settings.webUrl = "127.0.0.1";
    Application().Settings.webPort = port_;
    Application().Settings.databaseUrl = db_.Url();
    Application().Settings.moduloAtiv = "G";
    module_ = std::make_unique<ger::TLoadedModule>("Pkg_Ger00200");
  }
  void TearDown() override {
    if (!module_) return;
    module_->Unload();
    module_.reset();
    Application().Reset();
    server_.reset();
  }

  void StartServer() { server_ = std::make_unique<ServerChild>(db_.Url(), port_); }
  void AddCompany(const std::string& code, const std::string& name) {
    auto c = ger::db::Connection::Open(db_.Url());
    c->Execute(
        "INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA, NMRAZSOCEMPR, IDTPIJUREMPR, NRINSJUREMPR, "
        "CDPAIS, SGESTADO, CDMUNICIPIO) "
        "VALUES (:C, :N, :N, 'J', '11222333000181', '1058', 'SP', '5030')",
        {{"C", code}, {"N", name}});
  }
  std::string StoredName(const std::string& code) {
    auto c = ger::db::Connection::Open(db_.Url());
    auto p = c->Query("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = :C", {{"C", code}});
    return p.rows.empty() ? "none" : Text(p.rows[0][0]);
  }
  TfrmEmpresa* Screen() { return module_->Global<TfrmEmpresa*>("frmEmpresa"); }
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    while (auto m = dialogs_->NextMessage()) out.push_back(*m);
    return out;
  }
  std::string Unreachable() const {
    return "Não foi possível conectar ao servidor de aplicação (127.0.0.1:" +
           std::to_string(port_) + ").";
  }

  FreshDatabase db_;
  int port_ = 0;
  std::shared_ptr<ger::ui::ScriptedDialogs> dialogs_;
  std::unique_ptr<ger::TLoadedModule> module_;
  std::unique_ptr<ServerChild> server_;
};

TEST_F(ScreenFaults, ServerUnreachableWhenTheScreenOpensShowsOneMessageAndNoScreen) {
  module_->Call("CriaEmpresa");
  EXPECT_EQ(Messages(), std::vector<std::string>{Unreachable()});
  EXPECT_EQ(module_->GlobalText("frmEmpresa"), "nil");
  EXPECT_EQ(module_->GlobalText("boStCriado"), "false");

  // The server comes up; opening again shows the stored companies.
  StartServer();
  AddCompany("05", "Quinta");
  module_->Call("CriaEmpresa");
  EXPECT_TRUE(Messages().empty());
  ASSERT_NE(Screen(), nullptr);
  EXPECT_EQ(module_->GlobalText("boStCriado"), "true");
  EXPECT_EQ(Screen()->cdsEmpresa.RecordCount(), 1);
  EXPECT_EQ(Screen()->cdsEmpresa.FieldByName("NMEMPRESA").AsString(), "Quinta");
}

TEST_F(ScreenFaults, ServerStoppingWhileTheScreenIsOpenLosesNothingAndTheScreenRecovers) {
  StartServer();
  AddCompany("05", "Quinta");
  AddCompany("06", "Sexta");
  module_->Call("CriaEmpresa");
  ASSERT_TRUE(Messages().empty());
  TfrmEmpresa& f = *Screen();
  ASSERT_EQ(f.cdsEmpresa.RecordCount(), 2);

  server_->Stop(SIGKILL);
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Quinta alterada"));
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{Unreachable()});
  // The list is whole, holds no change the server never took, and the store is untouched.
  EXPECT_TRUE(Application().FormExists(&f));
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 2);
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);
  EXPECT_EQ(f.cdsEmpresa.State(), ger::DataSetState::Browse);
  EXPECT_EQ(f.cdsEmpresa.FieldByName("NMEMPRESA").AsString(), "Quinta");
  EXPECT_EQ(StoredName("05"), "Quinta");

  // Back on the same address: the same gestures now save.
  StartServer();
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Quinta alterada"));
  EXPECT_TRUE(G::Click(f.sbtConfirmar));
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(StoredName("05"), "Quinta alterada");
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 2);
  EXPECT_EQ(f.cdsEmpresa.FieldByName("NMEMPRESA").AsString(), "Quinta alterada");
}

// The screen and another user (a raw change set, as a second screen sends it) on one company.
TEST_F(ScreenFaults, TheScreenNeverSavesOverAnotherUsersChange) {
  StartServer();
  AddCompany("05", "Quinta");
  module_->Call("CriaEmpresa");
  ASSERT_TRUE(Messages().empty());
  TfrmEmpresa& f = *Screen();
  ger::TNetConnection other;
  other.Port = port_;
  auto otherSaves = [&](const std::string& column, const std::string& value) {
    ger::ServerAnswer a = other.Call("GetEmpresa");
    ASSERT_TRUE(a.ok()) << a.error;
    CompanySet cs(ger::codec::DecodePacket(a.payload->Text()));
    ger::Row n = cs.shape.rows.at(0);
    cs.Put(n, column, value);
    cs.Update(cs.shape.rows.at(0), n);
    ger::ServerAnswer saved = other.Call("SetEmpresa", cs.Args());
    ASSERT_TRUE(saved.ok()) << saved.error;
  };
  auto stored = [&](const std::string& column) {
    auto c = ger::db::Connection::Open(db_.Url());
    return Text(
        c->Query("SELECT " + column + " FROM EMPRESA WHERE CDEMPRESA = '05'").rows.at(0)[0]);
  };

  // Different columns: both changes stay.
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Quinta da tela"));
  otherSaves("NMRAZSOCEMPR", "Quinta do outro SA");
  EXPECT_TRUE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(stored("NMEMPRESA"), "Quinta da tela");
  EXPECT_EQ(stored("NMRAZSOCEMPR"), "Quinta do outro SA");

  // The same column: the screen's save is refused, the other user's change stays.
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Quinta de novo"));
  otherSaves("NMEMPRESA", "Quinta do outro");
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "Registro alterado por outro usuário. Atualize os dados e tente "
                            "novamente.\nCampos alterados pelo outro usuário, já mostrados como "
                            "estão gravados: Nome (Formulário)."});
  EXPECT_EQ(stored("NMEMPRESA"), "Quinta do outro");
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);
}

}  // namespace

int main(int argc, char** argv) {
  return RunFaultTests(argc, argv);
}
