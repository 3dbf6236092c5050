#pragma once
// The small routine dialog: a group for the dialog's own controls and a button column with
// confirm and cancel. Screens bind sbtConfirma themselves; cancel closes with mrCancel.
#include <string>

#include "routines/routines.h"
#include "ui/forms.h"

namespace ger {

class TfrmRotiGeral : public TForm {
 public:
  explicit TfrmRotiGeral(std::string name = "frmRotiGeral", TComponent* owner = nullptr);

  TGroupBox grbRotina{this, "grbRotina"};
  TPanel panBotoes{this, "panBotoes"};
  TSpeedButton sbtConfirma{this, "sbtConfirma"};
  TSpeedButton sbtCancel{this, "sbtCancel"};
  TMessageComponent msgMensagensPadroes{this, "msgMensagensPadroes"};

  virtual void FormCreate(TComponent& sender);
  virtual void FormClose(TComponent& sender, TCloseAction& action);
  virtual void sbtCancelClick(TComponent& sender);
};

}  // namespace ger
