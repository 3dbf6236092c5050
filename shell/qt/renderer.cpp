#include "renderer.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include "convert.h"
#include "report_preview.h"
#include "ui/dbctrls.h"
#include "ui/gestures.h"

namespace ger::qt {

namespace G = ui::Gestures;

// --- Binding ----------------------------------------------------------------------------------

Binding::Binding(FormView& view, TControl& control, QWidget* widget)
    : view_(view), control_(control), widget_(widget) {
  widget_->setObjectName(ToQ(control.Name()));
}

namespace {
// The model's size of the control's container, and its widget: for a page, its page control.
std::pair<const TControl*, QWidget*> SizingParent(const TControl& c, const FormView& view) {
  const TControl* p = c.Parent();
  if (p && p->Kind() == ControlKind::TabSheet) {
    auto* sheet = static_cast<const TTabSheet*>(p);
    p = sheet->PageControl();
  }
  if (!p) return {nullptr, nullptr};
  if (p == &view.Form()) return {p, const_cast<FormView*>(&view)};
  return {p, view.WidgetOf(*p)};
}

// Kinds that grow downwards with their window; boxes of one line keep their height.
bool GrowsDown(ControlKind kind) {
  switch (kind) {
    case ControlKind::DBGrid:
    case ControlKind::PageControl:
    case ControlKind::Memo:
    case ControlKind::DBMemo:
    case ControlKind::ReportView:
      return true;
    default:
      return false;
  }
}
}  // namespace

void Binding::SyncCommon() {
  if (!widget_) return;
  const TControl& c = control_;
  if (c.Width() > 0 && c.Height() > 0) {
    // A control that reaches its container's right or bottom edge follows the edge when the
    // window is larger than the screen was drawn for, so pages use the room they are given.
    int width = c.Width(), height = c.Height();
    auto [parent, parentWidget] = SizingParent(c, view_);
    if (parent && parentWidget && parent->Width() > 0 && parent->Height() > 0) {
      int slack = 12, slackDown = 40;
      int pw = parent == c.Parent() ? parent->Width() : parent->Width() - 8;
      int ph = parent == c.Parent() ? parent->Height() : parent->Height() - 30;
      int extraW = parentWidget->width() - parent->Width();
      int extraH = parentWidget->height() - parent->Height();
      if (extraW > 0 && c.Left() + c.Width() >= pw - slack) width += extraW;
      if (extraH > 0 && GrowsDown(c.Kind()) && c.Top() + c.Height() >= ph - slackDown)
        height += extraH;
    }
    widget_->setGeometry(c.Left(), c.Top(), width, height);
  } else {
    widget_->move(c.Left(), c.Top());
    widget_->adjustSize();
  }
  widget_->setEnabled(c.Enabled());
  widget_->setVisible(c.Visible());
  QString hint = ToQ(c.Hint());
  if (widget_->toolTip() != hint) {
    widget_->setToolTip(hint);
    widget_->setStatusTip(hint);
  }
  QPalette palette = widget_->palette();
  QPalette normal = QApplication::palette(widget_);
  QColor base = ColorOf(c.Color()).value_or(normal.color(QPalette::Base));
  if (palette.color(QPalette::Base) != base) {
    palette.setColor(QPalette::Base, base);
    widget_->setPalette(palette);
  }
}

void Binding::Sync() {
  SyncCommon();
}

bool Binding::Key(QKeyEvent& event) {
  // A control without text: only the keys the model acts on travel (Tab moves the focus through
  // the model's exit handling).
  auto name = KeyName(event);
  if (!name || !control_.TakesFocus()) return false;
  TControl& c = control_;
  std::string key = *name;
  view_.Perform([&c, key] { G::Key(c, key); });
  return true;
}

void Binding::Text(const QString&) {}

namespace {

// The edit-like controls: every typed character, editing key and paste goes through the model.
template <class W>
bool EditKey(Binding& b, FormView& view, QKeyEvent& event, W* widget,
             const std::function<QString()>& widgetText, const std::function<int()>& caret,
             const std::function<int()>& selLength) {
  auto* edit = dynamic_cast<TCustomEdit*>(&b.Control());
  if (!edit) return false;
  // Where the user put the caret with the mouse or the arrows is where typing goes.
  auto placeCaret = [edit, widgetText, caret, selLength] {
    QString text = widgetText();
    int start = CharacterIndex(text, caret());
    int end = CharacterIndex(text, caret() + selLength());
    edit->SetSelStart(start);
    edit->SetSelLength(end - start);
  };
  TControl& c = *edit;
  if (event.matches(QKeySequence::Paste) || event.matches(QKeySequence::Cut)) {
    QString text = widgetText();
    int from = caret(), length = selLength();
    QString insert = event.matches(QKeySequence::Paste) ? QApplication::clipboard()->text() : "";
    if (event.matches(QKeySequence::Cut))
      QApplication::clipboard()->setText(text.mid(from, length));
    std::string result = FromQ(text.left(from) + insert + text.mid(from + length));
    view.Perform([&c, result] { G::Paste(c, result); });
    return true;
  }
  if (event.matches(QKeySequence::SelectAll) || event.matches(QKeySequence::Copy)) return false;
  if (auto name = KeyName(event)) {
    std::string key = *name;
    view.Perform([&c, key, placeCaret] {
      if (key != "tab" && key != "shift+tab" && c.Focused()) placeCaret();
      G::Key(c, key);
    });
    return true;
  }
  if (auto typed = TypedText(event)) {
    std::string text = FromQ(*typed);
    view.Perform([&c, text, placeCaret] {
      if (c.Focused()) placeCaret();
      G::Type(c, text);
    });
    return true;
  }
  (void)widget;
  return false;  // arrows, Home, End and the like move the widget's caret only
}

class LabelBinding : public Binding {
 public:
  LabelBinding(FormView& view, TLabel& label, QWidget* parent)
      : Binding(view, label, new QLabel(parent)), label_(label) {}
  void Sync() override {
    auto* w = static_cast<QLabel*>(widget_.data());
    QString caption = ToQ(label_.Caption());
    QWidget* buddy = label_.FocusControl ? view_.WidgetOf(*label_.FocusControl) : nullptr;
    if (buddy) {
      w->setBuddy(buddy);  // Alt plus the letter focuses the box, as the platform's labels do
      if (w->text() != caption) w->setText(caption);
    } else if (w->text() != PlainCaption(label_.Caption())) {
      w->setText(PlainCaption(label_.Caption()));
    }
    SyncCommon();
    w->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A caption wider than the room the screen gave it is shown whole, not cut.
    if (int wanted = w->sizeHint().width(); w->width() < wanted) w->resize(wanted, w->height());
  }

 private:
  TLabel& label_;
};

class EditBinding : public Binding {
 public:
  EditBinding(FormView& view, TCustomEdit& edit, QWidget* parent)
      : Binding(view, edit, new QLineEdit(parent)), edit_(edit) {
    view.Watch(widget_, *this);
  }
  void Sync() override {
    auto* w = static_cast<QLineEdit*>(widget_.data());
    QString text = ToQ(edit_.Text());
    if (w->text() != text) w->setText(text);
    w->setReadOnly(edit_.ReadOnly());
    // A control whose menu has no items offers no cut, copy or paste on a right click either.
    const bool noMenu = edit_.PopupMenu && edit_.PopupMenu->Items().empty();
    w->setContextMenuPolicy(noMenu ? Qt::NoContextMenu : Qt::DefaultContextMenu);
    if (edit_.Focused()) {
      int start = Utf16Offset(text, edit_.SelStart());
      int end = Utf16Offset(text, edit_.SelStart() + edit_.SelLength());
      if (end > start)
        w->setSelection(start, end - start);
      else if (w->cursorPosition() != start || w->hasSelectedText())
        w->setCursorPosition(start);
    }
    SyncCommon();
  }
  bool Key(QKeyEvent& event) override {
    auto* w = static_cast<QLineEdit*>(widget_.data());
    return EditKey(
        *this, view_, event, w, [w] { return w->text(); },
        [w] { return w->hasSelectedText() ? w->selectionStart() : w->cursorPosition(); },
        [w] { return w->hasSelectedText() ? static_cast<int>(w->selectedText().size()) : 0; });
  }
  void Text(const QString& text) override {
    TControl& c = control_;
    std::string typed = FromQ(text);
    view_.Perform([&c, typed] { G::Type(c, typed); });
  }

 private:
  TCustomEdit& edit_;
};

class MemoBinding : public Binding {
 public:
  MemoBinding(FormView& view, TCustomEdit& memo, QWidget* parent)
      : Binding(view, memo, new QPlainTextEdit(parent)), memo_(memo) {
    auto* w = static_cast<QPlainTextEdit*>(widget_.data());
    w->setTabChangesFocus(true);
    view.Watch(w, *this);
    view.Watch(w->viewport(), *this);
  }
  void Sync() override {
    auto* w = static_cast<QPlainTextEdit*>(widget_.data());
    // The model keeps line breaks as the platform does ("\r\n"); the widget wants "\n".
    QString text = ToQ(memo_.Text()).replace("\r\n", "\n");
    if (w->toPlainText() != text) w->setPlainText(text);
    w->setReadOnly(memo_.ReadOnly());
    SyncCommon();
  }
  bool Key(QKeyEvent& event) override {
    auto* w = static_cast<QPlainTextEdit*>(widget_.data());
    auto caret = [w] { return w->textCursor().selectionStart(); };
    auto length = [w] { return w->textCursor().selectionEnd() - w->textCursor().selectionStart(); };
    auto text = [w] { return w->toPlainText(); };
    return EditKey(*this, view_, event, w, text, caret, length);
  }
  void Text(const QString& text) override {
    TControl& c = control_;
    std::string typed = FromQ(text);
    view_.Perform([&c, typed] { G::Type(c, typed); });
  }

 private:
  TCustomEdit& memo_;
};

class ComboBinding : public Binding {
 public:
  ComboBinding(FormView& view, TComboBox& combo, QWidget* parent)
      : Binding(view, combo, new QComboBox(parent)), combo_(combo) {
    auto* w = static_cast<QComboBox*>(widget_.data());
    w->setMaxVisibleItems(14);
    view.Watch(w, *this);
    QObject::connect(w, &QComboBox::activated, w, [this](int index) {
      if (view_.Syncing()) return;
      TControl& c = control_;
      view_.Perform([&c, index] { G::Select(c, index); });
    });
  }
  void Sync() override {
    auto* w = static_cast<QComboBox*>(widget_.data());
    SyncGuard guard(view_);
    bool editable = combo_.Style() == TComboBoxStyle::csDropDown;
    if (w->isEditable() != editable) {
      w->setEditable(editable);
      if (editable) view_.Watch(w->lineEdit(), *this);
    }
    QStringList items;
    for (const std::string& i : combo_.Items()) items << ToQ(i);
    QStringList shown;
    for (int i = 0; i < w->count(); ++i) shown << w->itemText(i);
    if (shown != items) {
      w->clear();
      w->addItems(items);
    }
    if (w->currentIndex() != combo_.ItemIndex()) w->setCurrentIndex(combo_.ItemIndex());
    if (editable && w->lineEdit()->text() != ToQ(combo_.Text()))
      w->lineEdit()->setText(ToQ(combo_.Text()));
    SyncCommon();
  }
  bool Key(QKeyEvent& event) override {
    auto* w = static_cast<QComboBox*>(widget_.data());
    if (w->isEditable()) {
      QLineEdit* line = w->lineEdit();
      return EditKey(
          *this, view_, event, line, [line] { return line->text(); },
          [line] {
            return line->hasSelectedText() ? line->selectionStart() : line->cursorPosition();
          },
          [line] {
            return line->hasSelectedText() ? static_cast<int>(line->selectedText().size()) : 0;
          });
    }
    auto name = KeyName(event);
    if (!name) return false;  // the arrows choose through the widget, which reports `activated`
    std::string key = *name;
    TControl& c = control_;
    view_.Perform([&c, key] { G::Key(c, key); });
    return true;
  }
  QWidget* FocusWidget() const override { return widget_; }

 private:
  TComboBox& combo_;
};

class CheckBinding : public Binding {
 public:
  CheckBinding(FormView& view, TCheckBox& box, QWidget* parent)
      : Binding(view, box, new QCheckBox(parent)), box_(box) {
    auto* w = static_cast<QCheckBox*>(widget_.data());
    view.Watch(w, *this);
    QObject::connect(w, &QCheckBox::clicked, w, [this] {
      if (view_.Syncing()) return;
      TControl& c = control_;
      bool on = box_.State() != TCheckBoxState::cbChecked;
      view_.Perform([&c, on] { G::Check(c, on); });
    });
  }
  void Sync() override {
    auto* w = static_cast<QCheckBox*>(widget_.data());
    SyncGuard guard(view_);
    if (w->text() != ToQ(box_.Caption())) w->setText(ToQ(box_.Caption()));
    w->setTristate(box_.State() == TCheckBoxState::cbGrayed);
    Qt::CheckState state = box_.State() == TCheckBoxState::cbChecked  ? Qt::Checked
                           : box_.State() == TCheckBoxState::cbGrayed ? Qt::PartiallyChecked
                                                                      : Qt::Unchecked;
    if (w->checkState() != state) w->setCheckState(state);
    SyncCommon();
  }

 private:
  TCheckBox& box_;
};

class RadioBinding : public Binding {
 public:
  RadioBinding(FormView& view, TRadioGroup& group, QWidget* parent)
      : Binding(view, group, new QGroupBox(parent)), group_(group) {
    buttons_ = new QButtonGroup(widget_);
    buttons_->setExclusive(false);
    QObject::connect(buttons_, &QButtonGroup::idClicked, widget_, [this](int id) {
      if (view_.Syncing()) return;
      TControl& c = control_;
      view_.Perform([&c, id] { G::Select(c, id); });
    });
  }
  QWidget* FocusWidget() const override {
    int i = group_.ItemIndex();
    auto list = buttons_->buttons();
    if (i >= 0 && i < list.size()) return list[i];
    return list.isEmpty() ? widget_.data() : list.front();
  }
  void Sync() override {
    auto* w = static_cast<QGroupBox*>(widget_.data());
    SyncGuard guard(view_);
    w->setTitle(PlainCaption(group_.Caption()));
    QStringList items;
    for (const std::string& i : group_.Items()) items << ToQ(i);
    if (items != shown_ || columns_ != group_.Columns) Rebuild(items);
    for (QAbstractButton* b : buttons_->buttons())
      b->setChecked(buttons_->id(b) == group_.ItemIndex());
    SyncCommon();
  }

 private:
  void Rebuild(const QStringList& items) {
    for (QAbstractButton* b : buttons_->buttons()) {
      buttons_->removeButton(b);
      delete b;
    }
    delete widget_->layout();
    auto* grid = new QGridLayout(widget_);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setVerticalSpacing(2);
    int columns = std::max(1, group_.Columns);
    int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
      auto* radio = new QRadioButton(items[i], widget_);
      radio->setObjectName(ToQ(group_.Name()) + "_" + QString::number(i));
      buttons_->addButton(radio, i);
      view_.Watch(radio, *this);
      grid->addWidget(radio, rows ? i % rows : i, rows ? i / rows : 0);
    }
    shown_ = items;
    columns_ = group_.Columns;
  }
  TRadioGroup& group_;
  QButtonGroup* buttons_;
  QStringList shown_;
  int columns_ = -1;
};

class GroupBinding : public Binding {
 public:
  GroupBinding(FormView& view, TControl& control, QWidget* parent)
      : Binding(view, control, new QGroupBox(parent)) {}
  void Sync() override {
    static_cast<QGroupBox*>(widget_.data())->setTitle(PlainCaption(control_.Caption()));
    SyncCommon();
  }
};

class PanelBinding : public Binding {
 public:
  PanelBinding(FormView& view, TControl& control, QWidget* parent)
      : Binding(view, control, new QFrame(parent)) {
    auto* frame = static_cast<QFrame*>(widget_.data());
    frame->setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
    caption_ = new QLabel(frame);
    caption_->setAlignment(Qt::AlignCenter);
  }
  void Sync() override {
    caption_->setText(PlainCaption(control_.Caption()));
    caption_->setGeometry(0, 0, control_.Width(), control_.Height());
    caption_->lower();
    SyncCommon();
  }

 private:
  QLabel* caption_;
};

class PageBinding : public Binding {
 public:
  PageBinding(FormView& view, TPageControl& pages, QWidget* parent)
      : Binding(view, pages, new QTabWidget(parent)), pages_(pages) {
    auto* w = static_cast<QTabWidget*>(widget_.data());
    w->setUsesScrollButtons(true);
    // Screens with many pages: tighter tabs keep every caption in view at 1024 pixels.
    w->tabBar()->setStyleSheet(
        "QTabBar::tab { padding: 4px 6px; border: 1px solid palette(mid); border-bottom: none;"
        " background: palette(button); margin-right: 1px; }"
        " QTabBar::tab:selected { background: palette(base); }");
    // Every change of the tab bar, by mouse or keyboard, is the user clicking that tab; the
    // model decides, and the next read puts the model's page back when it refused.
    QObject::connect(w, &QTabWidget::currentChanged, w, [this](int index) {
      if (view_.Syncing() || index < 0 || index >= pages_.PageCount()) return;
      TTabSheet* page = pages_.Pages()[index];
      if (page == pages_.ActivePage()) return;
      view_.PerformLater([page] { G::Page(*page); });
    });
  }
  void Sync() override {
    auto* w = static_cast<QTabWidget*>(widget_.data());
    SyncGuard guard(view_);
    int index = pages_.ActivePageIndex();
    if (index >= 0 && index < w->count() && w->currentIndex() != index) w->setCurrentIndex(index);
    SyncCommon();
  }

 private:
  TPageControl& pages_;
};

class SheetBinding : public Binding {
 public:
  SheetBinding(FormView& view, TTabSheet& sheet, QTabWidget* tabs)
      : Binding(view, sheet, new QWidget(tabs)), sheet_(sheet), tabs_(tabs) {
    SyncGuard guard(view);
    tabs->addTab(widget_, ToQ(sheet.Caption()));
  }
  void Sync() override {
    int index = tabs_->indexOf(widget_);
    if (index < 0) return;
    SyncGuard guard(view_);
    if (tabs_->tabText(index) != ToQ(sheet_.Caption()))
      tabs_->setTabText(index, ToQ(sheet_.Caption()));
    tabs_->setTabVisible(index, sheet_.TabVisible());
    tabs_->setTabEnabled(index, sheet_.Enabled());
    tabs_->setTabToolTip(index, ToQ(sheet_.Hint()));
  }

 private:
  TTabSheet& sheet_;
  QPointer<QTabWidget> tabs_;
};

class ButtonBinding : public Binding {
 public:
  ButtonBinding(FormView& view, TButton& button, QWidget* parent)
      : Binding(view, button, new QPushButton(parent)) {
    auto* w = static_cast<QPushButton*>(widget_.data());
    w->setAutoDefault(false);
    view.Watch(w, *this);
    QObject::connect(w, &QPushButton::clicked, w, [this] {
      TControl& c = control_;
      view_.Perform([&c] { G::Click(c); });
    });
  }
  void Sync() override {
    auto* w = static_cast<QPushButton*>(widget_.data());
    if (w->text() != ToQ(control_.Caption())) w->setText(ToQ(control_.Caption()));
    SyncCommon();
  }
  bool Key(QKeyEvent& event) override {
    // Enter on a focused button presses it, as Space does.
    if (KeyName(event) == std::optional<std::string>("enter")) {
      TControl& c = control_;
      view_.Perform([&c] { G::Click(c); });
      return true;
    }
    return Binding::Key(event);
  }
};

class ToolBinding : public Binding {
 public:
  ToolBinding(FormView& view, TSpeedButton& button, QWidget* parent)
      : Binding(view, button, new QToolButton(parent)), button_(button) {
    auto* w = static_cast<QToolButton*>(widget_.data());
    w->setFocusPolicy(Qt::NoFocus);  // tool buttons never take the focus
    QObject::connect(w, &QToolButton::clicked, w, [this] {
      TControl& c = control_;
      view_.Perform([&c] { G::Click(c); });
    });
  }
  void Sync() override {
    auto* w = static_cast<QToolButton*>(widget_.data());
    QString text = PlainCaption(button_.Caption());
    if (text.isEmpty() && button_.Kind() == ControlKind::BtnPesquisa) text = "…";
    if (text.isEmpty()) text = ToQ(button_.Hint());
    if (w->text() != text) w->setText(text);
    w->setAutoRaise(button_.Flat && button_.Kind() != ControlKind::BtnPesquisa);
    w->setCheckable(button_.GroupIndex != 0);
    w->setChecked(button_.Down);
    SyncCommon();
  }

 private:
  TSpeedButton& button_;
};

class ImageBinding : public Binding {
 public:
  ImageBinding(FormView& view, TImage& image, QWidget* parent)
      : Binding(view, image, new QLabel(parent)), image_(image) {
    static_cast<QLabel*>(widget_.data())->setAlignment(Qt::AlignCenter);
  }
  void Sync() override {
    auto* w = static_cast<QLabel*>(widget_.data());
    if (image_.PictureBytes() != shown_) {
      shown_ = image_.PictureBytes();
      QImage picture;
      picture.loadFromData(reinterpret_cast<const uchar*>(shown_.data()),
                           static_cast<int>(shown_.size()));
      w->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
    }
    w->setScaledContents(image_.Stretch);
    SyncCommon();
  }

 private:
  TImage& image_;
  std::string shown_;
};

class GridBinding : public Binding {
 public:
  GridBinding(FormView& view, TDBGrid& grid, QWidget* parent)
      : Binding(view, grid, new QTableWidget(parent)), grid_(grid) {
    auto* w = static_cast<QTableWidget*>(widget_.data());
    w->setEditTriggers(QAbstractItemView::NoEditTriggers);  // the model edits the cells
    w->setSelectionMode(QAbstractItemView::SingleSelection);
    w->setTabKeyNavigation(false);
    w->verticalHeader()->setDefaultSectionSize(w->fontMetrics().height() + 6);
    w->verticalHeader()->setFixedWidth(14);
    w->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    w->horizontalHeader()->setHighlightSections(false);
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
  }
  void Sync() override {
    auto* w = static_cast<QTableWidget*>(widget_.data());
    SyncGuard guard(view_);
    int columns = grid_.ColumnCount();
    auto cells = grid_.CellTexts();
    if (w->columnCount() != columns) w->setColumnCount(columns);
    if (w->rowCount() != static_cast<int>(cells.size()))
      w->setRowCount(static_cast<int>(cells.size()));
    for (int c = 0; c < columns; ++c) {
      QString title = ToQ(grid_.ColumnTitle(c));
      QTableWidgetItem* header = w->horizontalHeaderItem(c);
      if (!header || header->text() != title)
        w->setHorizontalHeaderItem(c, new QTableWidgetItem(title));
      // Never narrower than the title: a clipped title reads as another word.
      if (const TColumn* col = grid_.Column(c)) {
        int width = std::max(col->Width, w->fontMetrics().horizontalAdvance(title) + 16);
        if (w->columnWidth(c) != width) w->setColumnWidth(c, width);
      }
    }
    w->horizontalHeader()->setVisible(grid_.Options.Titles);
    for (int r = 0; r < static_cast<int>(cells.size()); ++r)
      for (int c = 0; c < columns && c < static_cast<int>(cells[r].size()); ++c) {
        QString text = ToQ(cells[r][c]);
        QTableWidgetItem* item = w->item(r, c);
        if (!item)
          w->setItem(r, c, new QTableWidgetItem(text));
        else if (item->text() != text)
          item->setText(text);
      }
    w->setSelectionBehavior(grid_.Options.RowSelect ? QAbstractItemView::SelectRows
                                                    : QAbstractItemView::SelectItems);
    int row = grid_.Row();
    if (row >= 0 && row < w->rowCount() && columns > 0) {
      int col = std::clamp(grid_.SelectedIndex(), 0, columns - 1);
      if (w->currentRow() != row || w->currentColumn() != col) w->setCurrentCell(row, col);
    }
    SyncCommon();
  }
  bool Key(QKeyEvent& event) override {
    TDBGrid& g = grid_;
    if (event.key() == Qt::Key_Down && (event.modifiers() & Qt::AltModifier)) {
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
  // A double click or Alt+Down: the column's choices, the cell's button, or the grid's own
  // double-click handler.
  void Activate() {
    TDBGrid& g = grid_;
    const TColumn* col = g.Column(g.SelectedIndex());
    if (col && !col->PickList.empty()) {
      QMenu menu(widget_);
      for (const std::string& choice : col->PickList) menu.addAction(ToQ(choice));
      auto* w = static_cast<QTableWidget*>(widget_.data());
      QRect cell = w->visualItemRect(w->currentItem());
      QAction* chosen = menu.exec(w->viewport()->mapToGlobal(cell.bottomLeft()));
      if (!chosen) return;
      std::string text = FromQ(chosen->text());
      view_.Perform([&g, text] { G::GridChoose(g, text); });
    } else if (col && col->ButtonStyle == TColumnButtonStyle::cbsEllipsis) {
      view_.Perform([&g] { G::GridButton(g); });
    } else {
      view_.Perform([&g] { G::DblClick(g); });
    }
  }
  TDBGrid& grid_;
};

class NavigatorBinding : public Binding {
 public:
  NavigatorBinding(FormView& view, TDBNavigator& nav, QWidget* parent)
      : Binding(view, nav, new QWidget(parent)), nav_(nav) {
    auto* layout = new QHBoxLayout(widget_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    static constexpr const char* kGlyphs[] = {"|◀", "◀", "▶", "▶|", "+", "−", "✎", "✔", "✘", "↻"};
    static constexpr const char* kHints[] = {"Primeiro", "Anterior", "Próximo", "Último",
                                             "Incluir",  "Excluir",  "Alterar", "Confirmar",
                                             "Cancelar", "Atualizar"};
    for (TNavigateBtn b : nav.VisibleButtons) {
      auto* button = new QToolButton(widget_);
      auto i = static_cast<int>(b);
      button->setText(QString::fromUtf8(kGlyphs[i]));
      button->setToolTip(QString::fromUtf8(kHints[i]));
      button->setFocusPolicy(Qt::NoFocus);
      button->setObjectName(ToQ(nav.Name() + "_" + std::string(NavigateBtnName(b))));
      layout->addWidget(button);
      buttons_.emplace_back(b, button);
      QObject::connect(button, &QToolButton::clicked, button, [this, b] {
        TDBNavigator& n = nav_;
        view_.Perform([&n, b] { Application().Guard([&] { n.ClickButton(b); }); });
      });
    }
  }
  void Sync() override {
    for (auto& [b, button] : buttons_) button->setEnabled(nav_.ButtonEnabled(b));
    SyncCommon();
  }

 private:
  TDBNavigator& nav_;
  std::vector<std::pair<TNavigateBtn, QToolButton*>> buttons_;
};

// Kinds with nothing to draw of their own still hold their children.
class ContainerBinding : public Binding {
 public:
  ContainerBinding(FormView& view, TControl& control, QWidget* parent)
      : Binding(view, control, new QWidget(parent)) {}
};

bool OnPage(const TControl& control) {
  for (const TControl* p = control.Parent(); p; p = p->Parent())
    if (p->Kind() == ControlKind::TabSheet) return true;
  return false;
}

}  // namespace

// --- FormView ---------------------------------------------------------------------------------

FormView::FormView(TForm& form, GestureSink& sink, QWidget* parent)
    : QWidget(parent), form_(form), sink_(sink) {
  setObjectName(ToQ(form.Name()));
  Build();
}

FormView::~FormView() = default;

std::size_t FormView::CountControls(const TControl& control) const {
  std::size_t n = control.Controls().size();
  for (const TControl* c : control.Controls()) n += CountControls(*c);
  return n;
}

void FormView::Build() {
  SyncGuard guard(*this);
  byWidget_.clear();
  byControl_.clear();
  toolButtons_.clear();
  bindings_.clear();
  // Later, not now: the widget whose event led here may be among them.
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    child->hide();
    child->removeEventFilter(this);
    child->deleteLater();
  }
  BuildChildren(form_, this);
  builtCount_ = CountControls(form_);
}

void FormView::BuildChildren(TControl& parent, QWidget* container) {
  for (TControl* child : parent.Controls()) {
    // Tool buttons off the pages belong to the main window's tool bar.
    if (child->Kind() == ControlKind::SpeedButton && !OnPage(*child)) {
      toolButtons_.push_back(static_cast<TSpeedButton*>(child));
      continue;
    }
    std::unique_ptr<Binding> b = MakeBinding(*child, container);
    Binding& ref = *b;
    byControl_[child] = &ref;
    bindings_.push_back(std::move(b));
    BuildChildren(*child, ref.Container());
  }
}

std::unique_ptr<Binding> FormView::MakeBinding(TControl& c, QWidget* container) {
  switch (c.Kind()) {
    case ControlKind::Label:
      return std::make_unique<LabelBinding>(*this, static_cast<TLabel&>(c), container);
    case ControlKind::Edit:
    case ControlKind::DBEdit:
    case ControlKind::DBDateEdit:
      return std::make_unique<EditBinding>(*this, dynamic_cast<TCustomEdit&>(c), container);
    case ControlKind::Memo:
    case ControlKind::DBMemo:
      return std::make_unique<MemoBinding>(*this, dynamic_cast<TCustomEdit&>(c), container);
    case ControlKind::ComboBox:
    case ControlKind::DBComboBox:
      return std::make_unique<ComboBinding>(*this, dynamic_cast<TComboBox&>(c), container);
    case ControlKind::CheckBox:
    case ControlKind::DBCheckBox:
      return std::make_unique<CheckBinding>(*this, dynamic_cast<TCheckBox&>(c), container);
    case ControlKind::RadioGroup:
    case ControlKind::DBRadioGroup:
      return std::make_unique<RadioBinding>(*this, dynamic_cast<TRadioGroup&>(c), container);
    case ControlKind::GroupBox:
      return std::make_unique<GroupBinding>(*this, c, container);
    case ControlKind::Panel:
      return std::make_unique<PanelBinding>(*this, c, container);
    case ControlKind::PageControl:
      return std::make_unique<PageBinding>(*this, static_cast<TPageControl&>(c), container);
    case ControlKind::TabSheet:
      if (auto* tabs = qobject_cast<QTabWidget*>(container))
        return std::make_unique<SheetBinding>(*this, static_cast<TTabSheet&>(c), tabs);
      return std::make_unique<ContainerBinding>(*this, c, container);
    case ControlKind::Button:
      return std::make_unique<ButtonBinding>(*this, static_cast<TButton&>(c), container);
    case ControlKind::SpeedButton:
    case ControlKind::BtnPesquisa:
      return std::make_unique<ToolBinding>(*this, dynamic_cast<TSpeedButton&>(c), container);
    case ControlKind::Image:
      return std::make_unique<ImageBinding>(*this, static_cast<TImage&>(c), container);
    case ControlKind::DBGrid:
      return std::make_unique<GridBinding>(*this, static_cast<TDBGrid&>(c), container);
    case ControlKind::DBNavigator:
      return std::make_unique<NavigatorBinding>(*this, static_cast<TDBNavigator&>(c), container);
    case ControlKind::ReportView:
      return MakeReportViewBinding(*this, static_cast<TReportView&>(c), container);
    default:
      return std::make_unique<ContainerBinding>(*this, c, container);
  }
}

void FormView::Watch(QWidget* widget, Binding& binding) {
  byWidget_[widget] = &binding;
  widget->installEventFilter(this);
}

QWidget* FormView::WidgetOf(const TControl& control) const {
  Binding* b = BindingOf(control);
  return b ? b->Widget() : nullptr;
}

QWidget* FormView::WidgetOf(std::string_view name) const {
  auto* c = dynamic_cast<TControl*>(form_.FindDeep(name));
  return c ? WidgetOf(*c) : nullptr;
}

Binding* FormView::BindingOf(const TControl& control) const {
  auto it = byControl_.find(&control);
  return it == byControl_.end() ? nullptr : it->second;
}

TMainMenu* FormView::MainMenu() const {
  for (TComponent* c : form_.Components())
    if (auto* menu = dynamic_cast<TMainMenu*>(c)) return menu;
  return nullptr;
}

void FormView::Detach() {
  detached_ = true;
  byWidget_.clear();
  byControl_.clear();
  toolButtons_.clear();
}

void FormView::Sync() {
  if (detached_) return;
  if (CountControls(form_) != builtCount_) Build();
  SyncGuard guard(*this);
  if (form_.Width() > 0 && form_.Height() > 0) setMinimumSize(form_.Width(), form_.Height());
  for (auto& b : bindings_) b->Sync();
  SyncFocus();
}

void FormView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!detached_) Sync();
}

void FormView::SyncFocus() {
  if (detached_) return;
  TControl* active = form_.ActiveControl();
  if (!active) return;
  Binding* b = BindingOf(*active);
  QWidget* w = b ? b->FocusWidget() : nullptr;
  if (!w || !w->isVisibleTo(window()) || w->hasFocus()) return;
  SyncGuard guard(*this);
  w->setFocus(Qt::OtherFocusReason);
}

void FormView::Perform(const std::function<void()>& gesture) {
  if (!detached_) sink_.Perform(form_, gesture);
}

void FormView::PerformLater(std::function<void()> gesture) {
  QTimer::singleShot(0, this, [this, g = std::move(gesture)] {
    if (!detached_) Perform(g);
  });
}

bool FormView::eventFilter(QObject* watched, QEvent* event) {
  auto it = byWidget_.find(watched);
  if (detached_ || it == byWidget_.end()) return QWidget::eventFilter(watched, event);
  Binding& b = *it->second;
  switch (event->type()) {
    case QEvent::KeyPress: {
      if (Syncing()) return false;
      auto& key = static_cast<QKeyEvent&>(*event);
      return b.Key(key);
    }
    case QEvent::ShortcutOverride: {
      // Editing keys belong to the box, not to a menu short cut with the same keys.
      auto& key = static_cast<QKeyEvent&>(*event);
      if (KeyName(key) || TypedText(key)) event->accept();
      return false;
    }
    case QEvent::InputMethod: {
      auto& im = static_cast<QInputMethodEvent&>(*event);
      if (!im.commitString().isEmpty()) b.Text(im.commitString());
      return true;
    }
    case QEvent::FocusIn: {
      if (Syncing()) return false;
      auto reason = static_cast<QFocusEvent&>(*event).reason();
      if (reason != Qt::MouseFocusReason && reason != Qt::ShortcutFocusReason &&
          reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason)
        return false;
      TControl& c = b.Control();
      if (!c.TakesFocus() || form_.ActiveControl() == &c) return false;
      // After the focus change completes: the exit handler may open a dialog.
      PerformLater([&c] {
        if (c.OwnerForm()->ActiveControl() != &c && c.CanFocus()) G::Focus(c);
      });
      return false;
    }
    default:
      return QWidget::eventFilter(watched, event);
  }
}

}  // namespace ger::qt
