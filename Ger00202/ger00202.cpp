#include "Ger00202/ger00202.h"

#include "Pkg_Ger00200/company_screen.h"
#include "Pkg_Ger00200/creators.h"
#include "contract/tables.h"
#include "data/packet.h"

namespace ger {

using record::NotasExplicativas;

TfrmNotasExplicativas* frmNotasExplicativas = nullptr;
bool boIdCriado = false;
bool boFrmClose = false;

using Company = pkg::CompanyScreen;

namespace {
TClientDataSet& Defined(TClientDataSet& cdsObservacao) {
  record::DefineFields(cdsObservacao, record::kCdsObservacao);
  return cdsObservacao;
}
}  // namespace

TfrmNotasExplicativas::TfrmNotasExplicativas(TComponent* owner)
    : TfrmRotiGeral("frmNotasExplicativas", owner),
      cdsObservacaoCDEMPRESA(Defined(cdsObservacao).FieldByName(NotasExplicativas::CDEMPRESA)),
      cdsObservacaoDSOBSERVEMP(cdsObservacao.FieldByName(NotasExplicativas::DSOBSERVEMP)) {
  SetCaption("Notas Explicativas");
  SetBounds(0, 0, 403, 169);
  grbRotina.SetBounds(0, 0, 323, 169);
  panBotoes.SetBounds(323, 0, 80, 169);
  sbtConfirma.SetBounds(4, 8, 72, 44);
  sbtCancel.SetBounds(4, 58, 72, 44);
  panDescricao.SetParent(&grbRotina);
  panDescricao.SetCaption("Descrição");
  panDescricao.SetColor(TColor::clInfoBk);
  panDescricao.SetBounds(6, 14, 311, 18);
  memDesc.SetParent(&grbRotina);
  memDesc.SetBounds(6, 32, 311, 131);
  memDesc.SetColor(TColor::clWindow);
  memDesc.SetTabOrder(0);
  RegisterDataSet(cdsObservacao);

  sbtConfirma.OnClick = [this](TComponent& s) { sbtConfirmaClick(s); };
  OnCloseQuery = [this](TComponent& s, bool& canClose) { FormCloseQuery(s, canClose); };
  cdsObservacao.BeforePost = [this](TDataSet& d) { cdsObservacaoBeforePost(d); };
  cdsObservacao.AfterPost = [this](TDataSet& d) { cdsObservacaoAfterPost(d); };
}

void TfrmNotasExplicativas::FormCreate(TComponent& sender) {
  TfrmRotiGeral::FormCreate(sender);
  KeyPreview = true;
  OnKeyDown = [this](TComponent& s, int& key, unsigned shift) { AKeyDown(s, key, shift); };
  boFrmClose = false;
  params_ = VarArray{Value(Company::CurrentCode())};
  ServerPayload payload = Consiste::CheckResultServ(Company::Rdm().GetNotasExplicativas(params_));
  cdsObservacao.SetData(codec::DecodePacket(payload.Text()));
  if (cdsObservacao.IsEmpty()) {
    cdsObservacao.Insert();
  } else {
    cdsObservacao.Edit();
    memDesc.SetText(cdsObservacaoDSOBSERVEMP.AsString());
  }
  lido_ = memDesc.Text();
}

void TfrmNotasExplicativas::AKeyDown(TComponent&, int& key, unsigned shift) {
  // Ctrl+Enter confirms; Enter alone (and with other modifiers) stays a line break in the memo.
  if (key == Keys::VK_RETURN && shift == Keys::ssCtrl) {
    key = 0;
    sbtConfirma.Click();
  }
}

void TfrmNotasExplicativas::Grava() {
  // After a refused write the row's change was rolled back and the dataset browses again: post
  // the text once more instead of closing as if it had been written.
  if (cdsObservacao.State() == DataSetState::Browse) {
    if (cdsObservacao.IsEmpty())
      cdsObservacao.Insert();
    else
      cdsObservacao.Edit();
  }
  cdsObservacao.Post();
  boFrmClose = true;
  lido_ = memDesc.Text();
}

void TfrmNotasExplicativas::sbtConfirmaClick(TComponent&) {
  Grava();
  if (Modal())
    SetModalResult(TModalResult::mrOk);
  else
    Close();
}

void TfrmNotasExplicativas::sbtCancelClick(TComponent& sender) {
  boFrmClose = false;
  cdsObservacao.Cancel();
  TfrmRotiGeral::sbtCancelClick(sender);
}

void TfrmNotasExplicativas::FormClose(TComponent& sender, TCloseAction& action) {
  TfrmRotiGeral::FormClose(sender, action);
  boIdCriado = false;
}

void TfrmNotasExplicativas::cdsObservacaoBeforePost(TDataSet&) {
  const auto* code = std::get_if<std::string>(&params_.at(0));
  cdsObservacaoCDEMPRESA.SetAsString(code ? std::string_view(*code) : std::string_view());
  cdsObservacaoDSOBSERVEMP.SetAsString(memDesc.Text());
}

void TfrmNotasExplicativas::cdsObservacaoAfterPost(TDataSet&) {
  if (cdsObservacao.GetChangeCount() == 0) return;
  ServerAnswer answer = Company::Rdm().SetNotasExplicativas(cdsObservacao.GetDelta());
  try {
    Consiste::CheckResultServ(answer);
  } catch (...) {
    cdsObservacao.CancelUpdates();
    throw;
  }
  cdsObservacao.MergeChangeLog();
}

bool CriaObservacaoForm() {
  {
    pkg::HourGlass cursor;
    pkg::CreateOnce(frmNotasExplicativas, boIdCriado);
  }
  frmNotasExplicativas->ShowModal();
  return boFrmClose;
}

}  // namespace ger
