#include "forms/dadosgerrel.h"

#include "forms/relatorio.h"
#include "report/messages.h"

namespace ger {

TfrmDadosGerRel::TfrmDadosGerRel(std::string name, TComponent* owner)
    : TForm(std::move(name), owner) {
  SetBounds(0, 0, 420, 220);
  grbDadosRel.SetParent(this);
  lblRelat.SetParent(&grbDadosRel);
  rdgSaida.SetParent(&grbDadosRel);
  rdgSaida.SetCaption("Saída");
  rdgSaida.SetItems({"Vídeo", "Impressora", "Arquivo"});
  panMenu.SetParent(this);
  lblCodRel.SetParent(&panMenu);
  lblCodTela.SetParent(this);
  // The button column: Enter runs the report and Escape closes, as in any dialog.
  sbtExecutar.SetParent(&panMenu);
  sbtExecutar.SetCaption("&Executar");
  sbtExecutar.SetHint("Executar");
  sbtExecutar.Glyph = "document-print";
  sbtExecutar.Default = true;
  sbtFechar.SetParent(&panMenu);
  sbtFechar.SetCaption("&Fechar");
  sbtFechar.SetHint("Fechar");
  sbtFechar.Glyph = "system-log-out";
  sbtFechar.Cancel = true;
  svdSaveReport.Filter = report::ReportMsg("Rel_Filtro");
  svdSaveReport.DefaultExt = "pdf";
  svdSaveReport.Title = "Salvar relatório";
  OnCreate = [this](TComponent& s) { FormCreate(s); };
  OnClose = [this](TComponent& s, TCloseAction& a) { FormClose(s, a); };
  sbtExecutar.OnClick = [this](TComponent& s) { sbtExecutarClick(s); };
  sbtFechar.OnClick = [this](TComponent&) { Close(); };
  mnuSalvarRelatorio.OnClick = [this](TComponent& s) {
    rdgSaida.SetItemIndex(Arquivo);
    sbtExecutarClick(s);
  };
}

void TfrmDadosGerRel::FormCreate(TComponent&) {
  if (msgMensagens.Count() == 0) msgMensagens.Load(report::ReportMessageLines());
  lblRelat.SetCaption(Caption());
  if (rdgSaida.ItemIndex() < 0) rdgSaida.SetItemIndex(Video);
}

void TfrmDadosGerRel::FormClose(TComponent&, TCloseAction& action) {
  action = TCloseAction::caFree;
}

void TfrmDadosGerRel::sbtExecutarClick(TComponent&) {
  std::optional<report::Definition> definition = FindReport(ReportCode());
  if (!definition) throw Exception(report::ReportMsg("Rel_Indisponivel", {ReportCode()}));
  auto job = std::make_shared<ReportJob>(std::move(*definition));
  switch (rdgSaida.ItemIndex()) {
    case Arquivo:
      job->SaveAs(svdSaveReport);
      break;
    case Impressora:
      job->Print();
      break;
    default:
      job->Preview();
      break;
  }
}

}  // namespace ger
