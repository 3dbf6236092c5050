#pragma once
// The print preview of a report: one page at a time at a zoom, paging, zooming, printing and
// saving the same pages. Made and shown modally by ReportJob::Preview; it frees itself on closing.
#include <memory>

#include "routines/routines.h"
#include "ui/comctrls.h"
#include "ui/forms.h"
#include "ui/reportview.h"

namespace ger {

class ReportJob;

class TfrmVisualizaRel : public TForm {
 public:
  TfrmVisualizaRel(std::shared_ptr<ReportJob> job, std::shared_ptr<const report::Document> pages,
                   TComponent* owner = nullptr);

  TPanel pnlFerramentas{this, "pnlFerramentas"};
  TSpeedButton sbtPrimeira{this, "sbtPrimeira"};
  TSpeedButton sbtAnterior{this, "sbtAnterior"};
  TSpeedButton sbtProxima{this, "sbtProxima"};
  TSpeedButton sbtUltima{this, "sbtUltima"};
  TLabel lblPagina{this, "lblPagina"};
  TSpeedButton sbtReduzir{this, "sbtReduzir"};
  TSpeedButton sbtAmpliar{this, "sbtAmpliar"};
  TLabel lblZoom{this, "lblZoom"};
  TSpeedButton sbtImprimir{this, "sbtImprimir"};
  TSpeedButton sbtSalvar{this, "sbtSalvar"};
  TSpeedButton sbtFechar{this, "sbtFechar"};
  TReportView rpvPagina{this, "rpvPagina"};
  TSaveDialog svdSalvar{this, "svdSalvar"};

  ReportJob& Job() const { return *job_; }

  void FormCreate(TComponent& sender);
  void FormClose(TComponent& sender, TCloseAction& action);
  // The captions and enabled states after a change of page or zoom.
  void rpvPaginaChange(TComponent& sender);

 private:
  std::shared_ptr<ReportJob> job_;
};

}  // namespace ger
