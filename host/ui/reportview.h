#pragma once
// The page view of a print preview: it shows one page of a report's display list at a zoom. The
// model keeps the document, the page and the zoom; a toolkit draws the page and forwards the
// user's paging and zooming here.
#include <memory>

#include "report/document.h"
#include "ui/component.h"

namespace ger {

class TReportView : public TControl {
 public:
  using TControl::TControl;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  bool GrowsDown() const override { return true; }

  // Shows the document's first page.
  void SetDocument(std::shared_ptr<const report::Document> document);
  const std::shared_ptr<const report::Document>& Document() const { return document_; }

  int PageCount() const;
  int PageIndex() const { return page_; }  // from 0
  // Brought into the document's pages.
  void SetPageIndex(int page);

  // Percent of the page's real size (at the screen's 96 dots per inch).
  int Zoom() const { return zoom_; }
  void SetZoom(int percent);  // brought into [kMinZoom, kMaxZoom]
  void ZoomIn();              // the next larger step
  void ZoomOut();             // the next smaller step
  // The zoom at which the page's width fills the control's width (a step's precision).
  int FitWidthZoom() const;
  static constexpr int kMinZoom = 25, kMaxZoom = 400;

  // After a change of page or zoom.
  Notify OnChange;

 private:
  void PageChanged();
  std::shared_ptr<const report::Document> document_;
  int page_ = 0;
  int zoom_ = 100;
};

}  // namespace ger
