// The top-level handler, scripted dialogs, the modal loop, the pick list and the search button.
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "routines/components.h"
#include "routines/routines.h"
#include "ui_fixture.h"

namespace ger::testing {
namespace {

class ApplicationTest : public UiTest {};

TEST_F(ApplicationTest, TheTopLevelHandlerShowsEveryErrorButTheSilentAbortOnce) {
  EXPECT_FALSE(Application().Guard([] { Abort(); }));
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(Application().Guard([] { throw EServerError("Servidor indisponível."); }));
  EXPECT_FALSE(Application().Guard([] { throw std::runtime_error("falha"); }));
  EXPECT_TRUE(Application().Guard([] {}));
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Servidor indisponível.", "falha"}));
  // A fault of the script is not the user's error: it reaches the caller.
  EXPECT_THROW(Application().Guard([] { throw ui::EScriptError("x"); }), ui::EScriptError);
}

TEST_F(ApplicationTest, AQuestionTakesTheQueuedAnswerAndFailsWithoutOne) {
  auto ask = [] {
    return Application().Dialogs().MessageDlg("Confirma?", TMsgDlgType::mtConfirmation, mbYesNo, 0);
  };
  Dialogs().Answer(TModalResult::mrNo);
  EXPECT_EQ(ask(), TModalResult::mrNo);
  EXPECT_THROW(ask(), ui::EScriptError);
  Dialogs().Answer(TModalResult::mrOk);  // not one of Yes and No
  EXPECT_THROW(ask(), ui::EScriptError);
  // A notice needs no answer.
  EXPECT_EQ(Application().Dialogs().MessageDlg("Aviso", TMsgDlgType::mtInformation, mbOK, 0),
            TModalResult::mrOk);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Confirma?", "Confirma?", "Confirma?", "Aviso"}));
}

TEST_F(ApplicationTest, MensErroShowsThenAbortsSilently) {
  EXPECT_FALSE(Application().Guard([] { Consiste::MensErro("Código inválido."); }));
  EXPECT_TRUE(Application().Guard([] { Consiste::MensErro("Só aviso.", false); }));
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Código inválido.", "Só aviso."}));
}

TEST_F(ApplicationTest, CheckResultServGivesThePayloadOrShowsTheErrorOnceAndAborts) {
  ServerAnswer ok{ServerPayload(boost::json::value(true)), ""};
  EXPECT_TRUE(Consiste::CheckResultServ(ok, true, 0).Value().as_bool());
  ServerAnswer failed{std::nullopt, "Empresa já cadastrada."};
  EXPECT_FALSE(Application().Guard([&] { Consiste::CheckResultServ(failed, true, 0); }));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Empresa já cadastrada."});
  // Without showing, the caller gets the server error to report (once, by the top handler).
  EXPECT_THROW(Consiste::CheckResultServ(failed, false, 0), EServerError);
  EXPECT_TRUE(Messages().empty());
}

struct Dialog : TForm {
  TEdit edtTexto{this, "edtTexto"};
  TButton btnOk{this, "btnOk"};
  bool freeOnClose = true;
  Dialog() : TForm("frmDialogo") {
    edtTexto.SetParent(this);
    btnOk.SetParent(this);
    btnOk.ModalResult = TModalResult::mrOk;
    OnClose = [this](TComponent&, TCloseAction& a) {
      if (freeOnClose) a = TCloseAction::caFree;
    };
  }
};

TEST_F(ApplicationTest, AModalFormRunsItsLoopUntilItClosesAndIsFreedAfterwards) {
  Dialog& d = Application().CreateForm<Dialog>();
  Application().ModalActions.push_back([](TForm& form) {
    auto& dialog = static_cast<Dialog&>(form);
    ui::Gestures::Type(dialog.edtTexto, "abc");
  });
  Application().ModalActions.push_back(
      [](TForm& form) { ui::Gestures::Click(static_cast<Dialog&>(form).btnOk); });
  std::string typed;
  TModalResult result = TModalResult::mrNone;
  Application().Guard([&] {
    result = d.ShowModal();
    typed = d.edtTexto.Text();  // still readable until the gesture ends
  });
  EXPECT_EQ(result, TModalResult::mrOk);
  EXPECT_EQ(typed, "abc");
  EXPECT_EQ(Application().FindForm("frmDialogo"), nullptr);
}

TEST_F(ApplicationTest, AModalFormLeftOpenWithNothingMoreToDoIsAScriptFault) {
  Dialog& d = Application().CreateForm<Dialog>();
  EXPECT_THROW(d.ShowModal(), ui::EScriptError);
  EXPECT_FALSE(d.Modal());
}

TEST_F(ApplicationTest, AFailingCloseHandlerKeepsTheFormOpen) {
  Dialog& d = Application().CreateForm<Dialog>();
  d.Show();
  d.OnClose = [](TComponent&, TCloseAction&) { Consiste::MensErro("Filial deve ser cadastrada."); };
  EXPECT_FALSE(ui::Gestures::Close(d));
  EXPECT_TRUE(Application().FormExists(&d));
  EXPECT_TRUE(d.Visible());
  EXPECT_EQ(Messages(), std::vector<std::string>{"Filial deve ser cadastrada."});
}

TEST_F(ApplicationTest, AnErrorWhileCreatingAFormIsShownAndTheFormStays) {
  struct Broken : TForm {
    Broken() : TForm("frmQuebrado") {
      OnCreate = [](TComponent&) { throw EServerError("Sem conexão."); };
    }
  };
  Application().CreateForm<Broken>();
  EXPECT_NE(Application().FindForm("frmQuebrado"), nullptr);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Sem conexão."});
}

struct SearchForm : TForm {
  TClientDataSet cdsPais{"cdsPais"};
  TDataSource dtsPais{"dtsPais"};
  TEdit edtCodigo{this, "edtCodigo"};
  TBtnPesquisa btpPais{this, "btpPais"};
  SearchForm() : TForm("frmPesquisa") {
    cdsPais.AddField({"CDPAIS", FieldKind::String, 3});
    cdsPais.AddField({"NMPAIS", FieldKind::String, 30});
    dtsPais.SetDataSet(&cdsPais);
    edtCodigo.SetParent(this);
    btpPais.SetParent(this);
    btpPais.Associate = &edtCodigo;
    btpPais.Title = "País";
    btpPais.DataSource = &dtsPais;
    btpPais.EmptyError = "Não há país cadastrado.";
    Show();
  }
  void Load() {
    cdsPais.SetData({cdsPais.FieldDefs(),
                     {{std::string("105"), std::string("Brasil")},
                      {std::string("249"), std::string("Estados Unidos")}}});
  }
};

TEST_F(ApplicationTest, TheSearchButtonListsPicksAndRunsItsAfterStepOnlyAfterAPick) {
  SearchForm f;
  std::vector<std::string> steps;
  f.btpPais.OnBeforePesq = [&](TComponent&, bool&) {
    steps.push_back("before");
    f.Load();
  };
  f.btpPais.OnAfterPesq = [&](TComponent&) {
    steps.push_back("after " + f.cdsPais.FieldByName("NMPAIS").AsString());
    f.edtCodigo.SetText(f.cdsPais.FieldByName("CDPAIS").AsString());
  };
  f.edtCodigo.SetFocus();
  Dialogs().Pick(std::string("249"));
  EXPECT_TRUE(ui::Gestures::Click(f.btpPais));
  Dialogs().Pick(ui::ScriptedDialogs::PickCancel{});
  ui::Gestures::Click(f.btpPais);
  Dialogs().Pick(0);
  ui::Gestures::Click(f.btpPais);
  EXPECT_EQ(steps, (std::vector<std::string>{"before", "after Estados Unidos", "before", "before",
                                             "after Brasil"}));
  EXPECT_EQ(f.edtCodigo.Text(), "105");
  EXPECT_EQ(f.ActiveControl(), &f.edtCodigo);  // the button never took the focus
  EXPECT_EQ(Dialogs().PickTitles(), (std::vector<std::string>{"País", "País", "País"}));
}

TEST_F(ApplicationTest, TheSearchButtonReportsAnEmptyListAndHonoursAVeto) {
  SearchForm f;
  int afters = 0;
  f.btpPais.OnAfterPesq = [&](TComponent&) { ++afters; };
  f.cdsPais.Open();
  ui::Gestures::Click(f.btpPais);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Não há país cadastrado."});
  f.Load();
  f.btpPais.OnBeforePesq = [](TComponent&, bool& proceed) { proceed = false; };
  ui::Gestures::Click(f.btpPais);  // no pick queued: a shown list would fail the script
  EXPECT_EQ(afters, 0);
}

TEST_F(ApplicationTest, HostSettingsComeFromArgumentsAndFilesWithClearErrors) {
  HostSettings s;
  auto rest = s.ParseArgs({"--web-url", "srv", "--web-port=9000", "--module=/", "arquivo.scn"});
  EXPECT_EQ(s.webUrl, "srv");
  EXPECT_EQ(s.webPort, 9000);
  EXPECT_EQ(s.moduloAtiv, "/");
  EXPECT_EQ(rest, std::vector<std::string>{"arquivo.scn"});
  EXPECT_THROW(s.ParseArgs({"--web-port=porta"}), Exception);
  s.ParseArgs({"--call-timeout=5"});
  EXPECT_EQ(s.callTimeout, 5);
  EXPECT_THROW(s.ParseArgs({"--call-timeout=0"}), Exception);
  EXPECT_EQ(s.webPort, 9000);
  EXPECT_FALSE(s.liveList);
  s.ParseArgs({"--live-list=1"});
  EXPECT_TRUE(s.liveList);
  EXPECT_THROW(s.ParseArgs({"--live-list=sim"}), Exception);
  EXPECT_TRUE(s.liveList);

  std::string path = ::testing::TempDir() + "/host_settings.conf";
  {
    std::ofstream out(path);
    out << "# host\nreport_dir = /modelos\ndatabase=sqlite:/tmp/x.db\nbogus=1\n";
  }
  try {
    s.LoadFile(path);
    FAIL() << "an unknown key must be refused";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find(":4:"), std::string::npos) << e.what();
  }
  EXPECT_EQ(s.reportDir, "/modelos");

  // The token from a file only its owner reads, also from a settings file's token_file line.
  std::string tokenPath = ::testing::TempDir() + "/host_token";
  std::filesystem::remove(tokenPath);
  { std::ofstream(tokenPath) << "token-in-a-file\n"; }
  ::chmod(tokenPath.c_str(), 0600);
  s.ParseArgs({"--token-file", tokenPath});
  EXPECT_EQ(s.token, "token-in-a-file");
  ::chmod(tokenPath.c_str(), 0644);
  { std::ofstream(path) << "token_file=" << tokenPath << "\n"; }
  try {
    s.LoadFile(path);
    FAIL() << "a token file others can read must be refused";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find(":1: the token file"), std::string::npos) << e.what();
  }
  std::filesystem::remove(tokenPath);

  // A token written in the settings file itself is kept as safely as a token file.
  std::filesystem::remove(path);
  { std::ofstream(path) << "report_dir=/modelos\ntoken = token-inline\n"; }
  ::chmod(path.c_str(), 0644);
  try {
    s.LoadFile(path);
    FAIL() << "a settings file holding a token that others can read must be refused";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find(":2: the file holds a token and can be read by other "
                                         "users (mode 0644)"),
              std::string::npos)
        << e.what();
  }
  ::chmod(path.c_str(), 0600);
  s.LoadFile(path);
  EXPECT_EQ(s.token, "token-inline");
}

TEST_F(ApplicationTest, LocalCacheRefreshesAreCountedPerTable) {
  std::vector<std::string> refreshed;
  Application().OnRefreshLocalCache = [&](const std::string& t) { refreshed.push_back(t); };
  Zembrat::AtualizaLocalCache({"EMPRESA"});
  Zembrat::AtualizaLocalCache({"EMPRESA", "bairro"});
  EXPECT_EQ(Application().CacheRefreshes["EMPRESA"], 2);
  EXPECT_EQ(Application().CacheRefreshes["BAIRRO"], 1);
  EXPECT_EQ(refreshed.size(), 3u);
}

// A seat elsewhere names its server with https and the office's CA file; an address no client
// could call and a CA file that cannot be read are refused when the settings are read.
TEST_F(ApplicationTest, HttpsSettingsAreCheckedWhenRead) {
  HostSettings s;
  const std::string ca = ::testing::TempDir() + "/host_ca.pem";
  { std::ofstream(ca) << "-----BEGIN CERTIFICATE-----\n"; }
  s.ParseArgs({"--web-url", "https://ger.example.com:8443", "--ca-file", ca});
  EXPECT_EQ(s.webUrl, "https://ger.example.com:8443");
  EXPECT_EQ(s.caFile, ca);
  EXPECT_THROW(s.ParseArgs({"--web-url", "ftp://ger.example.com"}), Exception);
  EXPECT_THROW(s.ParseArgs({"--web-url", "https://ger.example.com/GER00200.rdmEmpresa"}),
               Exception);
  EXPECT_THROW(s.ParseArgs({"--ca-file", ::testing::TempDir() + "/no_such_ca.pem"}), Exception);
  EXPECT_EQ(s.webUrl, "https://ger.example.com:8443");
  EXPECT_EQ(s.caFile, ca);
  std::filesystem::remove(ca);
}

}  // namespace
// Calls posted from other threads run on the UI thread when it asks, in the order posted, each
// as a gesture (a failure shown once, the next still run); the waker hears of each post; a reset
// drops what was not run.
TEST_F(ApplicationTest, PostedCallsRunInOrderAsGesturesWhenTheUiThreadAsks) {
  TApplication& app = Application();
  std::atomic<int> wakes = 0;
  app.SetPostedWaker([&] { ++wakes; });
  std::vector<int> ran;
  std::thread other([&] {
    for (int i = 0; i < 3; ++i)
      app.Post([&ran, i] {
        ran.push_back(i);
        if (i == 1) throw Exception("falhou");
      });
  });
  other.join();
  EXPECT_EQ(wakes, 3);
  EXPECT_TRUE(ran.empty());  // nothing runs behind the UI thread's back
  EXPECT_EQ(app.PostedCount(), 3u);
  EXPECT_EQ(app.RunPosted(), 3);
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Messages(), std::vector<std::string>{"falhou"});
  EXPECT_EQ(app.RunPosted(), 0);
  app.SetPostedWaker(nullptr);
  app.Post([&] { ran.push_back(9); });
  EXPECT_EQ(wakes, 3);
  app.Reset();
  EXPECT_EQ(app.RunPosted(), 0);
  EXPECT_EQ(ran.size(), 3u);
}

}  // namespace ger::testing
