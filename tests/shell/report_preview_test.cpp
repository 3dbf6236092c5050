// Report pages in the Qt shell: the display list drawn by QPainter puts ink only where the layout
// placed something, and the print preview's page view forwards paging and zooming to the model.
#include <memory>

#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QTest>
#include <QWheelEvent>

#include "forms/relatorio.h"
#include "forms/visualizarel.h"
#include "report/cairo_pages.h"
#include "report/layout.h"
#include "report/table.h"
#include "report_preview.h"
#include "shell.h"
#include "shelltest.h"

using namespace ger;

namespace {

report::Definition CompanyList() {
  return report::LoadDefinition(GER_SOURCE_DIR "/Ger00201/Ger002.json");
}

// Companies with texts long enough to wrap and to be cut.
report::Document Pages(int companies) {
  DataPacket data;
  for (const char* name :
       {"CDEMPRESA", "NMEMPRESA", "NMRAZSOCEMPR", "NRINSJUREMPR", "IDTPIJUREMPR", "NRINSCESTA",
        "NMMUNICIPIO", "SGESTADO", "NRTELEFOEMPR", "DSEMAILEMPRESA"})
    data.fields.push_back({name, FieldKind::String, 200, {}});
  for (int i = 0; i < companies; ++i)
    data.rows.push_back({std::to_string(10 + i), "Araucária Serviços e Comércio de Peças WWW",
                         "Araucária Serviços de Informática Ltda e Outras Atividades Correlatas",
                         "11222333000181", "J", "110.042.490.114", "Santa Bárbara d'Oeste", "SP",
                         "+55 (19) 3333-4444 ramal 1234", "financeiro.contabil@araucaria.com.br"});
  const report::Definition d = CompanyList();
  report::CairoFonts fonts;
  return report::Layout(d, report::BuildTable(d, data), DateTime::Now(), fonts);
}

}  // namespace

class ReportPreviewTest : public QObject {
  Q_OBJECT

 private slots:
  // Every dark pixel lies in a text box, on a line or in a grey box of the display list: a text
  // Qt measures wider than the layout did is clipped, never drawn into the next column.
  void inkStaysInsideTheLayout() {
    const report::Document doc = Pages(12);
    QVERIFY(!doc.pages.empty());
    const double scale = 2.0;  // pixels per point
    QImage image(static_cast<int>(doc.width * scale), static_cast<int>(doc.height * scale),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      painter.scale(scale, scale);
      qt::PaintPage(painter, doc, doc.pages[0]);
    }
    std::vector<QRectF> allowed;
    int texts = 0;
    for (const report::Op& op : doc.pages[0].ops) {
      if (const auto* t = std::get_if<report::TextOp>(&op)) {
        allowed.emplace_back(t->x, t->y, t->width, t->height);
        ++texts;
      } else if (const auto* l = std::get_if<report::LineOp>(&op)) {
        allowed.emplace_back(QRectF(QPointF(l->x1, l->y1), QPointF(l->x2, l->y2)).normalized());
      } else if (const auto* f = std::get_if<report::FillOp>(&op)) {
        allowed.emplace_back(f->x, f->y, f->width, f->height);
      }
    }
    QVERIFY(texts > 50);
    int ink = 0, stray = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        if (qGray(image.pixel(x, y)) > 160) continue;
        ++ink;
        const QPointF p((x + 0.5) / scale, (y + 0.5) / scale);
        bool inside = false;
        for (const QRectF& r : allowed)
          if (r.adjusted(-0.6, -0.6, 0.6, 0.6).contains(p)) {
            inside = true;
            break;
          }
        if (!inside) ++stray;
      }
    QVERIFY(ink > 1000);
    QCOMPARE(stray, 0);
    // And what the layout fitted into a box is not cut by it: Qt's width of each text is the
    // host's, within a hair.
    for (const report::Op& op : doc.pages[0].ops)
      if (const auto* t = std::get_if<report::TextOp>(&op)) {
        const double drawn = qt::DrawnWidth(doc, *t, image);
        if (drawn > t->width + 0.1)
          QFAIL(qPrintable(QString("\"%1\" is %2 points wide in a box of %3")
                               .arg(QString::fromStdString(t->text))
                               .arg(drawn)
                               .arg(t->width)));
      }
  }

  // The preview's page view: Page Down, Ctrl+End and Ctrl with the wheel act on the model, and
  // the page grows with the zoom.
  void pageViewForwardsPagingAndZoom() {
    qt::Shell shell;
    auto pages = std::make_shared<const report::Document>(Pages(150));
    QVERIFY(pages->pages.size() >= 3);
    auto job = std::make_shared<ReportJob>(CompanyList());
    auto& form = Application().CreateForm<TfrmVisualizaRel>(job, pages);
    form.Show();
    shell.Window().show();
    shell.SyncAll();
    ger::test::Settle();
    qt::FormView* view = shell.ViewOf(form);
    QVERIFY(view);
    auto* area = qobject_cast<QScrollArea*>(view->WidgetOf("rpvPagina"));
    QVERIFY(area);
    const QString last = QString::number(pages->pages.size());

    QTest::keyClick(area, Qt::Key_PageDown);
    ger::test::Settle();
    QCOMPARE(form.rpvPagina.PageIndex(), 1);
    QCOMPARE(QString::fromStdString(form.lblPagina.Caption()), "Página 2 de " + last);
    QTest::keyClick(area, Qt::Key_End, Qt::ControlModifier);
    ger::test::Settle();
    QCOMPARE(form.rpvPagina.PageIndex(), form.rpvPagina.PageCount() - 1);
    QVERIFY(!form.sbtProxima.Enabled());

    const int zoom = form.rpvPagina.Zoom();
    const int height = area->widget()->height();
    QWheelEvent wheel(QPointF(50, 50), area->mapToGlobal(QPoint(50, 50)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(area->viewport(), &wheel);
    ger::test::Settle();
    QVERIFY(form.rpvPagina.Zoom() > zoom);
    QVERIFY(area->widget()->height() > height);
    QCOMPARE(QString::fromStdString(form.lblZoom.Caption()),
             QString::number(form.rpvPagina.Zoom()) + "%");
    Application().Reset();
  }
};

QTEST_MAIN(ReportPreviewTest)
#include "report_preview_test.moc"
