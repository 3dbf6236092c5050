// The data grid.
#include "bindings.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>

#include "convert.h"
#include "ui/gestures.h"

namespace ger::qt {

namespace G = ui::Gestures;

namespace {

// --- Grids ------------------------------------------------------------------------------------

// Draws the current cell's drop-down arrow (a column with choices) or its button (a column with
// an edit button), and takes a click on them.
class CellDelegate : public QStyledItemDelegate {
 public:
  CellDelegate(TDBGrid& grid, std::function<void()> activate, QObject* parent)
      : QStyledItemDelegate(parent), grid_(grid), activate_(std::move(activate)) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    if (!HasButton(index)) return;
    QRect button = ButtonRect(option.rect);
    QStyleOptionButton look;
    look.rect = button;
    look.state = QStyle::State_Enabled | QStyle::State_Raised;
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_PushButtonBevel, &look, painter, option.widget);
    const TColumn* col = grid_.Column(index.column());
    if (col && !col->PickList.empty()) {
      QStyleOption arrow;
      arrow.rect = button.adjusted(3, 3, -3, -3);
      arrow.state = QStyle::State_Enabled;
      style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, option.widget);
    } else {
      painter->drawText(button, Qt::AlignCenter, QString::fromUtf8("…"));
    }
  }
  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
    if (event->type() == QEvent::MouseButtonRelease && HasButton(index)) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (ButtonRect(option.rect).contains(mouse->position().toPoint())) {
        QTimer::singleShot(0, parent(), activate_);
        return true;
      }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
  }

 private:
  bool HasButton(const QModelIndex& index) const {
    if (index.row() != grid_.Row() || index.column() != grid_.SelectedIndex()) return false;
    if (grid_.ReadOnly || !grid_.Options.Editing) return false;
    const TColumn* col = grid_.Column(index.column());
    return col && (!col->PickList.empty() || col->ButtonStyle == TColumnButtonStyle::cbsEllipsis);
  }
  static QRect ButtonRect(const QRect& cell) {
    int side = cell.height();
    return QRect(cell.right() - side + 1, cell.top(), side, side);
  }
  TDBGrid& grid_;
  std::function<void()> activate_;
};

class GridBinding : public Binding {
 public:
  GridBinding(FormView& view, TDBGrid& grid, QWidget* parent)
      : Binding(view, grid, new QTableWidget(parent)), grid_(grid) {
    auto* w = Table();
    w->setEditTriggers(QAbstractItemView::NoEditTriggers);  // the model edits the cells
    w->setSelectionMode(QAbstractItemView::SingleSelection);
    w->setTabKeyNavigation(false);
    w->verticalHeader()->setDefaultSectionSize(w->fontMetrics().height() + 6);
    w->verticalHeader()->setFixedWidth(14);
    w->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    w->horizontalHeader()->setHighlightSections(false);
    w->setItemDelegate(new CellDelegate(
        grid, [this] { Activate(); }, w));
    view.Watch(w, *this);
    view.Watch(w->viewport(), *this);
    QObject::connect(w, &QTableWidget::currentCellChanged, w, [this](int row, int col, int, int) {
      if (view_.Syncing() || row < 0 || col < 0) return;
      TDBGrid& g = grid_;
      view_.PerformLater([&g, row, col] {
        if (row != g.Row() && row < g.RowCount()) G::GridRow(g, row);
        if (col != g.SelectedIndex() && col < g.ColumnCount())
          G::GridCol(g, g.Columns()[col]->FieldName);
      });
    });
    QObject::connect(w, &QTableWidget::cellDoubleClicked, w, [this](int, int) { Activate(); });
    // A click on a column's title orders the rows by it (the model keeps the order); the arrow
    // is drawn from the model at the next sync.
    w->horizontalHeader()->setSectionsClickable(true);
    QObject::connect(w->horizontalHeader(), &QHeaderView::sectionClicked, w, [this](int col) {
      if (view_.Syncing() || col < 0 || col >= grid_.ColumnCount()) return;
      TDBGrid& g = grid_;
      const std::string field = g.Columns()[static_cast<std::size_t>(col)]->FieldName;
      view_.Perform([&g, field] { G::GridTitle(g, field); });
    });
  }
  void Sync() override {
    auto* w = Table();
    SyncGuard guard(view_);
    int columns = grid_.ColumnCount();
    // The rows are read only when the grid said they changed: a keystroke in another box does
    // not read a thousand companies again.
    if (TakeContentChange() || w->columnCount() != columns) ReadCells(columns);
    w->horizontalHeader()->setVisible(grid_.Options.Titles);
    QHeaderView* header = w->horizontalHeader();
    const bool sorted = grid_.SortColumn() >= 0;
    if (header->isSortIndicatorShown() != sorted) header->setSortIndicatorShown(sorted);
    if (sorted) {
      const Qt::SortOrder order = grid_.SortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder;
      if (header->sortIndicatorSection() != grid_.SortColumn() ||
          header->sortIndicatorOrder() != order)
        header->setSortIndicator(grid_.SortColumn(), order);
    }
    w->setSelectionBehavior(grid_.Options.RowSelect ? QAbstractItemView::SelectRows
                                                    : QAbstractItemView::SelectItems);
    int row = grid_.Row();
    if (row >= 0 && row < w->rowCount() && columns > 0) {
      int col = std::clamp(grid_.SelectedIndex(), 0, columns - 1);
      if (w->currentRow() != row || w->currentColumn() != col) w->setCurrentCell(row, col);
    }
    SyncCommon();
    // The grid's colour marks the cells the user types in; the others keep the window colour.
    QPalette palette = w->palette();
    QColor base = QApplication::palette(w).color(QPalette::Base);
    if (palette.color(QPalette::Base) != base) {
      palette.setColor(QPalette::Base, base);
      w->setPalette(palette);
    }
    w->viewport()->update();
  }
  bool Key(QKeyEvent& event) override {
    TDBGrid& g = grid_;
    if ((event.key() == Qt::Key_Down && (event.modifiers() & Qt::AltModifier)) ||
        event.key() == Qt::Key_F4) {
      Activate();
      return true;
    }
    if (auto name = KeyName(event)) {
      std::string key = *name;
      if (key == "ctrl+enter") {
        Activate();
        return true;
      }
      view_.Perform([&g, key] { G::Key(g, key); });
      return true;
    }
    if (auto typed = TypedText(event)) {
      std::string text = FromQ(*typed);
      view_.Perform([&g, text] { G::GridType(g, text); });
      return true;
    }
    return false;  // arrows move the current cell through the widget
  }

 private:
  QTableWidget* Table() const { return static_cast<QTableWidget*>(widget_.data()); }
  bool Editable(int column) const {
    if (grid_.ReadOnly || !grid_.Options.Editing) return false;
    const TColumn* col = grid_.Column(column);
    TField* f = grid_.ColumnField(column);
    return col && !col->ReadOnly && f && !f->ReadOnly();
  }
  void ReadCells(int columns) {
    auto* w = Table();
    auto cells = grid_.CellTexts();
    if (w->columnCount() != columns) w->setColumnCount(columns);
    if (w->rowCount() != static_cast<int>(cells.size()))
      w->setRowCount(static_cast<int>(cells.size()));
    std::optional<QColor> mark = ColorOf(grid_.Color());
    if (grid_.Color() == TColor::clWindow || grid_.Color() == TColor::clWhite) mark.reset();
    QFontMetrics metrics = w->fontMetrics();
    // A row changed on another seat while this one edits it: amber, with the reason as its tip.
    std::vector<bool> marked(cells.size());
    for (std::size_t r = 0; r < cells.size(); ++r) marked[r] = grid_.Marked(static_cast<int>(r));
    const QColor amber(255, 224, 150);
    // The current row's cells are drawn selected: the row's header carries the sign as well.
    for (int r = 0; r < static_cast<int>(cells.size()); ++r) {
      QTableWidgetItem* head = w->verticalHeaderItem(r);
      if (!marked[static_cast<std::size_t>(r)]) {
        delete w->takeVerticalHeaderItem(r);  // back to the header's own look
        continue;
      }
      if (!head) {
        head = new QTableWidgetItem("!");
        head->setBackground(amber);
        w->setVerticalHeaderItem(r, head);
      }
    }
    for (int c = 0; c < columns; ++c) {
      QString title = ToQ(grid_.ColumnTitle(c));
      QTableWidgetItem* header = w->horizontalHeaderItem(c);
      if (!header || header->text() != title)
        w->setHorizontalHeaderItem(c, new QTableWidgetItem(title));
      bool editable = Editable(c);
      // Never narrower than the title or the widest text: a cut value reads as another value.
      int width = metrics.horizontalAdvance(title) + 16;
      for (const auto& row : cells)
        if (c < static_cast<int>(row.size()))
          width = std::max(width, metrics.horizontalAdvance(ToQ(row[c])) + 12);
      if (const TColumn* col = grid_.Column(c)) {
        const bool hasButton =
            !col->PickList.empty() || col->ButtonStyle == TColumnButtonStyle::cbsEllipsis;
        width = std::max(
            col->Width,
            width + (hasButton && editable ? w->verticalHeader()->defaultSectionSize() : 0));
      }
      if (w->columnWidth(c) != width) w->setColumnWidth(c, width);
      for (int r = 0; r < static_cast<int>(cells.size()); ++r) {
        if (c >= static_cast<int>(cells[r].size())) continue;
        QString text = ToQ(cells[r][c]);
        QTableWidgetItem* item = w->item(r, c);
        if (!item) {
          item = new QTableWidgetItem(text);
          w->setItem(r, c, item);
        } else if (item->text() != text) {
          item->setText(text);
        }
        QBrush back = marked[static_cast<std::size_t>(r)] ? QBrush(amber)
                      : editable && mark                  ? QBrush(*mark)
                                                          : QBrush();
        if (item->background() != back) item->setBackground(back);
      }
    }
  }
  // A double click, Alt+Down or the cell's own button: the column's choices, the cell's button,
  // or the grid's own double-click handler.
  void Activate() {
    TDBGrid& g = grid_;
    const TColumn* col = g.Column(g.SelectedIndex());
    bool editable = Editable(g.SelectedIndex());
    if (col && editable && !col->PickList.empty()) {
      QMenu menu(widget_);
      menu.setObjectName(ToQ(g.Name()) + "_opcoes");
      for (const std::string& choice : col->PickList) menu.addAction(ToQ(choice));
      auto* w = Table();
      QRect cell = w->visualItemRect(w->currentItem());
      QAction* chosen = menu.exec(w->viewport()->mapToGlobal(cell.bottomLeft()));
      if (!chosen) return;
      std::string text = FromQ(chosen->text());
      view_.Perform([&g, text] { G::GridChoose(g, text); });
    } else if (col && editable && col->ButtonStyle == TColumnButtonStyle::cbsEllipsis) {
      view_.Perform([&g] { G::GridButton(g); });
    } else {
      view_.Perform([&g] { G::DblClick(g); });
    }
  }
  TDBGrid& grid_;
};

}  // namespace

std::unique_ptr<Binding> MakeGridBinding(FormView& view, TDBGrid& grid, QWidget* parent) {
  return std::make_unique<GridBinding>(view, grid, parent);
}

}  // namespace ger::qt
