#pragma once
// The report launcher: report title, screen code, report code, the output choice (screen,
// printer, file) and the save dialog for a file.
#include <string>

#include "routines/routines.h"
#include "ui/comctrls.h"
#include "ui/forms.h"

namespace ger {

class TfrmDadosGerRel : public TForm {
 public:
  explicit TfrmDadosGerRel(std::string name = "frmDadosGerRel", TComponent* owner = nullptr);

  TPanel panMenu{this, "panMenu"};
  TLabel lblCodTela{this, "lblCodTela"};
  TLabel lblCodRel{this, "lblCodRel"};
  TGroupBox grbDadosRel{this, "grbDadosRel"};
  TLabel lblRelat{this, "lblRelat"};
  TRadioGroup rdgSaida{this, "rdgSaida"};
  TSpeedButton sbtExecutar{this, "sbtExecutar"};
  TSpeedButton sbtFechar{this, "sbtFechar"};
  TSaveDialog svdSaveReport{this, "svdSaveReport"};
  TMessageComponent msgMensagens{this, "msgMensagens"};
  TPopupMenu ppmSalvarRelatorio{this, "ppmSalvarRelatorio"};
  TMenuItem mnuSalvarRelatorio{&ppmSalvarRelatorio, "mnuSalvarRelatorio", "&Salvar Relatório"};

  // Output choices of rdgSaida.
  enum Saida { Video = 0, Impressora = 1, Arquivo = 2 };

  const std::string& ReportCode() const { return lblCodRel.Caption(); }

  virtual void FormCreate(TComponent& sender);
  virtual void FormClose(TComponent& sender, TCloseAction& action);
  // Runs the report to the chosen output. With no report engine installed for the report code
  // it says so instead of pretending to have printed (Exception naming the code).
  virtual void sbtExecutarClick(TComponent& sender);
};

}  // namespace ger
