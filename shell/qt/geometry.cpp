#include "geometry.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionGroupBox>
#include <QTableWidget>
#include <QToolButton>

#include "convert.h"
#include "renderer.h"

namespace ger::qt {

namespace {

std::string Describe(const QRect& r) {
  return "(" + std::to_string(r.x()) + "," + std::to_string(r.y()) + " " +
         std::to_string(r.width()) + "x" + std::to_string(r.height()) + ")";
}

std::string NameOf(const QWidget* w) {
  return w->objectName().isEmpty() ? std::string(w->metaObject()->className())
                                   : FromQ(w->objectName());
}

// Where a group box draws its caption, in its own coordinates; empty when it has none.
QRect CaptionRect(const QGroupBox& box) {
  if (box.title().isEmpty()) return {};
  QStyleOptionGroupBox option;
  option.initFrom(&box);
  option.text = box.title();
  option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
  option.lineWidth = 1;
  option.textAlignment = box.alignment();
  return box.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &box);
}

// The width a text needs in the widget's font, "&" markers left out.
int TextWidth(const QWidget& w, const QString& text) {
  QString plain = text;
  plain.remove(QRegularExpression("&(?!&)"));
  return w.fontMetrics().horizontalAdvance(plain);
}

class Checker {
 public:
  explicit Checker(const FormView& view) : view_(view) {}

  void Walk(const TControl& parent) {
    std::vector<QWidget*> shown;
    for (const TControl* c : parent.Controls()) {
      QWidget* w = view_.WidgetOf(*c);
      if (!w || !w->isVisible()) continue;
      // A page's widget is placed by its page control; only what is on it is the screen's.
      if (!dynamic_cast<const TTabSheet*>(c)) {
        Inside(*c, *w, parent);
        Own(*w);
        shown.push_back(w);
      }
      Walk(*c);
    }
    for (std::size_t i = 0; i < shown.size(); ++i)
      for (std::size_t j = i + 1; j < shown.size(); ++j)
        if (shown[i]->geometry().intersects(shown[j]->geometry()))
          Add("'" + NameOf(shown[i]) + "' " + Describe(shown[i]->geometry()) + " overlaps '" +
              NameOf(shown[j]) + "' " + Describe(shown[j]->geometry()));
    // A group's caption must be readable: nothing of the group's own lies on it.
    if (QWidget* holder = view_.WidgetOf(parent))
      if (auto* box = qobject_cast<QGroupBox*>(holder))
        if (QRect caption = CaptionRect(*box); !caption.isEmpty())
          for (QWidget* w : shown)
            if (w->geometry().intersects(caption))
              Add("'" + NameOf(w) + "' " + Describe(w->geometry()) + " lies on the caption of '" +
                  NameOf(box) + "' " + Describe(caption));
  }

  std::vector<LayoutProblem> problems;

 private:
  void Add(std::string text) { problems.push_back({std::move(text)}); }

  // The control lies within its container (a page, a group, a panel, the form).
  void Inside(const TControl& c, QWidget& w, const TControl& parent) {
    QWidget* container = w.parentWidget();
    if (!container) return;
    QRect room = container->rect();
    if (!room.contains(w.geometry()))
      Add("'" + FromQ(w.objectName()) + "' " + Describe(w.geometry()) + " is cut by '" +
          (parent.Name().empty() ? NameOf(container) : parent.Name()) + "' " + Describe(room));
    (void)c;
  }

  // What the control draws of its own fits it: captions, texts, entries, columns.
  void Own(QWidget& w) {
    const std::string name = NameOf(&w);
    if (auto* label = qobject_cast<QLabel*>(&w); label && label->pixmap().isNull()) {
      if (TextWidth(w, label->text()) > w.width())
        Add("the caption of '" + name + "' is cut (" + FromQ(label->text()) + ")");
    } else if (auto* box = qobject_cast<QCheckBox*>(&w)) {
      if (box->sizeHint().width() > w.width() || box->sizeHint().height() > w.height() + 2)
        Add("the caption of '" + name + "' is cut (" + FromQ(box->text()) + ")");
    } else if (auto* tool = qobject_cast<QToolButton*>(&w)) {
      bool texted = tool->toolButtonStyle() != Qt::ToolButtonIconOnly && !tool->text().isEmpty();
      if (texted && tool->toolButtonStyle() == Qt::ToolButtonTextOnly &&
          TextWidth(w, tool->text()) + 4 > w.width())
        Add("the text of '" + name + "' is cut (" + FromQ(tool->text()) + ")");
      if (texted && tool->sizeHint().width() > w.width() + 2)
        Add("the text of '" + name + "' is cut (" + FromQ(tool->text()) + ")");
      if (tool->sizeHint().height() > w.height() + 6)
        Add("'" + name + "' is too low for its picture and text");
    } else if (auto* combo = qobject_cast<QComboBox*>(&w)) {
      if (combo->minimumSizeHint().height() > w.height() + 2)
        Add("'" + name + "' is too low for its text");
    } else if (auto* line = qobject_cast<QLineEdit*>(&w)) {
      if (line->minimumSizeHint().height() > w.height() + 2)
        Add("'" + name + "' is too low for its text");
    } else if (auto* group = qobject_cast<QGroupBox*>(&w)) {
      // The entries of a radio group are drawn by the group itself.
      for (auto* radio : group->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
        if (!radio->isVisible()) continue;
        if (!group->rect().contains(radio->geometry()))
          Add("'" + NameOf(radio) + "' " + Describe(radio->geometry()) + " is cut by '" + name +
              "' " + Describe(group->rect()));
        if (radio->sizeHint().width() > radio->width())
          Add("the caption of '" + NameOf(radio) + "' is cut (" + FromQ(radio->text()) + ")");
        if (QRect caption = CaptionRect(*group);
            !caption.isEmpty() && radio->geometry().intersects(caption))
          Add("'" + NameOf(radio) + "' lies on the caption of '" + name + "'");
      }
    } else if (auto* table = qobject_cast<QTableWidget*>(&w)) {
      for (int c = 0; c < table->columnCount(); ++c) {
        int width = table->columnWidth(c);
        if (auto* header = table->horizontalHeaderItem(c);
            header && table->horizontalHeader()->isVisible() &&
            TextWidth(*table, header->text()) + 8 > width)
          Add("the title of column " + std::to_string(c) + " of '" + name + "' is cut");
        for (int r = 0; r < table->rowCount(); ++r)
          if (auto* item = table->item(r, c); item && TextWidth(*table, item->text()) + 6 > width) {
            Add("column " + std::to_string(c) + " of '" + name + "' cuts \"" + FromQ(item->text()) +
                "\"");
            break;
          }
      }
    }
  }

  const FormView& view_;
};

}  // namespace

std::vector<LayoutProblem> CheckLayout(const FormView& view) {
  Checker checker(view);
  checker.Walk(view.Form());
  return std::move(checker.problems);
}

}  // namespace ger::qt
