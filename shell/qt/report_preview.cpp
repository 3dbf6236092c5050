#include "report_preview.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include "convert.h"

namespace ger::qt {

namespace {

// Texts are drawn magnified this much on a painter shrunk as much: glyph advances are rounded
// to whole pixels of the font's size, which at a 7.5-pixel font makes a line a few percent wider
// than the layout measured; at 32 times the size the rounding is lost in the noise.
constexpr double kMagnify = 32;

QFont FontOf(const report::Document& document, const report::FontSpec& spec,
             const QPaintDevice& device) {
  QFont font(ToQ(document.family));
  // Sizes are in points of the page; the painter's scale takes them to the device.
  font.setPointSizeF(spec.size * kMagnify * 72.0 / device.logicalDpiY());
  font.setBold(spec.bold);
  font.setKerning(false);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

Qt::Alignment AlignmentOf(report::Align align) {
  switch (align) {
    case report::Align::Right:
      return Qt::AlignRight;
    case report::Align::Center:
      return Qt::AlignHCenter;
    case report::Align::Left:
      break;
  }
  return Qt::AlignLeft;
}

}  // namespace

double DrawnWidth(const report::Document& document, const report::TextOp& op,
                  const QPaintDevice& device) {
  const QFont font = FontOf(document, document.fonts.at(static_cast<std::size_t>(op.font)), device);
  return QFontMetricsF(font, &device).horizontalAdvance(ToQ(op.text)) / kMagnify;
}

void ScaleToPoints(QPainter& painter, double zoom) {
  const QPaintDevice* device = painter.device();
  painter.scale(zoom * device->logicalDpiX() / 72.0, zoom * device->logicalDpiY() / 72.0);
}

void PaintPage(QPainter& painter, const report::Document& document, const report::Page& page) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  std::vector<QFont> fonts;
  for (const report::FontSpec& spec : document.fonts)
    fonts.push_back(FontOf(document, spec, *painter.device()));
  for (const report::Op& op : page.ops) {
    if (const auto* t = std::get_if<report::TextOp>(&op)) {
      if (t->text.empty()) continue;
      painter.save();
      painter.setClipRect(QRectF(t->x, t->y, t->width, t->height));
      painter.translate(t->x, t->y);
      painter.scale(1 / kMagnify, 1 / kMagnify);
      painter.setFont(fonts.at(static_cast<std::size_t>(t->font)));
      painter.setPen(Qt::black);
      painter.drawText(QRectF(0, 0, t->width * kMagnify, t->height * kMagnify),
                       AlignmentOf(t->align) | Qt::AlignTop | Qt::TextSingleLine, ToQ(t->text));
      painter.restore();
    } else if (const auto* line = std::get_if<report::LineOp>(&op)) {
      painter.setPen(QPen(Qt::black, line->width));
      painter.drawLine(QPointF(line->x1, line->y1), QPointF(line->x2, line->y2));
    } else if (const auto* fill = std::get_if<report::FillOp>(&op)) {
      const int g = static_cast<int>(fill->gray * 255 + 0.5);
      painter.fillRect(QRectF(fill->x, fill->y, fill->width, fill->height), QColor(g, g, g));
    }
  }
  painter.restore();
}

bool PrintPages(const report::Document& document, QWidget* parent) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(ToQ(document.title));
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(document.Landscape() ? QPageLayout::Landscape : QPageLayout::Portrait);
  printer.setFullPage(true);  // the layout has its own margins
  const int pages = static_cast<int>(document.pages.size());
  printer.setFromTo(1, pages);
  QPrintDialog dialog(&printer, parent);
  dialog.setWindowTitle("Imprimir");
  dialog.setMinMax(1, pages);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange);
  if (dialog.exec() != QDialog::Accepted) return false;
  int from = 1, to = pages;
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    from = printer.fromPage();
    to = std::min(printer.toPage(), pages);
  }
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  ScaleToPoints(painter);
  for (int p = from; p <= to; ++p) {
    if (p > from) printer.newPage();
    PaintPage(painter, document, document.pages[static_cast<std::size_t>(p - 1)]);
  }
  return painter.end();
}

namespace {

// The page on its grey desk, at the model's zoom.
class PageWidget : public QWidget {
 public:
  PageWidget(TReportView& view, QWidget* parent) : QWidget(parent), view_(view) {
    setAutoFillBackground(false);
  }
  // The page's size in pixels at the model's zoom, with the desk around it.
  QSize Wanted() const {
    const report::Document* doc = view_.Document().get();
    if (!doc) return {0, 0};
    const double s = Scale();
    return {static_cast<int>(doc->width * s) + 2 * kDesk,
            static_cast<int>(doc->height * s) + 2 * kDesk};
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(128, 128, 128));
    const report::Document* doc = view_.Document().get();
    if (!doc || view_.PageIndex() >= view_.PageCount()) return;
    const double s = Scale();
    const QRectF paper((width() - doc->width * s) / 2, kDesk, doc->width * s, doc->height * s);
    painter.fillRect(paper.translated(3, 3), QColor(64, 64, 64));
    painter.fillRect(paper, Qt::white);
    painter.translate(paper.topLeft());
    ScaleToPoints(painter, view_.Zoom() / 100.0);
    PaintPage(painter, *doc, doc->pages[static_cast<std::size_t>(view_.PageIndex())]);
  }

 private:
  static constexpr int kDesk = 12;
  double Scale() const { return view_.Zoom() / 100.0 * logicalDpiX() / 72.0; }
  TReportView& view_;
};

class ReportViewBinding : public Binding, public QObject {
 public:
  ReportViewBinding(FormView& view, TReportView& control, QWidget* parent)
      : Binding(view, control, new QScrollArea(parent)), report_(control) {
    auto* area = static_cast<QScrollArea*>(widget_.data());
    area->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    area->setBackgroundRole(QPalette::Dark);
    area->setFocusPolicy(Qt::StrongFocus);
    page_ = new PageWidget(control, area);
    page_->setObjectName(ToQ(control.Name()) + "_pagina");
    area->setWidget(page_);
    area->installEventFilter(this);
    area->viewport()->installEventFilter(this);
  }

  void Sync() override {
    SyncCommon();
    auto* area = static_cast<QScrollArea*>(widget_.data());
    const QSize wanted = page_->Wanted();
    const QSize size(std::max(wanted.width(), area->viewport()->width()), wanted.height());
    const bool moved = shownPage_ != report_.PageIndex();
    if (page_->size() != size) page_->resize(size);
    if (moved) area->verticalScrollBar()->setValue(0);  // a new page is read from its top
    shownPage_ = report_.PageIndex();
    page_->update();
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    TReportView& v = report_;
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      const bool ctrl = key->modifiers() & Qt::ControlModifier;
      switch (key->key()) {
        case Qt::Key_PageDown:
          view_.Perform([&v] { v.SetPageIndex(v.PageIndex() + 1); });
          return true;
        case Qt::Key_PageUp:
          view_.Perform([&v] { v.SetPageIndex(v.PageIndex() - 1); });
          return true;
        case Qt::Key_Home:
          if (!ctrl) break;
          view_.Perform([&v] { v.SetPageIndex(0); });
          return true;
        case Qt::Key_End:
          if (!ctrl) break;
          view_.Perform([&v] { v.SetPageIndex(v.PageCount() - 1); });
          return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
          if (!ctrl) break;
          view_.Perform([&v] { v.ZoomIn(); });
          return true;
        case Qt::Key_Minus:
          if (!ctrl) break;
          view_.Perform([&v] { v.ZoomOut(); });
          return true;
        default:
          break;
      }
    } else if (event->type() == QEvent::Wheel) {
      auto* wheel = static_cast<QWheelEvent*>(event);
      if (wheel->modifiers() & Qt::ControlModifier) {
        const bool in = wheel->angleDelta().y() > 0;
        view_.Perform([&v, in] { in ? v.ZoomIn() : v.ZoomOut(); });
        return true;
      }
    }
    return false;
  }

 private:
  TReportView& report_;
  PageWidget* page_;
  int shownPage_ = -1;
};

}  // namespace

std::unique_ptr<Binding> MakeReportViewBinding(FormView& view, TReportView& control,
                                               QWidget* parent) {
  return std::make_unique<ReportViewBinding>(view, control, parent);
}

}  // namespace ger::qt
