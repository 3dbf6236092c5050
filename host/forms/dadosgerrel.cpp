#include "forms/dadosgerrel.h"

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
  sbtExecutar.SetParent(&panMenu);
  sbtExecutar.SetHint("Executar");
  sbtFechar.SetParent(&panMenu);
  sbtFechar.SetHint("Fechar");
  svdSaveReport.Filter = "Relatório (*.txt)|*.txt";
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
  lblRelat.SetCaption(Caption());
  if (rdgSaida.ItemIndex() < 0) rdgSaida.SetItemIndex(Video);
}

void TfrmDadosGerRel::FormClose(TComponent&, TCloseAction& action) {
  action = TCloseAction::caFree;
}

void TfrmDadosGerRel::sbtExecutarClick(TComponent&) {
  if (rdgSaida.ItemIndex() == Arquivo && !svdSaveReport.Execute()) return;
  throw Exception("O relatório '" + ReportCode() + "' não está disponível nesta instalação.");
}

}  // namespace ger
