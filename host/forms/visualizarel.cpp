#include "forms/visualizarel.h"

#include "forms/relatorio.h"
#include "report/layout.h"
#include "report/messages.h"

namespace ger {

TfrmVisualizaRel::TfrmVisualizaRel(std::shared_ptr<ReportJob> job,
                                   std::shared_ptr<const report::Document> pages, TComponent* owner)
    : TForm("frmVisualizaRel", owner), job_(std::move(job)) {
  SetCaption(report::ReportMsg("Rel_Visualizacao", {job_->Definition().title}));
  SetBounds(0, 0, 980, 680);
  pnlFerramentas.SetParent(this);
  pnlFerramentas.SetBounds(0, 0, 980, 36);
  struct Tool {
    TSpeedButton& button;
    const char* caption;
    const char* hint;
    int width;
  };
  int x = 4;
  TPanel* panel = &pnlFerramentas;
  auto place = [&x, panel](TControl& c, int width) {
    c.SetParent(panel);
    c.SetBounds(x, 4, width, 28);
    x += width + 4;
  };
  for (const Tool& t :
       {Tool{sbtPrimeira, "|<", "Primeira página", 36},
        Tool{sbtAnterior, "<", "Página anterior", 36}, Tool{sbtProxima, ">", "Próxima página", 36},
        Tool{sbtUltima, ">|", "Última página", 36}}) {
    t.button.SetCaption(t.caption);
    t.button.SetHint(t.hint);
    place(t.button, t.width);
  }
  place(lblPagina, 130);
  for (const Tool& t :
       {Tool{sbtReduzir, "-", "Reduzir", 36}, Tool{sbtAmpliar, "+", "Ampliar", 36}}) {
    t.button.SetCaption(t.caption);
    t.button.SetHint(t.hint);
    place(t.button, t.width);
  }
  place(lblZoom, 50);
  for (const Tool& t : {Tool{sbtImprimir, "&Imprimir", "Imprimir", 80},
                        Tool{sbtSalvar, "&Salvar", "Salvar em arquivo (PDF ou CSV)", 80},
                        Tool{sbtFechar, "&Fechar", "Fechar a visualização", 80}}) {
    t.button.SetCaption(t.caption);
    t.button.SetHint(t.hint);
    place(t.button, t.width);
  }
  rpvPagina.SetParent(this);
  rpvPagina.SetBounds(0, 36, 980, 644);
  rpvPagina.SetDocument(std::move(pages));
  svdSalvar.Title = "Salvar relatório";

  OnCreate = [this](TComponent& s) { FormCreate(s); };
  OnClose = [this](TComponent& s, TCloseAction& a) { FormClose(s, a); };
  rpvPagina.OnChange = [this](TComponent& s) { rpvPaginaChange(s); };
  sbtPrimeira.OnClick = [this](TComponent&) { rpvPagina.SetPageIndex(0); };
  sbtAnterior.OnClick = [this](TComponent&) { rpvPagina.SetPageIndex(rpvPagina.PageIndex() - 1); };
  sbtProxima.OnClick = [this](TComponent&) { rpvPagina.SetPageIndex(rpvPagina.PageIndex() + 1); };
  sbtUltima.OnClick = [this](TComponent&) { rpvPagina.SetPageIndex(rpvPagina.PageCount() - 1); };
  sbtReduzir.OnClick = [this](TComponent&) { rpvPagina.ZoomOut(); };
  sbtAmpliar.OnClick = [this](TComponent&) { rpvPagina.ZoomIn(); };
  sbtImprimir.OnClick = [this](TComponent&) { job_->Print(); };
  sbtSalvar.OnClick = [this](TComponent&) { job_->SaveAs(svdSalvar); };
  sbtFechar.OnClick = [this](TComponent&) { Close(); };
}

void TfrmVisualizaRel::FormCreate(TComponent&) {
  rpvPagina.SetZoom(rpvPagina.FitWidthZoom());
  rpvPaginaChange(rpvPagina);
}

void TfrmVisualizaRel::FormClose(TComponent&, TCloseAction& action) {
  action = TCloseAction::caFree;
}

void TfrmVisualizaRel::rpvPaginaChange(TComponent&) {
  const int page = rpvPagina.PageIndex(), pages = rpvPagina.PageCount();
  lblPagina.SetCaption(report::PageText(page + 1, pages));
  lblZoom.SetCaption(std::to_string(rpvPagina.Zoom()) + "%");
  sbtPrimeira.SetEnabled(page > 0);
  sbtAnterior.SetEnabled(page > 0);
  sbtProxima.SetEnabled(page + 1 < pages);
  sbtUltima.SetEnabled(page + 1 < pages);
  sbtReduzir.SetEnabled(rpvPagina.Zoom() > TReportView::kMinZoom);
  sbtAmpliar.SetEnabled(rpvPagina.Zoom() < TReportView::kMaxZoom);
}

}  // namespace ger
