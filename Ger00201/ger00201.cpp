#include "Ger00201/ger00201.h"

#include "Pkg_Ger00200/creators.h"

namespace ger {

TfrmRelEmpresa* frmRelEmpresa = nullptr;
bool boRelEmpresaCriado = false;

TfrmRelEmpresa::TfrmRelEmpresa(TComponent* owner) : TfrmDadosGerRel("frmRelEmpresa", owner) {
  SetCaption("Empresa");
  SetBounds(0, 0, 420, 220);
  HelpFile = "GerHelp.hlp";
  HelpContext = 12400201;
  panMenu.SetBounds(336, 0, 84, 220);
  lblCodTela.SetCaption("GER00201");
  lblCodTela.SetBounds(8, 196, 80, 16);
  lblCodRel.SetCaption("Ger002");
  lblCodRel.SetBounds(8, 196, 68, 16);
  grbDadosRel.SetBounds(8, 8, 320, 180);
  lblRelat.SetBounds(16, 24, 288, 16);
  rdgSaida.SetBounds(16, 56, 288, 96);
  sbtExecutar.SetBounds(6, 8, 72, 44);
  sbtFechar.SetBounds(6, 58, 72, 44);
}

void TfrmRelEmpresa::FormClose(TComponent& sender, TCloseAction& action) {
  TfrmDadosGerRel::FormClose(sender, action);
  boRelEmpresaCriado = false;
}

void CriaRelEmpresaForm() {
  TfrmRelEmpresa* form;
  {
    pkg::HourGlass cursor;
    form = &pkg::CreateOnce(frmRelEmpresa, boRelEmpresaCriado);
  }
  form->ShowModal();
  // The form may have freed itself on closing; it stays in memory until the gesture ends.
  form->SetWindowState(TWindowState::wsNormal);
}

}  // namespace ger
