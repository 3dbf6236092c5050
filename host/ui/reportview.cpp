#include "ui/reportview.h"

#include <algorithm>
#include <array>

namespace ger {

const ComponentClass TReportView::ClassInfo{"TReportView", &TControl::ClassInfo};
const ComponentClass& TReportView::Class() const {
  return ClassInfo;
}

namespace {
constexpr std::array<int, 9> kSteps = {25, 50, 75, 100, 125, 150, 200, 300, 400};
constexpr double kPixelsPerPoint = 96.0 / 72.0;
}  // namespace

void TReportView::SetDocument(std::shared_ptr<const report::Document> document) {
  document_ = std::move(document);
  page_ = 0;
  PageChanged();
}

int TReportView::PageCount() const {
  return document_ ? static_cast<int>(document_->pages.size()) : 0;
}

void TReportView::SetPageIndex(int page) {
  page = std::clamp(page, 0, std::max(0, PageCount() - 1));
  if (page == page_) return;
  page_ = page;
  PageChanged();
}

void TReportView::SetZoom(int percent) {
  percent = std::clamp(percent, kMinZoom, kMaxZoom);
  if (percent == zoom_) return;
  zoom_ = percent;
  PageChanged();
}

void TReportView::ZoomIn() {
  auto next = std::upper_bound(kSteps.begin(), kSteps.end(), zoom_);
  SetZoom(next == kSteps.end() ? kMaxZoom : *next);
}

void TReportView::ZoomOut() {
  auto next = std::lower_bound(kSteps.begin(), kSteps.end(), zoom_);
  SetZoom(next == kSteps.begin() ? kMinZoom : *std::prev(next));
}

int TReportView::FitWidthZoom() const {
  if (!document_ || document_->width <= 0 || Width() <= 0) return 100;
  // Room for the page's shadow and a vertical scroll bar.
  const double room = Width() - 40;
  const int percent = static_cast<int>(room * 100 / (document_->width * kPixelsPerPoint));
  return std::clamp(percent / 5 * 5, kMinZoom, kMaxZoom);
}

void TReportView::PageChanged() {
  Changed(ViewAspect::Content);
  if (OnChange) OnChange(*this);
}

}  // namespace ger
