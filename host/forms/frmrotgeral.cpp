#include "forms/frmrotgeral.h"

namespace ger {

TfrmRotiGeral::TfrmRotiGeral(std::string name, TComponent* owner) : TForm(std::move(name), owner) {
  SetBounds(0, 0, 480, 200);
  grbRotina.SetParent(this);
  grbRotina.SetBounds(0, 0, 400, 200);
  panBotoes.SetParent(this);
  panBotoes.SetBounds(400, 0, 80, 200);
  // The button column: Enter confirms and Escape cancels, as in any dialog.
  sbtConfirma.SetParent(&panBotoes);
  sbtConfirma.SetCaption("&Confirmar");
  sbtConfirma.SetHint("Confirmar");
  sbtConfirma.Glyph = "document-save";
  sbtConfirma.Default = true;
  sbtConfirma.SetBounds(4, 8, 72, 44);
  sbtCancel.SetParent(&panBotoes);
  sbtCancel.SetCaption("C&ancelar");
  sbtCancel.SetHint("Cancelar");
  sbtCancel.Glyph = "process-stop";
  sbtCancel.Cancel = true;
  sbtCancel.SetBounds(4, 56, 72, 44);
  OnCreate = [this](TComponent& s) { FormCreate(s); };
  OnClose = [this](TComponent& s, TCloseAction& a) { FormClose(s, a); };
  sbtCancel.OnClick = [this](TComponent& s) { sbtCancelClick(s); };
}

void TfrmRotiGeral::FormCreate(TComponent&) {
  if (msgMensagensPadroes.Count() == 0) msgMensagensPadroes.Load(StandardMessages());
}

void TfrmRotiGeral::FormClose(TComponent&, TCloseAction& action) {
  action = TCloseAction::caFree;
}

void TfrmRotiGeral::sbtCancelClick(TComponent&) {
  if (Modal())
    SetModalResult(TModalResult::mrCancel);
  else
    Close();
}

}  // namespace ger
