#include "forms/frmpadrao.h"

namespace ger {

TfrmPadrao::TfrmPadrao(std::string name, TComponent* owner) : TForm(std::move(name), owner) {
  FormStyle = TFormStyle::fsMDIChild;
  SetBounds(0, 0, 640, 440);
  panBotoes.SetParent(this);
  int left = 0;
  struct Tool {
    TSpeedButton& button;
    const char* hint;
    const char* glyph;
  };
  for (Tool t :
       {Tool{sbtIncluir, "Incluir", "document-new"},
        Tool{sbtAlterar, "Alterar", "document-properties"},
        Tool{sbtExcluir, "Excluir", "edit-delete"}, Tool{sbtProcurar, "Procurar", "edit-find"},
        Tool{sbtVerificar, "Verificar", "view-refresh"},
        Tool{sbtConfirmar, "Confirmar", "document-save"},
        Tool{sbtCancelar, "Cancelar", "process-stop"},
        Tool{sbtImprimir, "Imprimir", "document-print"}, Tool{sbtAjuda, "Ajuda", "help-browser"},
        Tool{sbtFechar, "Fechar", "system-log-out"}}) {
    t.button.SetParent(&panBotoes);
    t.button.SetHint(t.hint);
    t.button.Glyph = t.glyph;
    t.button.SetBounds(left, 0, 25, 25);
    left += 25;
  }
  navPadrao.SetParent(&panBotoes);
  navPadrao.SetDataSource(dtsPadrao);
  lblCodTela.SetParent(&panBotoes);
  pgcPadrao.SetParent(this);
  pgcPadrao.SetBounds(0, 30, 640, 390);
  pgcPadrao.SetTabOrder(0);
  dbgPadrao.SetParent(&tshFolhaDados);
  dbgPadrao.SetDataSource(dtsPadrao);
  dbgPadrao.ReadOnly = true;
  dbgPadrao.Options.Editing = false;
  // The list only shows the records; a new one is typed into the form's boxes, so leaving the
  // list (where the screen opens with the focus) keeps it.
  dbgPadrao.Options.CancelOnExit = false;
  RegisterDataSource(dtsPadrao);

  OnCreate = [this](TComponent& s) { FormCreate(s); };
  // The screen opens with the focus in its list, so the arrows move through the records at once.
  OnShow = [this](TComponent&) {
    if (!ActiveControl() && dbgPadrao.CanFocus()) FocusControl(&dbgPadrao);
  };
  OnClose = [this](TComponent& s, TCloseAction& a) { FormClose(s, a); };
  auto bind = [](TSpeedButton& button, TMenuItem* item, auto step) {
    button.OnClick = step;
    if (item) item->OnClick = step;
  };
  bind(sbtIncluir, &mnuIncluir, [this](TComponent& s) { sbtIncluirClick(s); });
  bind(sbtAlterar, &mnuAlterar, [this](TComponent& s) { sbtAlterarClick(s); });
  bind(sbtExcluir, &mnuExcluir, [this](TComponent& s) { sbtExcluirClick(s); });
  bind(sbtProcurar, &mnuProcurar, [this](TComponent& s) { sbtProcurarClick(s); });
  bind(sbtVerificar, &mnuVerificar, [this](TComponent& s) { sbtVerificarClick(s); });
  bind(sbtConfirmar, &mnuConfirmar, [this](TComponent& s) { sbtConfirmarClick(s); });
  bind(sbtCancelar, &mnuCancelar, [this](TComponent& s) { sbtCancelarClick(s); });
  bind(sbtImprimir, &mnuImprimir, [this](TComponent& s) { sbtImprimirClick(s); });
  bind(sbtAjuda, nullptr, [this](TComponent& s) { sbtAjudaClick(s); });
  bind(sbtFechar, nullptr, [this](TComponent& s) { sbtFecharClick(s); });
  mnuFolhaDados.OnClick = [this](TComponent& s) { mnuFolhaDadosClick(s); };
  mnuFormulario.OnClick = [this](TComponent& s) { mnuFormularioClick(s); };
  dbgPadrao.OnDblClick = [this](TComponent& s) { mnuFormularioClick(s); };
  pgcPadrao.OnChange = [this](TComponent& s) { pgcPadraoChange(s); };
  pgcPadrao.OnChanging = [this](TComponent& s, bool& allow) { pgcPadraoChanging(s, allow); };
  dtsPadrao.OnStateChange = [this](TDataSource& s) { dtsPadraoStateChange(s); };
}

TfrmPadrao::~TfrmPadrao() {
  // The data source goes before the controls bound to it would notice; unbind first.
  dtsPadrao.OnStateChange = nullptr;
}

TDataSet& TfrmPadrao::DataSetPadrao() {
  TDataSet* ds = dtsPadrao.DataSet();
  if (!ds) throw EInvalidOperation("O formulário '" + Name() + "' não tem conjunto de dados.");
  return *ds;
}

void TfrmPadrao::FormCreate(TComponent&) {
  if (msgMensagensPadroes.Count() == 0) msgMensagensPadroes.Load(StandardMessages());
  pgcPadrao.SetActivePage(tshFolhaDados);
  mnuFolhaDados.SetChecked(true);
  HabilitaPadrao(dtsPadrao);
}

void TfrmPadrao::FormClose(TComponent&, TCloseAction& action) {
  action = TCloseAction::caFree;
}

void TfrmPadrao::sbtIncluirClick(TComponent&) {
  TDataSet& ds = DataSetPadrao();
  if (!ds.Active()) ds.Open();
  ds.Insert();
}

void TfrmPadrao::sbtAlterarClick(TComponent&) {
  DataSetPadrao().Edit();
}

void TfrmPadrao::sbtExcluirClick(TComponent&) {
  TDataSet& ds = DataSetPadrao();
  if (!ds.Active() || ds.IsEmpty()) return;
  if (msgMensagensPadroes.ShowMsg("Excl", TMsgDlgType::mtConfirmation, mbYesNo) !=
      TModalResult::mrYes)
    return;
  ds.Delete();
  // A delete from browse leaves the state as it was, so the data source reports no change; the
  // last row gone must still disable what needs a row.
  dtsPadraoStateChange(dtsPadrao);
}

void TfrmPadrao::sbtConfirmarClick(TComponent&) {
  TDataSet& ds = DataSetPadrao();
  if (IsEditing(ds.State())) ds.Post();
}

void TfrmPadrao::sbtCancelarClick(TComponent&) {
  TDataSet& ds = DataSetPadrao();
  if (IsEditing(ds.State())) ds.Cancel();
}

void TfrmPadrao::sbtProcurarClick(TComponent&) {
  Procurar::Procura(DataSetPadrao());
}

void TfrmPadrao::sbtVerificarClick(TComponent&) {}

void TfrmPadrao::sbtImprimirClick(TComponent&) {}

void TfrmPadrao::sbtAjudaClick(TComponent&) {
  Application().Dialogs().ShowHelp(HelpFile, HelpContext);
}

void TfrmPadrao::sbtFecharClick(TComponent&) {
  Close();
}

void TfrmPadrao::mnuFolhaDadosClick(TComponent&) {
  pgcPadrao.SetActivePage(tshFolhaDados);
  pgcPadraoChange(pgcPadrao);
}

void TfrmPadrao::mnuFormularioClick(TComponent&) {
  pgcPadrao.SetActivePage(tshFormulario);
  pgcPadraoChange(pgcPadrao);
}

void TfrmPadrao::pgcPadraoChange(TComponent&) {
  mnuFolhaDados.SetChecked(pgcPadrao.ActivePage() == &tshFolhaDados);
  mnuFormulario.SetChecked(pgcPadrao.ActivePage() == &tshFormulario);
}

void TfrmPadrao::pgcPadraoChanging(TComponent&, bool&) {}

bool TfrmPadrao::DialogKey(TControl& from, int key, unsigned shift) {
  if (TForm::DialogKey(from, key, shift)) return true;
  // Enter in a box moves on to the next one, as Tab does: forms are filled from the keyboard.
  if (key != Keys::VK_RETURN || shift != 0) return false;
  if (TControl* next = FindNextControl(&from, true); next && next != &from) FocusControl(next);
  return true;
}

void TfrmPadrao::dtsPadraoStateChange(TDataSource& source) {
  HabilitaPadrao(source);
}

void TfrmPadrao::HabilitaPadrao(TDataSource& source) {
  DataSetState state = source.State();
  TDataSet* ds = source.DataSet();
  bool editing = IsEditing(state);
  bool browse = state == DataSetState::Browse;
  bool rows = browse && ds && !ds->IsEmpty();
  mnuConfirmar.SetEnabled(editing);
  mnuCancelar.SetEnabled(editing);
  mnuIncluir.SetEnabled(browse);
  mnuAlterar.SetEnabled(rows);
  mnuExcluir.SetEnabled(rows);
  mnuProcurar.SetEnabled(rows);
  mnuVerificar.SetEnabled(rows);
  sbtConfirmar.SetEnabled(mnuConfirmar.Enabled());
  sbtCancelar.SetEnabled(mnuCancelar.Enabled());
  sbtIncluir.SetEnabled(mnuIncluir.Enabled());
  sbtAlterar.SetEnabled(mnuAlterar.Enabled());
  sbtExcluir.SetEnabled(mnuExcluir.Enabled());
  sbtProcurar.SetEnabled(mnuProcurar.Enabled());
  sbtVerificar.SetEnabled(mnuVerificar.Enabled());
  // The list is only for browsing: no row changes under a pending edit.
  dbgPadrao.SetEnabled(!editing);
}

}  // namespace ger
