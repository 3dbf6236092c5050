#include "forms/frmpadrao.h"

#include "core/ptbr.h"

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
  lblFiltro.SetParent(&tshFolhaDados);
  lblFiltro.SetCaption("&Filtrar:");
  lblFiltro.FocusControl = &edtFiltro;
  lblFiltro.SetBounds(4, 8, 40, 13);
  edtFiltro.SetParent(&tshFolhaDados);
  edtFiltro.SetBounds(48, 4, 220, 21);
  edtFiltro.SetTabOrder(0);
  edtFiltro.SetHint("Mostra só as linhas que têm o texto (Ctrl+L; Esc limpa)");
  lblContagem.SetParent(&tshFolhaDados);
  lblContagem.SetBounds(280, 8, 200, 13);
  dbgPadrao.SetParent(&tshFolhaDados);
  dbgPadrao.SetBounds(4, 30, 620, 330);
  dbgPadrao.SetTabOrder(1);
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
  mnuProcurar.SetShortCut("Ctrl+F");
  mnuProcurarProximo.SetShortCut("F3");
  mnuProcurarProximo.OnClick = [this](TComponent& s) { mnuProcurarProximoClick(s); };
  mnuFiltrar.SetShortCut("Ctrl+L");
  mnuFiltrar.OnClick = [this](TComponent& s) { mnuFiltrarClick(s); };
  edtFiltro.OnChange = [this](TComponent& s) { edtFiltroChange(s); };
  edtFiltro.OnKeyDown = [this](TComponent& s, int& key, unsigned shift) {
    edtFiltroKeyDown(s, key, shift);
  };
  // The count follows every change of the list: a reload, an include, a delete, a move.
  dtsPadrao.OnDataChange = [this](TDataSource&, TField*) { MostraContagem(); };
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
  dtsPadrao.OnDataChange = nullptr;
}

TDataSet& TfrmPadrao::DataSetPadrao() {
  TDataSet* ds = dtsPadrao.DataSet();
  if (!ds) throw EInvalidOperation("O formulário '" + Name() + "' não tem conjunto de dados.");
  return *ds;
}

void TfrmPadrao::FormCreate(TComponent&) {
  if (msgMensagensPadroes.Count() == 0) msgMensagensPadroes.Load(StandardMessages());
  MostraContagem();
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
  Procurar::Procura(dbgPadrao, textoProcurado_);
}

void TfrmPadrao::mnuProcurarProximoClick(TComponent&) {
  Procurar::ProcuraProxima(dbgPadrao, textoProcurado_);
}

void TfrmPadrao::mnuFiltrarClick(TComponent&) {
  if (!tshFolhaDados.Enabled() || !pgcPadrao.Enabled()) return;
  if (pgcPadrao.ActivePage() != &tshFolhaDados) {
    mnuFolhaDadosClick(mnuFolhaDados);
    // A check of the page left may have kept it.
    if (pgcPadrao.ActivePage() != &tshFolhaDados) return;
  }
  if (edtFiltro.CanFocus()) {
    FocusControl(&edtFiltro);
    edtFiltro.SelectAll();
  }
}

void TfrmPadrao::edtFiltroChange(TComponent&) {
  dbgPadrao.SetFilterText(edtFiltro.Text());
  // The cursor goes to the first row listed when the row it was on is filtered out.
  TDataSet* ds = dtsPadrao.DataSet();
  if (ds && ds->State() == DataSetState::Browse && !ds->IsEmpty() &&
      !dbgPadrao.Matches(ds->RecNo() - 1)) {
    const std::vector<int> rows = dbgPadrao.ShownRows();
    if (!rows.empty()) ds->SetRecNo(rows.front() + 1);
  }
  MostraContagem();
}

void TfrmPadrao::edtFiltroKeyDown(TComponent&, int& key, unsigned shift) {
  if (key != Keys::VK_ESCAPE || shift != 0 || edtFiltro.Text().empty()) return;
  edtFiltro.SetText("");
  key = 0;
}

void TfrmPadrao::MostraContagem() {
  const int total = dbgPadrao.TotalCount();
  const int shown = dbgPadrao.RowCount();
  const std::string all = ptbr::FormatFloat(total, "#,##0");
  auto catalogue = [this](const char* key) -> const TMessages& {
    return msgPadrao.Contains(key) ? msgPadrao : msgMensagensPadroes;
  };
  std::string caption;
  if (dbgPadrao.FilterText().empty())
    caption = catalogue("Lista_Total").Msg("Lista_Total", {all});
  else
    caption =
        catalogue("Lista_Contagem").Msg("Lista_Contagem", {ptbr::FormatFloat(shown, "#,##0"), all});
  if (lblContagem.Caption() != caption) lblContagem.SetCaption(caption);
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
  mnuProcurarProximo.SetEnabled(rows);
  mnuFiltrar.SetEnabled(!editing);
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
