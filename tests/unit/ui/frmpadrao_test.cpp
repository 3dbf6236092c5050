// A small screen on the standard form, driven only by gestures: include, alter, confirm, cancel
// and delete, with the commands following the data source.
#include "forms/frmpadrao.h"
#include "forms/dadosgerrel.h"
#include "forms/frmrotgeral.h"
#include "ui_fixture.h"

namespace ger::testing {
namespace {

using ui::Gestures::Click;
using ui::Observe::Enabled;

struct frmTeste : TfrmPadrao {
  TClientDataSet cdsTeste{"cdsTeste"};
  TDBEdit dbeCodigo{this, "dbeCodigo"};
  TDBEdit dbeNome{this, "dbeNome"};
  std::vector<std::string> steps;

  frmTeste() : TfrmPadrao("frmTeste") {
    SetCaption("Teste");
    cdsTeste.AddField({"CODIGO", FieldKind::String, 2});
    cdsTeste.AddField({"NOME", FieldKind::String, 20});
    RegisterDataSet(cdsTeste);
    dtsPadrao.SetDataSet(&cdsTeste);
    dbeCodigo.SetParent(&tshFormulario);
    dbeNome.SetParent(&tshFormulario);
    dbeCodigo.SetDataSource(dtsPadrao);
    dbeCodigo.SetDataField("CODIGO");
    dbeNome.SetDataSource(dtsPadrao);
    dbeNome.SetDataField("NOME");
  }
  void FormCreate(TComponent& sender) override {
    TfrmPadrao::FormCreate(sender);
    cdsTeste.SetData({cdsTeste.FieldDefs(), {{std::string("01"), std::string("Matriz")}}});
  }
  void sbtIncluirClick(TComponent& sender) override {
    TfrmPadrao::sbtIncluirClick(sender);  // the base inserts first
    pgcPadrao.SetActivePage(tshFormulario);
    dbeCodigo.SetFocus();
  }
  void sbtAlterarClick(TComponent& sender) override {
    TfrmPadrao::sbtAlterarClick(sender);
    pgcPadrao.SetActivePage(tshFormulario);
    dbeNome.SetFocus();
  }
  void FormClose(TComponent& sender, TCloseAction& action) override {
    steps.push_back("close");
    TfrmPadrao::FormClose(sender, action);
  }
};

class FrmPadraoTest : public UiTest {
 protected:
  frmTeste& Open() {
    auto& f = Application().CreateForm<frmTeste>();
    f.Show();
    return f;
  }
  static std::vector<bool> Commands(frmTeste& f) {
    return {Enabled(f.sbtIncluir),   Enabled(f.sbtAlterar),  Enabled(f.sbtExcluir),
            Enabled(f.sbtConfirmar), Enabled(f.sbtCancelar), Enabled(f.mnuIncluir),
            Enabled(f.mnuConfirmar)};
  }
};

TEST_F(FrmPadraoTest, IncludeTypeConfirmAddsARowAndTheCommandsFollowTheState) {
  frmTeste& f = Open();
  EXPECT_EQ(Commands(f), (std::vector<bool>{true, true, true, false, false, true, false}));
  ASSERT_TRUE(Click(f.sbtIncluir));
  EXPECT_EQ(f.cdsTeste.State(), DataSetState::Insert);
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshFormulario);
  EXPECT_EQ(f.ActiveControl(), &f.dbeCodigo);
  EXPECT_EQ(Commands(f), (std::vector<bool>{false, false, false, true, true, false, true}));
  ui::Gestures::Type(f.dbeCodigo, "02");
  ui::Gestures::Type(f.dbeNome, "Filial");
  // Confirm is a tool button: the name box keeps the focus, the post commits it anyway.
  ASSERT_TRUE(Click(f.sbtConfirmar));
  EXPECT_EQ(f.ActiveControl(), &f.dbeNome);
  EXPECT_EQ(f.cdsTeste.State(), DataSetState::Browse);
  EXPECT_EQ(f.cdsTeste.RecordCount(), 2);
  EXPECT_EQ(f.cdsTeste.FieldByName("NOME").AsString(), "Filial");
  EXPECT_EQ(f.cdsTeste.GetChangeCount(), 1);
  EXPECT_EQ(Commands(f), (std::vector<bool>{true, true, true, false, false, true, false}));
}

TEST_F(FrmPadraoTest, AlterThenCancelLeavesTheRowAsItWas) {
  frmTeste& f = Open();
  Click(f.mnuAlterar);  // the menu item runs the same step
  EXPECT_EQ(f.cdsTeste.State(), DataSetState::Edit);
  EXPECT_EQ(f.ActiveControl(), &f.dbeNome);
  ui::Gestures::Type(f.dbeNome, " SA");
  Click(f.sbtCancelar);
  EXPECT_EQ(f.cdsTeste.State(), DataSetState::Browse);
  EXPECT_EQ(f.cdsTeste.FieldByName("NOME").AsString(), "Matriz");
  EXPECT_EQ(f.dbeNome.Text(), "Matriz");
  // Browsing again: the boxes refuse typing.
  ui::Gestures::Type(f.dbeNome, "x");
  EXPECT_EQ(f.dbeNome.Text(), "Matriz");
}

TEST_F(FrmPadraoTest, DeleteAsksTheStandardQuestionAndAnEmptyListLeavesOnlyInclude) {
  frmTeste& f = Open();
  Dialogs().Answer(TModalResult::mrNo);
  Click(f.sbtExcluir);
  EXPECT_EQ(f.cdsTeste.RecordCount(), 1);
  Dialogs().Answer(TModalResult::mrYes);
  Click(f.sbtExcluir);
  EXPECT_EQ(f.cdsTeste.RecordCount(), 0);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Confirma exclusão ?", "Confirma exclusão ?"}));
  EXPECT_EQ(Commands(f), (std::vector<bool>{true, false, false, false, false, true, false}));
  EXPECT_THROW(Click(f.sbtAlterar), ui::EGestureError);  // disabled: the user cannot click it
}

TEST_F(FrmPadraoTest, ThePageItemsSwitchPagesAndCheckThemselves) {
  frmTeste& f = Open();
  EXPECT_TRUE(f.mnuFolhaDados.Checked());
  Click(f.mnuFormulario);
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshFormulario);
  EXPECT_TRUE(f.mnuFormulario.Checked());
  EXPECT_FALSE(f.mnuFolhaDados.Checked());
}

TEST_F(FrmPadraoTest, ClosingRunsTheOverriddenStepAndFreesTheForm) {
  frmTeste& f = Open();
  bool destroyed = false;
  f.OnDestroy = [&](TComponent&) { destroyed = true; };
  Application().Guard([&] {
    f.sbtFechar.Click();
    EXPECT_EQ(f.steps, std::vector<std::string>{"close"});
    EXPECT_FALSE(destroyed);  // not while its own handler may still run
  });
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(Application().FindForm("frmTeste"), nullptr);
}

TEST_F(FrmPadraoTest, TheListGridShowsTheRowsAndIsReadOnly) {
  frmTeste& f = Open();
  auto cells = f.dbgPadrao.CellTexts();
  ASSERT_EQ(cells.size(), 1u);
  EXPECT_EQ(cells[0], (std::vector<std::string>{"01", "Matriz"}));
  ui::Gestures::GridType(f.dbgPadrao, "x");
  EXPECT_EQ(f.cdsTeste.State(), DataSetState::Browse);
}

TEST_F(FrmPadraoTest, TheRoutineDialogCancelsAndTheReportLauncherSaysWhatItCannotDo) {
  auto& d = Application().CreateForm<TfrmRotiGeral>();
  Application().ModalActions.push_back(
      [](TForm& form) { Click(static_cast<TfrmRotiGeral&>(form).sbtCancel); });
  TModalResult result{};
  Application().Guard([&] { result = d.ShowModal(); });
  EXPECT_EQ(result, TModalResult::mrCancel);
  EXPECT_EQ(Application().FindForm("frmRotiGeral"), nullptr);

  auto& r = Application().CreateForm<TfrmDadosGerRel>();
  // A code with no definition file; "Ger002" has one.
  r.lblCodRel.SetCaption("Ger999");
  r.Show();
  EXPECT_FALSE(Click(r.sbtExecutar));
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"O relatório 'Ger999' não está disponível nesta instalação."});
}

}  // namespace
}  // namespace ger::testing
