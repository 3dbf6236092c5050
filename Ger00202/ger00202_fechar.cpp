// Closing the notes editor without its buttons: a changed note is not dropped unasked.
#include "Ger00202/ger00202.h"

namespace ger {

void TfrmNotasExplicativas::FormCloseQuery(TComponent&, bool& canClose) {
  // Confirm and cancel have decided already (they set the modal result before closing).
  if (ModalResult() != TModalResult::mrNone || memDesc.Text() == lido_) return;
  switch (msgMensagensPadroes.ShowMsg("Salvar_Alt", TMsgDlgType::mtConfirmation,
                                      mbYes | mbNo | mbCancel)) {
    case TModalResult::mrYes:
      Grava();  // a refused write raises: the dialog stays open with the text
      break;
    case TModalResult::mrNo:
      boFrmClose = false;
      cdsObservacao.Cancel();
      break;
    default:
      canClose = false;
      break;
  }
}

}  // namespace ger
