#pragma once
// The report launcher: report title, screen code, report code, the output choice (screen,
// printer, file) and the save dialog for a file. The report itself is the host's: its definition
// is found by the report code (forms/relatorio.h).
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
  // Runs the report to the chosen output: "Vídeo" the print preview, "Impressora" the system's
  // print dialog, "Arquivo" the save dialog (PDF or CSV). A report code this installation has no
  // definition for is reported (Exception naming the code). The pop-up item "Salvar Relatório"
  // chooses "Arquivo" and runs it.
  virtual void sbtExecutarClick(TComponent& sender);
};

}  // namespace ger
