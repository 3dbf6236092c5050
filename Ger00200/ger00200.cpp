#include "Ger00200/ger00200.h"

#include <algorithm>
#include <exception>

#include "Ger00200/ger00200_dados.h"
#include "Ger00200/ger00200_historico.h"
// The report launcher and the notes editor are units of the same module, built alongside.
#if __has_include("Ger00201/ger00201.h") && __has_include("Ger00202/ger00202.h") && \
                                                          __has_include("module/module_export.h")
#include "Ger00201/ger00201.h"
#include "Ger00202/ger00202.h"
#define GER_EMPRESA_WITH_DIALOGS 1
#endif
#include "contract/tables.h"
#include "core/consiste_text.h"
#include "core/scoped_flag.h"
#include "data/packet.h"
#include "routines/routines.h"

namespace ger {

using record::Empresa;
using record::EmprRepres;
using record::Filial;
using record::ParGeral;
using record::Representante;

extern "C" {
TfrmEmpresa* frmEmpresa = nullptr;
bool boStCriado = false;
std::string stCodAntigo;
std::string stRegimeAnt;
std::string stTempCpf;
}

namespace {

// A packet that does not fit leaves the dataset's rows as they were.
void LoadPacket(TDataSet& dataset, const ServerPayload& payload) {
  dataset.SetData(codec::DecodePacket(payload.Text()));
}

}  // namespace

TfrmEmpresa::TfrmEmpresa(TComponent* owner) : TfrmPadrao("frmEmpresa", owner) {
  SetCaption("Empresa");
  lblCodTela.SetCaption("GER00200");
  HelpFile = "Gerhelp.hlp";
  HelpContext = 12400200;

  static_cast<TMessages&>(msgPadrao) = empresa::CatalogoPadrao();

  empresa::DefineEmpresa(cdsEmpresa);
  empresa::DefineVerifEmpresa(cdsVerifEmpresa);
  empresa::DefineVEmp(cdsVEmp);
  empresa::DefineVParGeral(cdsVParGeral);
  dtsPadrao.SetDataSet(&cdsEmpresa);
  dtsContador.SetDataSet(&cdsContador);
  dtsCNAE.SetDataSet(&cdsCNAE);
  dtsFPAS.SetDataSet(&cdsFPAS);
  dtsNatureza.SetDataSet(&cdsNatureza);
  dtsPesqBairro.SetDataSet(&cdsPesqBairro);
  dtsPais.SetDataSet(&qryPais.Query);
  dtsEstado.SetDataSet(&qryEstado.Query);
  dtsMunicipio.SetDataSet(&qryMunicipio.Query);
  dtsCentCusto.SetDataSet(&qryCentCusto.Query);
  for (TDataSet* ds :
       {static_cast<TDataSet*>(&cdsEmpresa), static_cast<TDataSet*>(&cdsVerifEmpresa),
        static_cast<TDataSet*>(&cdsVEmp), static_cast<TDataSet*>(&cdsVParGeral),
        static_cast<TDataSet*>(&cdsEspelho), static_cast<TDataSet*>(&cdsVerifInsc),
        static_cast<TDataSet*>(&cdsRepresentante), static_cast<TDataSet*>(&cdsPesqRepres),
        static_cast<TDataSet*>(&cdsContador), static_cast<TDataSet*>(&cdsCNAE),
        static_cast<TDataSet*>(&cdsFPAS), static_cast<TDataSet*>(&cdsNatureza),
        static_cast<TDataSet*>(&cdsPesqBairro), static_cast<TDataSet*>(&qryVeriFilial.Query)})
    RegisterDataSet(*ds);
  LigaRepresentantes();

  const std::string veriFilial(empresa::kSqlVeriFilial);
  qryVeriFilial.SQL = qryVeriFilial.SQL_ORACLE = qryVeriFilial.SQL_MSSQL = qryVeriFilial.SQL_IB =
      veriFilial;
  record::DefineFields(qryVeriFilial.Query, record::kQryVeriFilial);

  // The list: code and name, whole rows, a grid delete asks first.
  dbgPadrao.AddColumn(Empresa::CDEMPRESA, {}, 41);
  dbgPadrao.AddColumn(Empresa::NMEMPRESA, {}, 347);
  dbgPadrao.Options.RowSelect = true;
  dbgPadrao.Options.ConfirmDelete = true;

  netEmpresa.ServerName = "GER00200.rdmEmpresa";
  netEmpresa.BeforeConnect = [this](TNetConnection& c) { netEmpresaBeforeConnect(c); };
  netEmpresa.RefusedText = msgPadrao.Msg("Acesso_Neg");

  Layout();
  PreparaPesquisas();
  PreparaValidacoes();
  LigaCodigos();
  PreparaInscricao();
  PreparaInscEstadual();
  PreparaBairro();
  LigaModelos();
  PreparaLista();

  OnActivate = [this](TComponent& s) { FormActivate(s); };
  OnCloseQuery = [this](TComponent& s, bool& canClose) { FormCloseQuery(s, canClose); };
  cdsEmpresa.OnNewRecord = [this](TDataSet& d) { cdsEmpresaNewRecord(d); };
  cdsEmpresa.AfterPost = [this](TDataSet& d) { cdsEmpresaAfterPost(d); };
  cdsEmpresa.AfterDelete = [this](TDataSet& d) { cdsEmpresaAfterDelete(d); };
  cdsEmpresa.AfterCancel = [this](TDataSet& d) { cdsEmpresaAfterCancel(d); };
  cdsEmpresa.AfterScroll = [this](TDataSet& d) { cdsEmpresaAfterScroll(d); };
  // The save holds and sends the record as stored, logo included.
  cdsEmpresa.BeforeEdit = [this](TDataSet&) { GaranteLogo(); };
  mnuEndereco.OnClick = [this](TComponent& s) { mnuEnderecoClick(s); };
  mnuDadAdic.OnClick = [this](TComponent& s) { mnuDadAdicClick(s); };
  mnuFinanceiro.OnClick = [this](TComponent& s) { mnuFinanceiroClick(s); };
  mnuInformacoesOficiais.OnClick = [this](TComponent& s) { mnuInformacoesOficiaisClick(s); };
  mnuLogotipo.OnClick = [this](TComponent& s) { mnuLogotipoClick(s); };
  mnuSignatario.OnClick = [this](TComponent& s) { mnuSignatarioClick(s); };
  mnuParametrizaoDFe.OnClick = [this](TComponent& s) { mnuParametrizaoDFeClick(s); };
  mnuEdit.SetShortCut("Ctrl+E");
  sbtNotasExplicativas.OnClick = [this](TComponent& s) { sbtNotasExplicativasClick(s); };
  mnuHistorico.SetCaption(msgPadrao.Msg("Hist_Menu"));
  mnuHistorico.OnClick = [this](TComponent& s) { mnuHistoricoClick(s); };
  drgTipoEmpresa.OnChange = [this](TComponent& s) { drgTipoEmpresaChange(s); };
}

TfrmEmpresa::~TfrmEmpresa() {
  ParaVigia();
  dbgPadrao.RowMarked = nullptr;
  cdsEmpresa.AfterScroll = nullptr;
  cdsEmpresa.AfterCancel = nullptr;
  cdsEmpresa.BeforeEdit = nullptr;
  DesligaRepresentantes();
  if (frmEmpresa == this) frmEmpresa = nullptr;
}

bool TfrmEmpresa::Editing() const {
  return IsEditing(dtsPadrao.State());
}

bool TfrmEmpresa::OnRepresentantes() const {
  return pgcPadrao.ActivePage() == &tshRepresentante;
}

// ---------------------------------------------------------------------------------------------
// Lifecycle

void TfrmEmpresa::FormCreate(TComponent& sender) {
  TfrmPadrao::FormCreate(sender);
  {
    Showavi::WaitAnimation wait(Application().MainForm, 0);
    netEmpresa.Connect();
  }
  if (Geral::ModuloAtiv() == "/") {
    for (TControl* c : std::initializer_list<TControl*>{&lblContador, &dbeCDCONTADOR2, &btpContador,
                                                        &dbeNMCONTADOR})
      c->SetEnabled(false);
    tshDadAdic.SetTabVisible(false);
    tshFinanceiro.SetTabVisible(false);
    tshInformacoesOficiais.SetTabVisible(false);
  }
  dbeNmBairEmpr.SetVisible(false);
  dbeCdBairro.SetVisible(true);
  dbeNMBairro.SetVisible(true);
  BtnPesquisa1.SetVisible(true);

  LoadEmpresas();
  if (cdsEmpresa.IsEmpty()) TravaListaVazia();
  IniciaVigia();

  dcbMeDataBase.SetItems(Consiste::ListaMeses());
  for (TControl* c :
       std::initializer_list<TControl*>{&dbeCDCNAE, &dbeCDFPAS, &dbeCdNatureza, &dbeCdEmprCaixa,
                                        &dbeNRPROPRIEMPR, &dbeCDCONTADOR2, &dcbMeDataBase})
    c->SetColor(TColor::clWindow);
  const std::string cpfMask = Consiste::PictPess("F");
  cdsRepresentante.FieldByName(Representante::NRCPFREPRES).SetEditMask(cpfMask);
  cdsPesqRepres.FieldByName(Representante::NRCPFREPRES).SetEditMask(cpfMask);
}

void TfrmEmpresa::netEmpresaBeforeConnect(TNetConnection& sender) {
  sender.Host = Zembrat::WebURL();
  sender.Port = Zembrat::WebPort();
  sender.CaFile = Application().Settings.caFile;
  sender.Token = Application().Settings.token;
  sender.TimeoutSeconds = Application().Settings.callTimeout;
}

void TfrmEmpresa::FormActivate(TComponent&) {
  // The renderer repaints on a model change.
  if (frmEmpresa) Application().Changed();
}

void TfrmEmpresa::FormClose(TComponent& sender, TCloseAction& action) {
  if (Geral::ModuloAtiv() == "/") {
    LoadPacket(cdsVEmp, Consiste::CheckResultServ(rdm.GetVEmp()));
    if (cdsVEmp.FieldByName(Empresa::CDEMPRESA).AsString().empty())
      Consiste::MensErro(msgPadrao.Msg("Emp_deve"), true);
    qryVeriFilial.Close();
    qryVeriFilial.Open();
    if (qryVeriFilial.FieldByName(Filial::CDFILIAL).AsString().empty())
      Consiste::MensErro(msgPadrao.Msg("Fili_deve"), true);
    LoadPacket(cdsVParGeral, Consiste::CheckResultServ(rdm.GetVParGeral()));
    if (cdsVParGeral.FieldByName(ParGeral::CDFILIAL).AsString().empty())
      Consiste::MensErro(msgPadrao.Msg("Param_deve"), true);
  }
  ParaVigia();
  netEmpresa.Disconnect();
  boStCriado = false;
  TfrmPadrao::FormClose(sender, action);
}

// ---------------------------------------------------------------------------------------------
// Pages

void TfrmEmpresa::pgcPadraoChange(TComponent& sender) {
  TfrmPadrao::pgcPadraoChange(sender);
  const TTabSheet* active = pgcPadrao.ActivePage();
  mnuEndereco.SetChecked(active == &tshEndereco);
  mnuDadAdic.SetChecked(active == &tshDadAdic);
  mnuFinanceiro.SetChecked(active == &tshFinanceiro);
  mnuInformacoesOficiais.SetChecked(active == &tshInformacoesOficiais);
  mnuLogotipo.SetChecked(active == &tshEndeEmp);
  mnuSignatario.SetChecked(active == &tshRepresentante);
  mnuParametrizaoDFe.SetChecked(active == &tshParametrizaoDFe);
  sbtNotasExplicativas.SetVisible(mnuFolhaDados.Checked());
  if (active == &tshEndeEmp) {
    GaranteLogo();
    Carrega_Imagem();
  }
  if (active != &tshRepresentante) {
    Habilita(dtsPadrao);
    return;
  }
  CarregaRepresentantes();
}

void TfrmEmpresa::pgcPadraoChanging(TComponent& sender, bool& allowChange) {
  TfrmPadrao::pgcPadraoChanging(sender, allowChange);
  const TTabSheet* leaving = pgcPadrao.ActivePage();
  try {
    if (leaving == &tshFormulario)
      ExitChecksFormulario();
    else if (leaving == &tshEndereco)
      ExitChecksEndereco();
    else if (leaving == &tshDadAdic)
      ExitChecksDadAdic();
    else if (leaving == &tshInformacoesOficiais)
      ExitChecksInformacoesOficiais();
    else if (leaving == &tshRepresentante)
      FinalizaRepresentante();
  } catch (const EAbort&) {
    // The check has shown its message already.
    allowChange = false;
  } catch (const std::exception& e) {
    Application().Dialogs().MessageDlg(e.what(), TMsgDlgType::mtError, mbOK, 0);
    allowChange = false;
  }
}

void TfrmEmpresa::ActivatePage(TTabSheet& page) {
  if (OnRepresentantes() && &page != &tshRepresentante) FinalizaRepresentante();
  pgcPadrao.SetActivePage(page);
  pgcPadraoChange(pgcPadrao);
}

void TfrmEmpresa::mnuFolhaDadosClick(TComponent&) {
  ActivatePage(tshFolhaDados);
}
void TfrmEmpresa::mnuFormularioClick(TComponent&) {
  ActivatePage(tshFormulario);
}
void TfrmEmpresa::mnuEnderecoClick(TComponent&) {
  ActivatePage(tshEndereco);
}
void TfrmEmpresa::mnuDadAdicClick(TComponent&) {
  ActivatePage(tshDadAdic);
}
void TfrmEmpresa::mnuFinanceiroClick(TComponent&) {
  ActivatePage(tshFinanceiro);
}
void TfrmEmpresa::mnuInformacoesOficiaisClick(TComponent&) {
  ActivatePage(tshInformacoesOficiais);
}
void TfrmEmpresa::mnuLogotipoClick(TComponent&) {
  ActivatePage(tshEndeEmp);
}
void TfrmEmpresa::mnuSignatarioClick(TComponent&) {
  ActivatePage(tshRepresentante);
}
void TfrmEmpresa::mnuParametrizaoDFeClick(TComponent&) {
  ActivatePage(tshParametrizaoDFe);
}

void TfrmEmpresa::Habilita(TDataSource& source) {
  HabilitaPadrao(source);
  mnuEdit.SetEnabled(!mnuConfirmar.Enabled());
  sbtEditModelo.SetEnabled(mnuEdit.Enabled());
}

void TfrmEmpresa::TravaListaVazia() {
  pgcPadrao.SetEnabled(false);
  for (TControl* b :
       std::initializer_list<TControl*>{&sbtAlterar, &sbtExcluir, &sbtProcurar, &sbtVerificar})
    b->SetEnabled(false);
  for (TMenuItem* m : {&mnuAlterar, &mnuExcluir, &mnuProcurar, &mnuProcurarProximo, &mnuVerificar,
                       &mnuFolhaDados, &mnuFormulario, &mnuEndereco, &mnuDadAdic, &mnuFinanceiro,
                       &mnuInformacoesOficiais, &mnuLogotipo, &mnuSignatario, &mnuParametrizaoDFe})
    m->SetEnabled(false);
}

void TfrmEmpresa::HabilitaPorLista() {
  const bool rows = cdsEmpresa.Active() && !cdsEmpresa.IsEmpty();
  pgcPadrao.SetEnabled(rows);
  for (TControl* b :
       std::initializer_list<TControl*>{&sbtAlterar, &sbtExcluir, &sbtProcurar, &sbtVerificar})
    b->SetEnabled(rows);
  for (TMenuItem* m : {&mnuAlterar, &mnuExcluir, &mnuProcurar, &mnuProcurarProximo, &mnuVerificar})
    m->SetEnabled(rows);
}

void TfrmEmpresa::drgTipoEmpresaChange(TComponent&) {
  if (!Editing()) return;
  if (drgTipoEmpresa.Value() == "3") cdsEmpresa.FieldByName(Empresa::IDOPTSIMPLES).SetAsString("N");
  HabilitaDrgTipoEmpresa();
}

void TfrmEmpresa::HabilitaDrgTipoEmpresa() {
  dckSIMPLES.SetEnabled(drgTipoEmpresa.Value() != "3");
}

void TfrmEmpresa::sbtNotasExplicativasClick(TComponent&) {
#ifdef GER_EMPRESA_WITH_DIALOGS
  CriaObservacaoForm();
#else
  throw Exception("O editor de notas explicativas não faz parte desta compilação.");
#endif
}

void TfrmEmpresa::mnuHistoricoClick(TComponent&) {
  if (cdsEmpresa.IsEmpty()) Consiste::MensErro(msgPadrao.Msg("Hist_Sem_Empresa"), true);
  const std::string company = cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString();
  ServerAnswer answer = rdm.GetHistorico(company);
  if (!answer.ok()) throw EServerError(answer.error);
  TfrmHistorico form(codec::DecodePacket(answer.payload->Text()), msgPadrao, company);
  form.ShowModal();
}

void TfrmEmpresa::sbtImprimirClick(TComponent&) {
#ifdef GER_EMPRESA_WITH_DIALOGS
  CriaRelEmpresaForm();
#else
  throw Exception("O relatório de empresas não faz parte desta compilação.");
#endif
}

// ---------------------------------------------------------------------------------------------
// Edit cycle

void TfrmEmpresa::cdsEmpresaNewRecord(TDataSet& dataset) {
  cboTipo.SetItemIndex(0);
  // IDFORMAPUR "I" and IDCTBBAIXAEMPR "S".
  for (const record::Column& c : record::kEmpresa.columns)
    if (!c.initial.empty()) dataset.FieldByName(c.name).SetAsString(c.initial);
}

void TfrmEmpresa::sbtIncluirClick(TComponent& sender) {
  if (OnRepresentantes()) {
    // A new link goes at the end of the list, with the cursor in its code.
    cdsRepresentante.Append();
    Habilita(dtsRepresentante);
    cdsRepresentante.FieldByName(EmprRepres::CDREPRES).FocusControl();
    return;
  }
  pgcPadrao.SetEnabled(true);
  TfrmPadrao::sbtIncluirClick(sender);
  cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR).SetEditMask(Consiste::PictPess("I"));
  cdsEmpresa.FieldByName(Empresa::IDPARTICIPAT).SetAsString("N");
  cdsEmpresa.FieldByName(Empresa::IDOPTSIMPLES).SetAsString("N");
  cdsEmpresa.FieldByName(Empresa::IDTIPOEMPR).SetAsString("3");
  cdsEmpresa.FieldByName(Empresa::IDINCENTFISCAL).SetAsString("N");
  dbdDataReg.SetText("");
  dbeCdEmpresa.SetEnabled(true);
  ActivatePage(tshFormulario);
  dbeCdEmpresa.SetFocus();
}

void TfrmEmpresa::sbtAlterarClick(TComponent& sender) {
  if (OnRepresentantes()) {
    cdsRepresentante.Edit();
    Habilita(dtsRepresentante);
    return;
  }
  TfrmPadrao::sbtAlterarClick(sender);
  if (pgcPadrao.ActivePage() != &tshFormulario) ActivatePage(tshFormulario);
  dbeNmEmpresa.SetFocus();
}

void TfrmEmpresa::dtsPadraoStateChange(TDataSource& sender) {
  TfrmPadrao::dtsPadraoStateChange(sender);
  const DataSetState state = cdsEmpresa.State();
  const bool inserting = state == DataSetState::Insert;
  const bool empty = !cdsEmpresa.Active() || cdsEmpresa.IsEmpty();
  for (TControl* c :
       std::initializer_list<TControl*>{&dbeCdEmpresa, &lblCdEmpresa, &dbeCGCEmpresa, &lblInsc})
    c->SetEnabled(inserting);
  const bool list = !IsEditing(state) && !empty;
  tshFolhaDados.SetEnabled(list);
  mnuFolhaDados.SetEnabled(list);
  tshRepresentante.SetEnabled(!inserting && !empty);
  const bool pages = pgcPadrao.Enabled();
  for (TMenuItem* m : {&mnuFormulario, &mnuEndereco, &mnuDadAdic, &mnuFinanceiro,
                       &mnuInformacoesOficiais, &mnuLogotipo, &mnuSignatario, &mnuParametrizaoDFe})
    m->SetEnabled(pages);
  pnlTipo.SetVisible(inserting);
  if (!IsEditing(state)) FimDaEdicao();
  pgcPadraoChange(pgcPadrao);
  MostraSituacaoInscEstadual();
}

void TfrmEmpresa::sbtConfirmarClick(TComponent& sender) {
  // The list is reloaded after a save, so the row is found again by its key, not by a bookmark.
  std::string key = cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString();
  const int recNo = cdsEmpresa.RecNo();
  if (OnRepresentantes()) {
    cdsRepresentante.Post();
    Habilita(dtsRepresentante);
  } else if (Editing()) {
    ConfirmChecks();
    TfrmPadrao::sbtConfirmarClick(sender);
    key = cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString();
  }
  // The refresh that ends a confirm loads the logo preview of the row it returns to: loaded on
  // the list's first row instead, another company's missing logo file would report the save
  // that has just succeeded as a failure and leave the cursor there.
  if (OnRepresentantes()) {
    sbtVerificarClick(sender);
    VoltaAEmpresa(key, recNo);
    return;
  }
  {
    ScopedFlag quiet(carregandoImagem_);
    LoadEmpresas();
    VoltaAEmpresa(key, recNo);
  }
  Carrega_Imagem();
}

void TfrmEmpresa::VoltaAEmpresa(const std::string& key, int recNo) {
  if (cdsEmpresa.IsEmpty()) return;
  if (key.empty() || !cdsEmpresa.Locate(Empresa::CDEMPRESA, {Value(key)}))
    cdsEmpresa.SetRecNo(std::min(std::max(recNo, 1), cdsEmpresa.RecordCount()));
}

void TfrmEmpresa::cdsEmpresaAfterPost(TDataSet&) {
  EnviaAlteracoes(false);
  HabilitaPorLista();
}

void TfrmEmpresa::cdsEmpresaAfterDelete(TDataSet&) {
  EnviaAlteracoes(true);
  HabilitaPorLista();
  HabilitaDrgTipoEmpresa();
}

void TfrmEmpresa::EnviaAlteracoes(bool afterDelete) {
  if (cdsEmpresa.GetChangeCount() == 0) return;
  const ChangeSet delta = cdsEmpresa.GetDelta();
  try {
    const TDBEdit* boxes[6] = {&dbeVrTxInfra, &dbdDataReg, &DBEPerMulta,
                               &DBEPerMora,   &dbeNRCAGED, &dbeCDEXTERNO};
    if (afterDelete) std::swap(boxes[4], boxes[5]);
    bool empty[6];
    for (int i = 0; i < 6; ++i) empty[i] = Consiste::EmptyString(boxes[i]->Text());
    Consiste::CheckResultServ(
        rdm.SetEmpresa(delta, empty[0], empty[1], empty[2], empty[3], empty[4], empty[5]),
        afterDelete);
    cdsEmpresa.MergeChangeLog();
    Zembrat::AtualizaLocalCache({"EMPRESA"});
  } catch (const EServerError& e) {
    // A refused save of a company this seat altered: the screen shows what is stored now.
    cdsEmpresa.CancelUpdates();
    auto update = std::find_if(delta.changes.begin(), delta.changes.end(),
                               [](const Change& c) { return c.kind == ChangeKind::Update; });
    if (update == delta.changes.end()) Consiste::MensErro(e.what(), true);
    RecusaDoServidor(e.what(), delta.fields, update->oldValues, cdsEmpresa.RecNo());
  } catch (...) {
    cdsEmpresa.CancelUpdates();
    // The server's Delete has already removed the company; showing it again would list a row
    // that no longer exists, so the list is read again from the server.
    if (afterDelete) {
      try {
        LoadEmpresas();
      } catch (...) {
        // The server's own error below is the one to report.
      }
    }
    throw;
  }
}

void TfrmEmpresa::cdsEmpresaAfterCancel(TDataSet&) {
  cdsEmpresa.CancelUpdates();
  if (dtsPadrao.State() == DataSetState::Browse) {
    cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR)
        .SetEditMask(Consiste::PictPess(cdsEmpresa.FieldByName(Empresa::IDTPIJUREMPR).AsString()));
    HabilitaDrgTipoEmpresa();
  }
  HabilitaPorLista();
}

void TfrmEmpresa::cdsEmpresaAfterScroll(TDataSet&) {
  if (dtsPadrao.State() == DataSetState::Browse && !cdsEmpresa.IsEmpty()) {
    cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR)
        .SetEditMask(Consiste::PictPess(cdsEmpresa.FieldByName(Empresa::IDTPIJUREMPR).AsString()));
    HabilitaDrgTipoEmpresa();
  }
  MostraSituacaoInscEstadual();
  if (pgcPadrao.ActivePage() == &tshEndeEmp) {
    GaranteLogo();
    Carrega_Imagem();
  }
}

void TfrmEmpresa::sbtCancelarClick(TComponent& sender) {
  if (OnRepresentantes()) {
    if (msgPadrao.ShowMsg("cancelar", TMsgDlgType::mtConfirmation, mbYesNo) != TModalResult::mrYes)
      return;
    TfrmPadrao::sbtCancelarClick(sender);
    cdsRepresentante.Cancel();
    Habilita(dtsRepresentante);
    return;
  }
  try {
    TfrmPadrao::sbtCancelarClick(sender);
    Carrega_Imagem();
  } catch (...) {
    // Cancelling a company never reports an error; the commands follow the list instead.
    HabilitaPorLista();
  }
}

void TfrmEmpresa::sbtExcluirClick(TComponent&) {
  if (OnRepresentantes()) {
    if (msgMensagensPadroes.ShowMsg("Excl", TMsgDlgType::mtConfirmation, mbYesNo) !=
        TModalResult::mrYes)
      return;
    cdsRepresentante.Delete();
    Habilita(dtsRepresentante);
    return;
  }
  if (!cdsEmpresa.Active() || cdsEmpresa.IsEmpty())
    Consiste::MensErro(msgPadrao.Msg("Reg_Emp"), true);
  if (msgMensagensPadroes.ShowMsg("Excl", TMsgDlgType::mtConfirmation, mbYesNo) !=
      TModalResult::mrYes)
    return;
  // Held against the row this seat shows: a company another user changed or deleted meanwhile
  // is not deleted, and the screen shows what is stored now.
  GaranteLogo();
  const ChangeSet held = ExclusaoRetida();
  try {
    Consiste::CheckResultServ(rdm.Delete(dbeCdEmpresa.Text(), held), false);
  } catch (const EServerError& e) {
    RecusaDoServidor(e.what(), held.fields, held.changes.front().oldValues, cdsEmpresa.RecNo());
  }
  cdsEmpresa.Delete();
  if (cdsEmpresa.IsEmpty()) {
    TravaListaVazia();
    cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR).SetEditMask(Consiste::PictPess("I"));
  }
}

void TfrmEmpresa::sbtVerificarClick(TComponent&) {
  if (OnRepresentantes()) {
    CarregaRepresentantes();
    return;
  }
  // The company shown stays current; the list starts from its first row only when it is gone.
  const std::string key = cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString();
  {
    ScopedFlag quiet(carregandoImagem_);
    LoadEmpresas();
    if (!key.empty() && !cdsEmpresa.IsEmpty() &&
        !cdsEmpresa.Locate(Empresa::CDEMPRESA, {Value(key)}))
      cdsEmpresa.First();
  }
  Carrega_Imagem();
}

void TfrmEmpresa::sbtProcurarClick(TComponent& sender) {
  if (OnRepresentantes()) {
    Procurar::Procura(dbgRepresentante, textoRepresentante_);
    return;
  }
  TfrmPadrao::sbtProcurarClick(sender);
}

}  // namespace ger
