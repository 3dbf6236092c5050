#pragma once
// Report pages with Qt: the display list of a report page drawn by QPainter, for the print
// preview's page view and for the printer, and the binding of the page view (TReportView).
//
// The layout was made with the host's font metrics; each text is aligned inside its box with
// Qt's own metrics and clipped to the box, so a font that measures a hair wider here never
// overprints the next column.
#include <memory>

#include "renderer.h"
#include "report/document.h"
#include "ui/reportview.h"

class QPaintDevice;
class QPainter;
class QWidget;

namespace ger::qt {

// Draws the page with the painter's coordinates in points from the page's top left corner; the
// caller scales the painter to its device.
void PaintPage(QPainter& painter, const report::Document& document, const report::Page& page);

// The width in points that PaintPage gives the op's text on the device: the layout's own
// measure, within rounding, so no text it laid out is cut by its box.
double DrawnWidth(const report::Document& document, const report::TextOp& op,
                  const QPaintDevice& device);

// Sets the painter's scale so one unit is one point on its device, at `zoom` (1 = real size).
void ScaleToPoints(QPainter& painter, double zoom = 1.0);

// The system's print dialog (page range, copies, printer), then the chosen pages; false when the
// user cancelled.
bool PrintPages(const report::Document& document, QWidget* parent);

// The binding of the print preview's page view: the page on a grey desk in a scroll area.
// Page Up/Page Down, Home/End and Ctrl with the wheel or +/- page and zoom through the model.
std::unique_ptr<Binding> MakeReportViewBinding(FormView& view, TReportView& control,
                                               QWidget* parent);

}  // namespace ger::qt
