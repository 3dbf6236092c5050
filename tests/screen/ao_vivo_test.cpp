// The live list against the real server: with the host's live_list setting the screen hears of
// another seat's save and delete by itself (the watcher's news, run here from the application's
// posted calls as the desktop's loop runs them), merges them with the cursor kept on its company,
// and, while its user alters a company another seat changed, marks that row and says by whom,
// leaving the list as it was until the edit ends.
#include <chrono>
#include <thread>

#include "other_seat_fixture.h"

namespace ger {
namespace {

namespace G = ui::Gestures;
using namespace std::chrono_literals;

class AoVivo : public OtherSeatScreen {
 protected:
  void SetUp() override {
    OtherSeatScreen::SetUp();
    InsertCompany("01", "Um");
    InsertCompany("02", "Dois");
    InsertCompany("03", "Três");
    db_->Execute("DELETE FROM FILIAL");
    Application().Settings.liveList = true;
  }
  // Two people: this seat's and the other seat's.
  void People() {
    const std::string db = "sqlite:" + (dir_ / "ger.db").string();
    const std::string admin = std::string(GER_ADMIN_BIN) + " user add ";
    Application().Settings.token =
        gertest::LastLine(gertest::RunCommand(admin + "Carla --db " + db));
    other_.Token = gertest::LastLine(gertest::RunCommand(admin + "Bruno --db " + db));
  }
  // Runs the news the watcher posted, once some came (within 5 s); false when none did.
  bool News() {
    for (int i = 0; i < 100 && Application().PostedCount() == 0; ++i)
      std::this_thread::sleep_for(50ms);
    return Application().RunPosted() > 0;
  }
  std::string Current(TfrmEmpresa& f) { return f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(); }
};

TEST_F(AoVivo, AnotherSeatsSaveAndDeleteShowWithoutAnyAction) {
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(f.Vigiando());
  ASSERT_TRUE(f.cdsEmpresa.Locate("CDEMPRESA", {Value("02")}));

  RenameElsewhere("03", "Três de lá");
  ASSERT_TRUE(News());
  EXPECT_EQ(NameOf(f, "03"), "Três de lá");
  EXPECT_EQ(Current(f), "02");

  // The company shown goes: the row that took its place is current, as after a delete here.
  ASSERT_TRUE(rdm_.Delete("02").ok());
  ASSERT_TRUE(News());
  EXPECT_EQ(NameOf(f, "02"), "none");
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 2);
  EXPECT_EQ(Current(f), "03");
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  // Nothing changed: no news.
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Application().PostedCount(), 0u);
}

TEST_F(AoVivo, ACompanyBeingAlteredIsMarkedNotReplacedAndTheRestComesAfterTheEdit) {
  People();
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(f.cdsEmpresa.Locate("CDEMPRESA", {Value("02")}));
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Dois daqui"));

  // Another company changed elsewhere: nothing moves under the user, nothing is marked.
  RenameElsewhere("01", "Um de lá");
  ASSERT_TRUE(News());
  EXPECT_EQ(f.AlteradaFora(), "");
  EXPECT_EQ(NameOf(f, "01"), "Um");

  // The company altered here changed elsewhere: its row is marked, the status bar says by whom.
  RenameElsewhere("02", "Dois de lá");
  ASSERT_TRUE(News());
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Edit);
  EXPECT_EQ(f.dbeNmEmpresa.Text(), "Dois daqui");
  EXPECT_EQ(f.AlteradaFora(), "02");
  EXPECT_TRUE(f.dbgPadrao.Marked(f.dbgPadrao.Row()));
  EXPECT_FALSE(f.dbgPadrao.Marked(0));
  EXPECT_TRUE(f.pnlStatus.Caption().starts_with("Alterada em outro posto por Bruno às "))
      << f.pnlStatus.Caption();
  EXPECT_EQ(NameOf(f, "01"), "Um");
  EXPECT_EQ(Messages(), std::vector<std::string>{});

  // The edit given up: the mark goes and what came meanwhile is shown.
  ASSERT_TRUE(G::Click(f.sbtCancelar));
  ASSERT_EQ(Application().RunPosted(), 1);
  EXPECT_EQ(f.AlteradaFora(), "");
  EXPECT_FALSE(f.dbgPadrao.Marked(f.dbgPadrao.Row()));
  EXPECT_EQ(f.pnlStatus.Caption(), "");
  EXPECT_EQ(NameOf(f, "01"), "Um de lá");
  EXPECT_EQ(NameOf(f, "02"), "Dois de lá");
  EXPECT_EQ(Current(f), "02");

  // Deleted elsewhere while altered here: marked, said so; the confirm still meets the refusal.
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(rdm_.Delete("02").ok());
  ASSERT_TRUE(News());
  EXPECT_EQ(f.AlteradaFora(), "02");
  EXPECT_TRUE(f.pnlStatus.Caption().starts_with("Excluída em outro posto por Bruno às "))
      << f.pnlStatus.Caption();
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Dois tarde"));
  G::Click(f.sbtConfirmar);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Empresa excluída por outro usuário."});
  EXPECT_EQ(NameOf(f, "02"), "none");
  EXPECT_EQ(f.AlteradaFora(), "");
}

// A server that goes away costs the seat no message, and the screen closes at once all the same;
// with a server that answers, closing abandons the call parked on it.
TEST_F(AoVivo, AWatcherNeverSpeaksAndClosesAtOnce) {
  TfrmEmpresa& f = Open();
  std::this_thread::sleep_for(300ms);  // the watcher's call is parked on the server
  const auto start = std::chrono::steady_clock::now();
  f.Close();
  Application().ProcessReleases();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);  // the park lasts 25 s

  TfrmEmpresa& g = Open();
  ASSERT_TRUE(g.Vigiando());
  server_.reset();
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(Application().PostedCount(), 0u);
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  const auto again = std::chrono::steady_clock::now();
  Application().Reset();
  EXPECT_LT(std::chrono::steady_clock::now() - again, 5s);
}

}  // namespace
}  // namespace ger
