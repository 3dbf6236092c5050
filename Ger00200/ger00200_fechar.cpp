// Closing the screen (Fechar, the close box, the window menu, the main window) while a company or
// a representative is being edited: the change is not dropped unasked.
#include "Ger00200/ger00200.h"

namespace ger {

void TfrmEmpresa::FormCloseQuery(TComponent&, bool& canClose) {
  const auto representante = [this] { return IsEditing(cdsRepresentante.State()); };
  if (!Editing() && !representante()) return;
  switch (msgMensagensPadroes.ShowMsg("Salvar_Alt", TMsgDlgType::mtConfirmation,
                                      mbYes | mbNo | mbCancel)) {
    case TModalResult::mrYes:
      // The confirm with all its checks: a failing one raises and the screen stays on its box.
      sbtConfirmarClick(sbtConfirmar);
      canClose = !Editing() && !representante();
      break;
    case TModalResult::mrNo:
      // Dropped without the cancel command's own question: the user has just answered.
      if (representante()) {
        cdsRepresentante.Cancel();
        Habilita(dtsRepresentante);
      }
      if (Editing()) cdsEmpresa.Cancel();
      break;
    default:
      canClose = false;
      break;
  }
}

}  // namespace ger
