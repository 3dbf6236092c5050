// The company screen driven through the user's gestures against a real ger-server child process
// and its SQLite database.
#include "screen_fixture.h"

namespace ger {
namespace {

namespace G = ui::Gestures;

TEST_F(EmpresaScreen, EmptyServerLeavesOnlyIncludeAndIncludeSetsTheDefaults) {
  TfrmEmpresa& f = Open();
  EXPECT_TRUE(f.sbtIncluir.Enabled());
  EXPECT_TRUE(f.mnuIncluir.Enabled());
  for (TControl* c :
       {static_cast<TControl*>(&f.sbtAlterar), static_cast<TControl*>(&f.sbtExcluir),
        static_cast<TControl*>(&f.sbtProcurar), static_cast<TControl*>(&f.sbtVerificar),
        static_cast<TControl*>(&f.sbtConfirmar), static_cast<TControl*>(&f.pgcPadrao)})
    EXPECT_FALSE(c->Enabled()) << c->Name();
  for (TMenuItem* m : {&f.mnuFolhaDados, &f.mnuFormulario, &f.mnuEndereco, &f.mnuSignatario,
                       &f.mnuParametrizaoDFe, &f.mnuAlterar})
    EXPECT_FALSE(m->Enabled()) << m->Name();
  EXPECT_THROW(G::Page(f.tshEndereco), ui::EGestureError);

  ASSERT_TRUE(G::Click(f.sbtIncluir));
  EXPECT_TRUE(f.pgcPadrao.Enabled());
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Insert);
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshFormulario);
  EXPECT_TRUE(f.dbeCdEmpresa.Focused());
  EXPECT_TRUE(f.dbeCGCEmpresa.Enabled());
  EXPECT_TRUE(f.pnlTipo.Visible());
  EXPECT_EQ(f.cboTipo.Text(), "CNPJ");
  auto field = [&](const char* n) { return f.cdsEmpresa.FieldByName(n).AsString(); };
  EXPECT_EQ(field("IDPARTICIPAT"), "N");
  EXPECT_EQ(field("IDOPTSIMPLES"), "N");
  EXPECT_EQ(field("IDTIPOEMPR"), "3");
  EXPECT_EQ(field("IDINCENTFISCAL"), "N");
  EXPECT_EQ(field("IDFORMAPUR"), "I");
  EXPECT_EQ(field("IDCTBBAIXAEMPR"), "S");
  EXPECT_EQ(f.cdsEmpresa.FieldByName("NRINSJUREMPR").EditMask(), Consiste::PictPess("I"));
  EXPECT_FALSE(f.dckSIMPLES.Enabled());  // type "Outros"
  EXPECT_FALSE(f.tshFolhaDados.Enabled());
  EXPECT_TRUE(f.sbtConfirmar.Enabled());
  EXPECT_FALSE(f.sbtIncluir.Enabled());
}

TEST_F(EmpresaScreen, IncludeConfirmAlterDeleteReachTheServer) {
  InsertCompany("05", "Quinta");
  TfrmEmpresa& f = Open();
  ASSERT_EQ(f.cdsEmpresa.RecordCount(), 1);
  ASSERT_TRUE(G::Click(f.sbtIncluir));
  ASSERT_TRUE(G::Type(f.dbeCdEmpresa, "07"));
  EXPECT_EQ(f.dbeCdEmpresa.Text(), "07");
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Sétima"));  // leaving the code commits it
  EXPECT_EQ(f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(), "07");
  ASSERT_TRUE(G::Type(f.dbeRazaoSoc, "Sétima Comércio Ltda"));
  EXPECT_EQ(f.cdsEmpresa.FieldByName("NMEMPRESA").AsString(), "Sétima");
  ASSERT_TRUE(G::Type(f.dbeCGCEmpresa, "11444777000161"));
  EXPECT_EQ(f.dbeRazaoSoc.Text(), "Sétima Comércio Ltda");
  EXPECT_EQ(ui::Observe::Text(f.dbeCGCEmpresa), "11444777000161");
  TypeAddress(f);
  ASSERT_TRUE(G::Click(f.sbtConfirmar)) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '07'"), "Sétima");
  EXPECT_EQ(Sql("SELECT NMRAZSOCEMPR FROM EMPRESA WHERE CDEMPRESA = '07'"), "Sétima Comércio Ltda");
  EXPECT_EQ(Sql("SELECT NRINSJUREMPR FROM EMPRESA WHERE CDEMPRESA = '07'"), "11444777000161");
  EXPECT_EQ(Sql("SELECT IDCTBBAIXAEMPR FROM EMPRESA WHERE CDEMPRESA = '07'"), "S");
  EXPECT_EQ(Application().CacheRefreshes["EMPRESA"], 1);
  // Reloaded from the server and back on the new row.
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Browse);
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 2);
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);
  EXPECT_EQ(f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(), "07");
  EXPECT_FALSE(f.dbeCdEmpresa.Enabled());

  ASSERT_TRUE(G::Click(f.sbtAlterar));
  EXPECT_TRUE(f.dbeNmEmpresa.Focused());
  EXPECT_FALSE(f.dbeCdEmpresa.Enabled());
  EXPECT_FALSE(f.dbeCGCEmpresa.Enabled());
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Sétima Filial"));
  ASSERT_TRUE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '07'"), "Sétima Filial");
  EXPECT_EQ(f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(), "07");

  dialogs_->Answer(TModalResult::mrYes);
  ASSERT_TRUE(G::Click(f.sbtExcluir));
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM EMPRESA WHERE CDEMPRESA = '07'"), "0");
  EXPECT_EQ(Sql("SELECT CDEMPRESA FROM EMPRESA WHERE CDEMPRESA = '07'"), "none");
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 1);
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Confirma exclusão ?"});
}

TEST_F(EmpresaScreen, RefusedSaveUndoesThePendingChanges) {
  InsertCompany("05", "Quinta");
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Outro nome"));
  FailNext("SetEmpresa", "Registro alterado por outro usuário.");
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Registro alterado por outro usuário."});
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);
  EXPECT_EQ(f.cdsEmpresa.FieldByName("NMEMPRESA").AsString(), "Quinta");
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA"), "Quinta");
  EXPECT_EQ(Application().CacheRefreshes["EMPRESA"], 0);

  // A refused new company disappears from the list.
  ASSERT_TRUE(G::Click(f.sbtIncluir));
  ASSERT_TRUE(G::Type(f.dbeCdEmpresa, "09"));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Nona"));
  ASSERT_TRUE(G::Type(f.dbeRazaoSoc, "Nona Ltda"));
  ASSERT_TRUE(G::Type(f.dbeCGCEmpresa, "11444777000161"));
  TypeAddress(f);
  FailNext("SetEmpresa", "Falha ao gravar.");
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Falha ao gravar."});
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 1);
  EXPECT_EQ(Sql("SELECT CDEMPRESA FROM EMPRESA WHERE CDEMPRESA = '09'"), "none");
}

// The server has already deleted the company when the change set is refused; the list must not
// show it again.
TEST_F(EmpresaScreen, RefusedSaveAfterDeleteShowsTheServersRows) {
  InsertCompany("05", "Quinta");
  InsertCompany("06", "Sexta");
  TfrmEmpresa& f = Open();
  ASSERT_EQ(f.cdsEmpresa.RecordCount(), 2);
  FailNext("SetEmpresa", "Falha ao gravar.");
  dialogs_->Answer(TModalResult::mrYes);
  EXPECT_FALSE(G::Click(f.sbtExcluir));
  EXPECT_EQ(Sql("SELECT CDEMPRESA FROM EMPRESA WHERE CDEMPRESA = '05'"), "none");
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 1);
  EXPECT_EQ(f.cdsEmpresa.FieldByName("CDEMPRESA").AsString(), "06");
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);
}

TEST_F(EmpresaScreen, DeletingTheLastCompanyLeavesOnlyInclude) {
  InsertCompany("05", "Quinta");
  TfrmEmpresa& f = Open();
  dialogs_->Answer(TModalResult::mrNo);
  ASSERT_TRUE(G::Click(f.sbtExcluir));
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 1);
  dialogs_->Answer(TModalResult::mrYes);
  ASSERT_TRUE(G::Click(f.sbtExcluir));
  EXPECT_EQ(Sql("SELECT CDEMPRESA FROM EMPRESA"), "none");
  EXPECT_TRUE(f.cdsEmpresa.IsEmpty());
  EXPECT_TRUE(f.sbtIncluir.Enabled());
  EXPECT_FALSE(f.sbtAlterar.Enabled());
  EXPECT_FALSE(f.sbtExcluir.Enabled());
  EXPECT_FALSE(f.pgcPadrao.Enabled());
  EXPECT_FALSE(f.mnuFormulario.Enabled());
  EXPECT_EQ(f.cdsEmpresa.FieldByName("NRINSJUREMPR").EditMask(), Consiste::PictPess("I"));
  // Deleting from an empty list is refused with the catalogue's message.
  f.mnuExcluir.SetEnabled(true);
  Messages();
  EXPECT_FALSE(G::Click(f.mnuExcluir));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Não existe empresa para ser excluída."});
}

TEST_F(EmpresaScreen, ClosingInModuleSlashNeedsCompanyBranchAndParametrization) {
  InsertCompany("05", "Quinta");
  Application().Settings.moduloAtiv = "/";
  TfrmEmpresa& f = Open();
  EXPECT_FALSE(f.tshDadAdic.TabVisible());
  EXPECT_FALSE(f.tshFinanceiro.TabVisible());
  EXPECT_FALSE(f.tshInformacoesOficiais.TabVisible());
  EXPECT_FALSE(f.dbeCDCONTADOR2.Enabled());
  EXPECT_FALSE(G::Close(f));
  EXPECT_TRUE(Application().FormExists(&f));
  EXPECT_TRUE(f.netEmpresa.Connected());
  EXPECT_TRUE(boStCriado);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Filial deve ser cadastrada."});

  db_->Execute("INSERT INTO FILIAL (CDFILIAL, CDEMPRESA) VALUES ('0001', '05')");
  EXPECT_FALSE(G::Close(f));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Parametrização do sistema deve ser preenchida."});
  db_->Execute("INSERT INTO PARGERAL (CDFILIAL) VALUES ('0001')");
  G::Close(f);
  Application().ProcessReleases();
  EXPECT_FALSE(boStCriado);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(EmpresaScreen, NotesButtonOnlyOnTheListPageAndPageItemsFollowThePage) {
  InsertCompany("05", "Quinta");
  TfrmEmpresa& f = Open();
  EXPECT_TRUE(f.sbtNotasExplicativas.Visible());
  ASSERT_TRUE(G::Click(f.mnuEndereco));
  EXPECT_EQ(f.pgcPadrao.ActivePage(), &f.tshEndereco);
  EXPECT_TRUE(f.mnuEndereco.Checked());
  EXPECT_FALSE(f.mnuFolhaDados.Checked());
  EXPECT_FALSE(f.sbtNotasExplicativas.Visible());
  ASSERT_TRUE(G::Page(f.tshFolhaDados));
  EXPECT_TRUE(f.sbtNotasExplicativas.Visible());
  EXPECT_FALSE(f.mnuEndereco.Checked());
  // The representatives page loads from the server each time and commands follow its dataset.
  db_->Execute(
      "INSERT INTO REPRESENTANTE (CDREPRES, NMREPRES, NRCPFREPRES) VALUES "
      "('01', 'Ana', '52998224725')");
  db_->Execute("INSERT INTO EMPRREPRES (CDEMPRESA, CDREPRES, IDATIVO) VALUES ('05', '01', 'S')");
  ASSERT_TRUE(G::Click(f.mnuSignatario));
  EXPECT_EQ(f.cdsRepresentante.RecordCount(), 1);
  EXPECT_EQ(dialogs_->AviKind(), 6);
  EXPECT_FALSE(dialogs_->AviShown());
  ASSERT_TRUE(G::Click(f.sbtIncluir));
  EXPECT_EQ(f.cdsRepresentante.State(), DataSetState::Insert);
  EXPECT_EQ(f.cdsEmpresa.State(), DataSetState::Browse);
  EXPECT_TRUE(f.sbtCancelar.Enabled());
  dialogs_->Answer(TModalResult::mrYes);
  ASSERT_TRUE(G::Click(f.sbtCancelar));
  EXPECT_EQ(f.cdsRepresentante.State(), DataSetState::Browse);
}

TEST_F(EmpresaScreen, CompanyTypeOutrosClearsAndDisablesSimples) {
  InsertCompany("05", "Quinta");
  db_->Execute("UPDATE EMPRESA SET IDTIPOEMPR = '1', IDOPTSIMPLES = 'S'");
  TfrmEmpresa& f = Open();
  EXPECT_TRUE(f.dckSIMPLES.Enabled());
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Click(f.mnuInformacoesOficiais));
  ASSERT_TRUE(G::Select(f.drgTipoEmpresa, 2));
  EXPECT_EQ(f.cdsEmpresa.FieldByName("IDOPTSIMPLES").AsString(), "N");
  EXPECT_FALSE(f.dckSIMPLES.Enabled());
}

}  // namespace
}  // namespace ger
