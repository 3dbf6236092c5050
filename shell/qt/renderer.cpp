#include "renderer.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>

#include "convert.h"
#include "core/ptbr.h"
#include "icons.h"
#include "report_preview.h"
#include "ui/dbctrls.h"
#include "ui/gestures.h"
#include "ui/picture.h"

namespace ger::qt {

namespace G = ui::Gestures;

// --- Binding ----------------------------------------------------------------------------------

Binding::Binding(FormView& view, TControl& control, QWidget* widget)
    : view_(view), control_(control), widget_(widget) {
  widget_->setObjectName(ToQ(control.Name()));
  control_.SetView(this);
}

Binding::~Binding() {
  Unbind();
}

void Binding::Unbind() {
  if (!gone_ && control_.View() == this) control_.SetView(nullptr);
  gone_ = true;
}

void Binding::Changed(ViewAspect aspect) {
  if (aspect == ViewAspect::Content) contentChanged_ = true;
}

bool Binding::TakeContentChange() {
  bool changed = contentChanged_;
  contentChanged_ = false;
  return changed;
}

namespace {
// The model's size of the control's container, and its widget: for a page, its page control.
std::pair<const TControl*, QWidget*> SizingParent(const TControl& c, const FormView& view) {
  const TControl* p = c.Parent();
  if (auto* sheet = dynamic_cast<const TTabSheet*>(p)) p = sheet->PageControl();
  if (!p) return {nullptr, nullptr};
  if (p == &view.Form()) return {p, const_cast<FormView*>(&view)};
  return {p, view.WidgetOf(*p)};
}

// Controls that grow downwards with their window; boxes of one line keep their height.
bool GrowsDown(const TControl& c) {
  return dynamic_cast<const TDBGrid*>(&c) || dynamic_cast<const TPageControl*>(&c) ||
         dynamic_cast<const TMemo*>(&c) || dynamic_cast<const TReportView*>(&c);
}
}  // namespace

void Binding::SyncCommon() {
  if (!widget_ || gone_) return;
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
      if (extraH > 0 && GrowsDown(c) && c.Top() + c.Height() >= ph - slackDown) height += extraH;
    }
    QRect wanted(c.Left(), c.Top(), width, height);
    if (widget_->geometry() != wanted) widget_->setGeometry(wanted);
  } else {
    widget_->move(c.Left(), c.Top());
    widget_->adjustSize();
  }
  if (widget_->isEnabled() != c.Enabled()) widget_->setEnabled(c.Enabled());
  if (widget_->isVisibleTo(widget_->parentWidget()) != c.Visible())
    widget_->setVisible(c.Visible());
  QString hint = ToolTip();
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

QString Binding::ToolTip() const {
  return ToQ(control_.Hint());
}

bool Binding::Key(QKeyEvent& event) {
  // A control without text: only the keys the model acts on travel (Tab moves the focus through
  // the model's exit handling; Enter and Escape reach the form's default and cancel buttons).
  auto name = KeyName(event);
  if (!name || !control_.TakesFocus()) return false;
  TControl& c = control_;
  std::string key = *name;
  view_.Perform([&c, key] { G::Key(c, key); });
  return true;
}

void Binding::Text(const QString&) {}

std::vector<std::pair<QAction*, TMenuItem*>> FillMenu(
    QMenu& menu, const std::vector<TMenuItem*>& items,
    const std::function<void(TMenuItem&)>& choose) {
  std::vector<std::pair<QAction*, TMenuItem*>> made;
  for (TMenuItem* item : items) {
    QAction* action = nullptr;
    if (item->IsSeparator()) {
      action = menu.addSeparator();
    } else if (!item->Items().empty()) {
      QMenu* sub = menu.addMenu(ToQ(item->Caption()));
      sub->setObjectName(ToQ(item->Name()));
      action = sub->menuAction();
      auto inner = FillMenu(*sub, item->Items(), choose);
      made.insert(made.end(), inner.begin(), inner.end());
    } else {
      action = menu.addAction(ToQ(item->Caption()));
      QObject::connect(action, &QAction::triggered, &menu, [item, choose] { choose(*item); });
    }
    action->setObjectName(ToQ(item->Name()));
    action->setEnabled(item->Enabled());
    action->setVisible(item->Visible());
    action->setCheckable(item->Checked());
    action->setChecked(item->Checked());
    made.emplace_back(action, item);
  }
  return made;
}

namespace {
bool AnyVisible(const QMenu& menu) {
  const auto actions = menu.actions();
  return std::any_of(actions.begin(), actions.end(),
                     [](const QAction* a) { return a->isVisible() && !a->isSeparator(); });
}
}  // namespace

bool Binding::ModelMenu(QContextMenuEvent& event) {
  TPopupMenu* popup = control_.PopupMenu;
  if (!popup) return false;
  // A menu without entries is the screen saying "no menu here": nothing opens.
  const auto& items = popup->Items();
  if (std::none_of(items.begin(), items.end(),
                   [](const TMenuItem* i) { return i->Visible() && !i->IsSeparator(); }))
    return true;
  // The menu's handler may change its items before they are shown.
  if (popup->OnPopup)
    view_.Perform([popup] { Application().Guard([popup] { popup->OnPopup(*popup); }); });
  QMenu menu(widget_);
  menu.setObjectName(ToQ(popup->Name()));
  TForm* form = &view_.Form();
  FillMenu(menu, popup->Items(), [this, form](TMenuItem& item) {
    view_.Sink().Perform(*form, [&item] { G::Click(item); });
  });
  if (AnyVisible(menu)) menu.exec(event.globalPos());
  return true;
}

bool Binding::ContextMenu(QContextMenuEvent& event) {
  if (ModelMenu(event)) return true;
  // Widgets of controls without text have no menu of their own worth showing.
  return !control_.HoldsText();
}

namespace {

// Group boxes draw their caption on the frame line, as the platform's do, whatever the style.
constexpr const char* kGroupStyle =
    "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 7px; }"
    " QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 7px; padding: 0 3px; }";

// The widget side of a text box, in the model's characters: its text as the model holds it,
// where the user left the caret and selection, and how to show the model's caret again.
struct TextSide {
  std::function<QString()> text;
  std::function<int()> selStart;   // model characters
  std::function<int()> selLength;  // model characters
};

// Where the user put the caret with the mouse or the arrows is where the next gesture acts.
void PlaceCaret(TCustomEdit& edit, const TextSide& side) {
  int start = side.selStart();
  int length = side.selLength();
  if (start != edit.SelStart() || length != edit.SelLength()) edit.SetSelection(start, length);
}

// Runs an edit command as a gesture: the focus first (its exit and enter handlers), then the
// widget's caret, then the command.
void EditCommand(FormView& view, TCustomEdit& edit, const TextSide& side,
                 std::function<void()> command) {
  view.Perform([&edit, side, command = std::move(command)] {
    if (!edit.Focused()) G::Focus(edit);
    if (!edit.Focused()) return;
    PlaceCaret(edit, side);
    command();
  });
}

void CutCommand(TCustomEdit& edit) {
  if (edit.SelLength() == 0) return;
  QApplication::clipboard()->setText(ToQ(edit.SelText()));
  G::EditText(edit, G::TextEdit::DeleteSelection);
}

void CopyCommand(TCustomEdit& edit) {
  if (edit.SelLength() > 0) QApplication::clipboard()->setText(ToQ(edit.SelText()));
}

void PasteCommand(TCustomEdit& edit) {
  G::EditText(edit, G::TextEdit::Insert, FromQ(QApplication::clipboard()->text()));
}

// The keys of a text box: every typed character, editing key, paste, cut and undo goes through
// the model; the arrows, Home, End and the selection keys move the widget's caret only.
bool EditKey(FormView& view, QKeyEvent& event, TCustomEdit& edit, const TextSide& side) {
  if (event.matches(QKeySequence::Paste)) {
    EditCommand(view, edit, side, [&edit] { PasteCommand(edit); });
    return true;
  }
  if (event.matches(QKeySequence::Cut)) {
    EditCommand(view, edit, side, [&edit] { CutCommand(edit); });
    return true;
  }
  if (event.matches(QKeySequence::Undo)) {
    EditCommand(view, edit, side, [&edit] { G::EditText(edit, G::TextEdit::Undo); });
    return true;
  }
  if (event.matches(QKeySequence::Redo)) return true;  // one undo step, which a second undo redoes
  if (event.matches(QKeySequence::SelectAll) || event.matches(QKeySequence::Copy)) return false;
  if (auto name = KeyName(event)) {
    std::string key = *name;
    bool moves = key == "tab" || key == "shift+tab";
    view.Perform([&edit, side, key, moves] {
      if (!moves && edit.Focused()) PlaceCaret(edit, side);
      G::Key(edit, key);
    });
    return true;
  }
  if (auto typed = TypedText(event)) {
    std::string text = FromQ(*typed);
    view.Perform([&edit, side, text] {
      if (edit.Focused()) PlaceCaret(edit, side);
      G::Type(edit, text);
    });
    return true;
  }
  return false;
}

// The edit commands of a text box's context menu, in Portuguese, each a gesture.
bool EditMenu(FormView& view, QWidget* widget, QContextMenuEvent& event, TCustomEdit& edit,
              const TextSide& side) {
  QMenu menu(widget);
  menu.setObjectName("mnuEdicao");
  int length = side.selLength();
  bool editable = widget->isEnabled() && !edit.ReadOnly();
  bool selected = length > 0;
  auto add = [&](const char* name, const QString& caption, const QKeySequence& keys, bool enabled,
                 std::function<void()> command) {
    QAction* action = menu.addAction(caption);
    action->setObjectName(name);
    action->setShortcut(keys);
    action->setEnabled(enabled);
    QObject::connect(action, &QAction::triggered, &menu,
                     [&view, &edit, side, command] { EditCommand(view, edit, side, command); });
  };
  add("actDesfazer", "&Desfazer", QKeySequence::Undo, editable && edit.CanUndo(),
      [&edit] { G::EditText(edit, G::TextEdit::Undo); });
  menu.addSeparator();
  add("actRecortar", "Recor&tar", QKeySequence::Cut, editable && selected,
      [&edit] { CutCommand(edit); });
  add("actCopiar", "&Copiar", QKeySequence::Copy, selected, [&edit] { CopyCommand(edit); });
  add("actColar", "C&olar", QKeySequence::Paste,
      editable && !QApplication::clipboard()->text().isEmpty(), [&edit] { PasteCommand(edit); });
  add("actExcluir", "&Excluir", QKeySequence::Delete, editable && selected,
      [&edit] { G::EditText(edit, G::TextEdit::DeleteSelection); });
  menu.addSeparator();
  add("actSelecionarTudo", "&Selecionar tudo", QKeySequence::SelectAll, edit.Length() > 0,
      [&edit] { edit.SelectAll(); });
  menu.exec(event.globalPos());
  return true;
}

// --- Labels -----------------------------------------------------------------------------------

class LabelBinding : public Binding {
 public:
  LabelBinding(FormView& view, TLabel& label, QWidget* parent)
      : Binding(view, label, new QLabel(parent)), label_(label) {}
  void Sync() override {
    auto* w = static_cast<QLabel*>(widget_.data());
    QString caption = ToQ(label_.Caption());
    QWidget* buddy = label_.FocusControl ? view_.WidgetOf(*label_.FocusControl) : nullptr;
    if (buddy) {
      if (w->buddy() != buddy) w->setBuddy(buddy);  // Alt plus the letter focuses the box
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

// --- One-line boxes ---------------------------------------------------------------------------

class EditBinding : public Binding {
 public:
  EditBinding(FormView& view, TCustomEdit& edit, QWidget* parent)
      : Binding(view, edit, new QLineEdit(parent)), edit_(edit) {
    view.Watch(widget_, *this);
  }
  void Sync() override {
    auto* w = Line();
    QString text = ToQ(edit_.Text());
    if (w->text() != text) w->setText(text);
    if (w->isReadOnly() != edit_.ReadOnly()) w->setReadOnly(edit_.ReadOnly());
    // A control whose menu has no items offers no cut, copy or paste on a right click either.
    const bool noMenu = edit_.PopupMenu && edit_.PopupMenu->Items().empty();
    const auto policy = noMenu ? Qt::NoContextMenu : Qt::DefaultContextMenu;
    if (w->contextMenuPolicy() != policy) w->setContextMenuPolicy(policy);
    if (edit_.Focused()) {
      int start = Utf16Offset(text, edit_.SelStart());
      int end = Utf16Offset(text, edit_.SelStart() + edit_.SelLength());
      if (end > start) {
        if (w->selectionStart() != start || w->selectionLength() != end - start)
          w->setSelection(start, end - start);
      } else if (w->cursorPosition() != start || w->hasSelectedText()) {
        w->setCursorPosition(start);
      }
    } else if (w->cursorPosition() != 0 || w->hasSelectedText()) {
      // A box the user is not in shows the start of its text, as the platform's boxes do.
      w->setCursorPosition(0);
    }
    SyncCommon();
  }
  bool Key(QKeyEvent& event) override { return EditKey(view_, event, edit_, Side()); }
  // A text wider than its box (an official description) is shown whole as the box's tool tip.
  QString ToolTip() const override {
    QString hint = Binding::ToolTip();
    auto* w = qobject_cast<QLineEdit*>(widget_.data());
    if (!hint.isEmpty() || !w || w->echoMode() != QLineEdit::Normal) return hint;
    const QString text = ToQ(edit_.Text());
    const int room =
        w->contentsRect().width() - w->textMargins().left() - w->textMargins().right() - 8;
    return w->fontMetrics().horizontalAdvance(text) > room ? text : QString();
  }
  void Text(const QString& text) override {
    TControl& c = control_;
    std::string typed = FromQ(text);
    view_.Perform([&c, typed] { G::Type(c, typed); });
  }
  bool ContextMenu(QContextMenuEvent& event) override {
    if (ModelMenu(event)) return true;
    return EditMenu(view_, widget_, event, edit_, Side());
  }

 protected:
  QLineEdit* Line() const { return static_cast<QLineEdit*>(widget_.data()); }
  TextSide Side() const {
    QLineEdit* w = Line();
    return TextSide{[w] { return w->text(); },
                    [w] {
                      int from = w->hasSelectedText() ? w->selectionStart() : w->cursorPosition();
                      return CharacterIndex(w->text(), from);
                    },
                    [w] {
                      if (!w->hasSelectedText()) return 0;
                      int from = w->selectionStart();
                      return CharacterIndex(w->text(), from + w->selectionLength()) -
                             CharacterIndex(w->text(), from);
                    }};
  }
  TCustomEdit& edit_;
};

// The date box: the box under its dd/mm/aaaa mask, and a calendar that types the chosen date
// into it (a paste through the model, so the mask and the data link apply).
class DateBinding : public EditBinding {
 public:
  DateBinding(FormView& view, TCustomEdit& edit, QWidget* parent)
      : EditBinding(view, edit, parent) {
    QAction* open = Line()->addAction(Icon("x-office-calendar", "office-calendar"),
                                      QLineEdit::TrailingPosition);
    open->setObjectName(ToQ(edit.Name()) + "_calendario");
    open->setToolTip("Calendário (Alt+Seta para baixo)");
    QObject::connect(open, &QAction::triggered, Line(), [this] { OpenCalendar(); });
  }
  bool Key(QKeyEvent& event) override {
    bool altDown = event.key() == Qt::Key_Down && (event.modifiers() & Qt::AltModifier);
    if (altDown || event.key() == Qt::Key_F4) {
      OpenCalendar();
      return true;
    }
    return EditBinding::Key(event);
  }
  // The calendar shown last (tests choose a date in it); null when none is open.
  static QCalendarWidget* OpenOne() { return open_; }

 private:
  void OpenCalendar() {
    if (!widget_ || !widget_->isEnabled() || edit_.ReadOnly()) return;
    // A pop-up that closes on a choice, Escape or a click elsewhere, as a list's does.
    QMenu popup(widget_);
    popup.setObjectName(ToQ(edit_.Name()) + "_popup");
    auto* calendar = new QCalendarWidget(&popup);
    calendar->setObjectName("calData");
    calendar->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    calendar->setGridVisible(true);
    auto* holder = new QWidgetAction(&popup);
    holder->setDefaultWidget(calendar);
    popup.addAction(holder);
    QDate shown = QDate::fromString(Line()->text().trimmed(), "dd/MM/yyyy");
    calendar->setSelectedDate(shown.isValid() ? shown : QDate::currentDate());
    std::optional<QDate> chosen;
    auto choose = [&](QDate date) {
      chosen = date;
      popup.close();
    };
    QObject::connect(calendar, &QCalendarWidget::activated, &popup, choose);
    QObject::connect(calendar, &QCalendarWidget::clicked, &popup, choose);
    open_ = calendar;
    QTimer::singleShot(0, calendar, [calendar] { calendar->setFocus(); });
    popup.exec(widget_->mapToGlobal(QPoint(0, widget_->height())));
    open_ = nullptr;
    if (!chosen) return;
    std::string text = FromQ(chosen->toString("dd/MM/yyyy"));
    TControl& c = control_;
    view_.Perform([&c, text] { G::Paste(c, text); });
  }
  static inline QPointer<QCalendarWidget> open_;
};

// --- Memos ------------------------------------------------------------------------------------

// The widget shows line breaks as "\n"; a text stored elsewhere may carry "\r\n". Positions are
// converted between the two so that typing goes where the caret is.
QString ShownMemoText(const std::string& text) {
  return ToQ(text).replace("\r\n", "\n");
}

int ModelToShown(const QString& model, int modelChars) {
  // Characters of the model before the position, without the "\r" of each "\r\n".
  int shown = 0;
  int chars = 0;
  for (int i = 0; i < model.size() && chars < modelChars; ++i) {
    if (model[i].isLowSurrogate()) continue;
    ++chars;
    bool droppedCr = model[i] == '\r' && i + 1 < model.size() && model[i + 1] == '\n';
    if (!droppedCr) shown += model[i].isHighSurrogate() ? 2 : 1;
  }
  return shown;
}

int ShownToModel(const QString& model, int shownOffset) {
  int shown = 0;
  int chars = 0;
  for (int i = 0; i < model.size() && shown < shownOffset; ++i) {
    if (model[i].isLowSurrogate()) continue;
    ++chars;
    bool droppedCr = model[i] == '\r' && i + 1 < model.size() && model[i + 1] == '\n';
    if (!droppedCr) shown += model[i].isHighSurrogate() ? 2 : 1;
  }
  return chars;
}

class MemoBinding : public Binding {
 public:
  MemoBinding(FormView& view, TCustomEdit& memo, QWidget* parent)
      : Binding(view, memo, new QPlainTextEdit(parent)), memo_(memo) {
    auto* w = Plain();
    w->setTabChangesFocus(true);
    w->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view.Watch(w, *this);
    view.Watch(w->viewport(), *this);
  }
  void Sync() override {
    auto* w = Plain();
    QString model = ToQ(memo_.Text());
    QString text = ShownMemoText(memo_.Text());
    if (w->toPlainText() != text) w->setPlainText(text);
    if (w->isReadOnly() != memo_.ReadOnly()) w->setReadOnly(memo_.ReadOnly());
    if (memo_.Focused()) {
      // The model's caret and selection, so that the next key goes where the user sees it.
      int start = ModelToShown(model, memo_.SelStart());
      int end = ModelToShown(model, memo_.SelStart() + memo_.SelLength());
      QTextCursor cursor = w->textCursor();
      if (cursor.anchor() != start || cursor.position() != end) {
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        w->setTextCursor(cursor);
      }
    }
    SyncCommon();
  }
  bool Key(QKeyEvent& event) override { return EditKey(view_, event, memo_, Side()); }
  void Text(const QString& text) override {
    TControl& c = control_;
    std::string typed = FromQ(text);
    view_.Perform([&c, typed] { G::Type(c, typed); });
  }
  bool ContextMenu(QContextMenuEvent& event) override {
    if (ModelMenu(event)) return true;
    return EditMenu(view_, widget_, event, memo_, Side());
  }

 private:
  QPlainTextEdit* Plain() const { return static_cast<QPlainTextEdit*>(widget_.data()); }
  TextSide Side() const {
    QPlainTextEdit* w = Plain();
    TCustomEdit* memo = &memo_;
    auto model = [memo] { return ToQ(memo->Text()); };
    return TextSide{[w] { return w->toPlainText(); },
                    [w, model] { return ShownToModel(model(), w->textCursor().selectionStart()); },
                    [w, model] {
                      QString m = model();
                      return ShownToModel(m, w->textCursor().selectionEnd()) -
                             ShownToModel(m, w->textCursor().selectionStart());
                    }};
  }
  TCustomEdit& memo_;
};

// --- Lists ------------------------------------------------------------------------------------

class ComboBinding : public Binding {
 public:
  // The chosen entry, when the box cuts it, is shown whole as the box's tool tip.
  QString ToolTip() const override {
    QString hint = Binding::ToolTip();
    auto* w = qobject_cast<QComboBox*>(widget_.data());
    if (!hint.isEmpty() || !w) return hint;
    const QString text = ToQ(combo_.Text());
    const int room = w->width() - w->iconSize().width() - 24;
    return w->fontMetrics().horizontalAdvance(text) > room ? text : QString();
  }
  ComboBinding(FormView& view, TComboBox& combo, QWidget* parent)
      : Binding(view, combo, new QComboBox(parent)), combo_(combo) {
    auto* w = Combo();
    w->setMaxVisibleItems(14);
    view.Watch(w, *this);
    // A choice in the pop-up list (mouse or keys inside the list) is the user selecting.
    QObject::connect(w, &QComboBox::activated, w, [this](int index) {
      if (view_.Syncing()) return;
      TControl& c = control_;
      view_.Perform([&c, index] { G::Select(c, index); });
    });
  }
  void Sync() override {
    auto* w = Combo();
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
      // The open list shows every entry whole, however narrow the box.
      int widest = 0;
      for (const QString& item : items)
        widest = std::max(widest, w->view()->fontMetrics().horizontalAdvance(item));
      w->view()->setMinimumWidth(widest + 32);
    }
    if (w->currentIndex() != combo_.ItemIndex()) w->setCurrentIndex(combo_.ItemIndex());
    if (editable && w->lineEdit()->text() != ToQ(combo_.Text()))
      w->lineEdit()->setText(ToQ(combo_.Text()));
    if (editable && !combo_.Focused() && w->lineEdit()->cursorPosition() != 0)
      w->lineEdit()->setCursorPosition(0);
    SyncCommon();
  }
  bool Key(QKeyEvent& event) override {
    auto* w = Combo();
    // Alt+Down and F4 open the list; the choice made in it comes back as `activated`.
    bool altDown = (event.key() == Qt::Key_Down || event.key() == Qt::Key_Up) &&
                   (event.modifiers() & Qt::AltModifier);
    if (altDown || event.key() == Qt::Key_F4) {
      if (w->isEnabled()) w->showPopup();
      return true;
    }
    if (auto move = NavigationKeyName(event); move && *move != "left" && *move != "right") {
      if (w->isEditable() && (*move == "home" || *move == "end")) return false;
      TControl& c = control_;
      std::string key = *move;
      view_.Perform([&c, key] { G::Key(c, key); });
      return true;
    }
    if (w->isEditable()) return EditKey(view_, event, combo_, Side());
    if (auto name = KeyName(event)) {
      TControl& c = control_;
      std::string key = *name;
      view_.Perform([&c, key] { G::Key(c, key); });
      return true;
    }
    if (event.key() == Qt::Key_Space && !(event.modifiers() & ~Qt::KeypadModifier)) {
      if (w->isEnabled()) w->showPopup();
      return true;
    }
    if (auto typed = TypedText(event)) {
      // A letter in a list chooses the next entry that starts with it; the model does that.
      TControl& c = control_;
      std::string text = FromQ(*typed);
      view_.Perform([&c, text] { G::Type(c, text); });
      return true;
    }
    return false;
  }
  bool ContextMenu(QContextMenuEvent& event) override {
    if (ModelMenu(event)) return true;
    if (Combo()->isEditable()) return EditMenu(view_, widget_, event, combo_, Side());
    return true;
  }

 private:
  QComboBox* Combo() const { return static_cast<QComboBox*>(widget_.data()); }
  TextSide Side() const {
    QLineEdit* line = Combo()->lineEdit();
    if (!line) return TextSide{[] { return QString(); }, [] { return 0; }, [] { return 0; }};
    return TextSide{[line] { return line->text(); },
                    [line] {
                      int from =
                          line->hasSelectedText() ? line->selectionStart() : line->cursorPosition();
                      return CharacterIndex(line->text(), from);
                    },
                    [line] {
                      if (!line->hasSelectedText()) return 0;
                      int from = line->selectionStart();
                      return CharacterIndex(line->text(), from + line->selectionLength()) -
                             CharacterIndex(line->text(), from);
                    }};
  }
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
    // The grey state shows a field value that is neither of the box's two values.
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
    widget_->setStyleSheet(kGroupStyle);
    buttons_ = new QButtonGroup(widget_);
    buttons_->setExclusive(false);
    QObject::connect(buttons_, &QButtonGroup::idClicked, widget_, [this](int id) {
      if (view_.Syncing()) return;
      TControl& c = control_;
      view_.Perform([&c, id] { G::Select(c, id); });
    });
  }
  QWidget* FocusWidget() const override {
    // A button the mouse went down on keeps the focus it took: a button losing the focus drops
    // the press, and the click that should choose it never comes.
    for (QAbstractButton* b : buttons_->buttons())
      if (b->hasFocus()) return b;
    int i = group_.ItemIndex();
    auto list = buttons_->buttons();
    if (i >= 0 && i < list.size()) return list[i];
    return list.isEmpty() ? widget_.data() : list.front();
  }
  void Sync() override {
    auto* w = static_cast<QGroupBox*>(widget_.data());
    SyncGuard guard(view_);
    if (w->title() != PlainCaption(group_.Caption())) w->setTitle(PlainCaption(group_.Caption()));
    QStringList items;
    for (const std::string& i : group_.Items()) items << ToQ(i);
    if (items != shown_ || columns_ != group_.Columns) Rebuild(items);
    for (QAbstractButton* b : buttons_->buttons())
      if (b->isChecked() != (buttons_->id(b) == group_.ItemIndex()))
        b->setChecked(buttons_->id(b) == group_.ItemIndex());
    SyncCommon();
  }
  bool Key(QKeyEvent& event) override {
    // The arrows move the choice in the model, as the platform's radio groups do.
    if (auto move = NavigationKeyName(event); move && *move != "home" && *move != "end") {
      TControl& c = control_;
      std::string key = *move;
      view_.Perform([&c, key] { G::Key(c, key); });
      return true;
    }
    return Binding::Key(event);
  }

 private:
  void Rebuild(const QStringList& items) {
    for (QAbstractButton* b : buttons_->buttons()) {
      buttons_->removeButton(b);
      delete b;
    }
    delete widget_->layout();
    auto* grid = new QGridLayout(widget_);
    grid->setContentsMargins(8, 8, 8, 4);
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

// --- Containers -------------------------------------------------------------------------------

class GroupBinding : public Binding {
 public:
  GroupBinding(FormView& view, TControl& control, QWidget* parent)
      : Binding(view, control, new QGroupBox(parent)) {
    widget_->setStyleSheet(kGroupStyle);
  }
  void Sync() override {
    auto* w = static_cast<QGroupBox*>(widget_.data());
    // The caption sits on the frame; the screen places its controls below it.
    QString title = PlainCaption(control_.Caption()).trimmed();
    if (w->title() != title) w->setTitle(title);
    SyncCommon();
  }
};

class PanelBinding : public Binding {
 public:
  PanelBinding(FormView& view, TPanel& panel, QWidget* parent)
      : Binding(view, panel, new QFrame(parent)), panel_(panel) {
    caption_ = new QLabel(widget_);
    caption_->setObjectName(ToQ(panel.Name()) + "_legenda");
    caption_->setAlignment(Qt::AlignCenter);
  }
  void Sync() override {
    auto* frame = static_cast<QFrame*>(widget_.data());
    int style = panel_.BevelOuter == TBevelCut::bvNone      ? QFrame::NoFrame
                : panel_.BevelOuter == TBevelCut::bvLowered ? QFrame::StyledPanel | QFrame::Sunken
                                                            : QFrame::StyledPanel | QFrame::Raised;
    if (frame->frameStyle() != style) frame->setFrameStyle(style);
    QString caption = PlainCaption(control_.Caption());
    if (caption_->text() != caption) caption_->setText(caption);
    // An empty caption draws nothing: it must not lie over the panel's controls.
    caption_->setVisible(!caption.isEmpty());
    caption_->setGeometry(0, 0, control_.Width(), control_.Height());
    caption_->lower();
    SyncCommon();
    // A panel's own colour is its background (a white sheet of paper, a yellow heading); one
    // without shows what lies under it.
    std::optional<QColor> back = ColorOf(control_.Color());
    frame->setAutoFillBackground(back.has_value());
    if (back && frame->palette().color(QPalette::Window) != *back) {
      QPalette palette = frame->palette();
      palette.setColor(QPalette::Window, *back);
      frame->setPalette(palette);
    }
  }

 private:
  TPanel& panel_;
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
        " QTabBar::tab:selected { background: palette(base); font-weight: bold; }"
        " QTabBar::tab:focus { text-decoration: underline; }");
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
    // The caption keeps its "&": Alt plus the letter brings the page forward.
    if (tabs_->tabText(index) != ToQ(sheet_.Caption()))
      tabs_->setTabText(index, ToQ(sheet_.Caption()));
    if (tabs_->isTabVisible(index) != sheet_.TabVisible())
      tabs_->setTabVisible(index, sheet_.TabVisible());
    if (tabs_->isTabEnabled(index) != sheet_.Enabled())
      tabs_->setTabEnabled(index, sheet_.Enabled());
    if (tabs_->tabToolTip(index) != ToQ(sheet_.Hint()))
      tabs_->setTabToolTip(index, ToQ(sheet_.Hint()));
  }

 private:
  TTabSheet& sheet_;
  QPointer<QTabWidget> tabs_;
};

// Controls with nothing to draw of their own still hold their children.
class ContainerBinding : public Binding {
 public:
  ContainerBinding(FormView& view, TControl& control, QWidget* parent)
      : Binding(view, control, new QWidget(parent)) {}
};

// --- Buttons ----------------------------------------------------------------------------------

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
    // The caption keeps its "&": Alt plus the letter clicks the button.
    QString text = ToQ(button_.Caption());
    QIcon icon = button_.Glyph.empty() ? QIcon() : Icon(button_.Glyph);
    if (w->icon().cacheKey() != icon.cacheKey() || glyph_ != button_.Glyph) {
      w->setIcon(icon);
      glyph_ = button_.Glyph;
    }
    if (text.isEmpty() && icon.isNull()) text = ToQ(button_.Hint());
    if (w->text() != text) w->setText(text);
    Qt::ToolButtonStyle style = icon.isNull()    ? Qt::ToolButtonTextOnly
                                : text.isEmpty() ? Qt::ToolButtonIconOnly
                                : button_.Width() < 2 * button_.Height()
                                    ? Qt::ToolButtonTextUnderIcon
                                    : Qt::ToolButtonTextBesideIcon;
    if (w->toolButtonStyle() != style) w->setToolButtonStyle(style);
    int side = std::max(16, std::min(button_.Height(), 32) - 8);
    if (w->iconSize() != QSize(side, side)) w->setIconSize(QSize(side, side));
    w->setAutoRaise(button_.Flat);
    w->setCheckable(button_.GroupIndex != 0);
    w->setChecked(button_.Down);
    SyncCommon();
  }

 private:
  TSpeedButton& button_;
  std::string glyph_;
};

// --- Pictures ---------------------------------------------------------------------------------

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
      // The model took only bytes that passed its checks; the toolkit's decoder gets the same
      // bound on the declared size all the same, read before any pixel is.
      QByteArray data =
          QByteArray::fromRawData(shown_.data(), static_cast<qsizetype>(shown_.size()));
      QBuffer buffer(&data);
      QImageReader reader(&buffer);
      const QSize size = reader.size();
      QImage picture;
      if (size.width() > 0 && size.height() > 0 && size.width() <= kMaxPictureSide &&
          size.height() <= kMaxPictureSide)
        picture = reader.read();
      w->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
    }
    w->setScaledContents(image_.Stretch);
    SyncCommon();
  }

 private:
  TImage& image_;
  std::string shown_;
};

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
  }
  void Sync() override {
    auto* w = Table();
    SyncGuard guard(view_);
    int columns = grid_.ColumnCount();
    // The rows are read only when the grid said they changed: a keystroke in another box does
    // not read a thousand companies again.
    if (TakeContentChange() || w->columnCount() != columns) ReadCells(columns);
    w->horizontalHeader()->setVisible(grid_.Options.Titles);
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
        QBrush back = editable && mark ? QBrush(*mark) : QBrush();
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

// --- Navigator --------------------------------------------------------------------------------

class NavigatorBinding : public Binding {
 public:
  NavigatorBinding(FormView& view, TDBNavigator& nav, QWidget* parent)
      : Binding(view, nav, new QWidget(parent)), nav_(nav) {
    auto* layout = new QHBoxLayout(widget_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    static constexpr const char* kGlyphs[] = {
        "go-first",    "go-previous",         "go-next",       "go-last",      "list-add",
        "list-remove", "document-properties", "document-save", "process-stop", "view-refresh"};
    static constexpr const char* kHints[] = {"Primeiro", "Anterior", "Próximo", "Último",
                                             "Incluir",  "Excluir",  "Alterar", "Confirmar",
                                             "Cancelar", "Atualizar"};
    for (TNavigateBtn b : nav.VisibleButtons) {
      auto* button = new QToolButton(widget_);
      auto i = static_cast<int>(b);
      button->setIcon(Icon(kGlyphs[i]));
      button->setToolTip(QString::fromUtf8(kHints[i]));
      button->setAutoRaise(true);
      button->setFocusPolicy(Qt::NoFocus);
      button->setObjectName(ToQ(nav.Name() + "_" + std::string(NavigateBtnName(b))));
      layout->addWidget(button);
      buttons_.emplace_back(b, button);
      QObject::connect(button, &QToolButton::clicked, button, [this, b] {
        TDBNavigator& n = nav_;
        view_.Perform([&n, b] { Application().Guard([&] { n.ClickButton(b); }); });
      });
    }
    layout->addStretch();
  }
  void Sync() override {
    for (auto& [b, button] : buttons_)
      if (button->isEnabled() != nav_.ButtonEnabled(b)) button->setEnabled(nav_.ButtonEnabled(b));
    SyncCommon();
  }

 private:
  TDBNavigator& nav_;
  std::vector<std::pair<TNavigateBtn, QToolButton*>> buttons_;
};

// --- Pop-up menus ----------------------------------------------------------------------------

// A pop-up menu the screen opens from code (Popup): shown at the model's point while the model
// says it is shown. A choice closes it and clicks the item; whatever else hides it (Escape, a
// click elsewhere) closes the model's menu too.
class PopupMenuBinding : public ComponentBinding {
 public:
  PopupMenuBinding(FormView& view, TPopupMenu& menu) : ComponentBinding(view, menu), menu_(menu) {}
  ~PopupMenuBinding() override { Drop(); }
  void Sync() override {
    if (IsGone()) return;
    if (!menu_.Shown()) {
      Drop();
      return;
    }
    const QPoint at(menu_.PopupX(), menu_.PopupY());
    if (shown_ && at == at_ && actions_.size() == Count(menu_.Items())) {
      Refresh();
      return;
    }
    Drop();
    Open(at);
  }

 private:
  static std::size_t Count(const std::vector<TMenuItem*>& items) {
    std::size_t n = items.size();
    for (const TMenuItem* i : items) n += i->Items().empty() ? 0 : Count(i->Items());
    return n;
  }
  void Open(QPoint at) {
    auto* shown = new QMenu(&view_);
    shown->setObjectName(ToQ(menu_.Name()));
    shown->setAttribute(Qt::WA_DeleteOnClose, false);
    TForm* form = &view_.Form();
    FormView* formView = &view_;
    actions_ = FillMenu(*shown, menu_.Items(), [formView, form](TMenuItem& item) {
      if (!formView->Detached()) formView->Sink().Perform(*form, [&item] { G::Click(item); });
    });
    at_ = at;
    shown_ = shown;
    if (!AnyVisible(*shown)) {
      // Nothing to show: the model's menu closes at once, as an empty menu does.
      TPopupMenu& m = menu_;
      view_.PerformLater([&m] { G::CloseMenu(m); });
      return;
    }
    // Hiding comes before the chosen item's action, so the model's menu is closed when the
    // item's handler runs.
    QObject::connect(shown, &QMenu::aboutToHide, shown, [this, shown] {
      if (shown_ != shown) return;
      Spend();
      TPopupMenu& m = menu_;
      if (!IsGone() && m.Shown()) view_.Perform([&m] { G::CloseMenu(m); });
    });
    shown->popup(view_.MapFromModel(at.x(), at.y()));
  }
  void Refresh() {
    for (auto& [action, item] : actions_) {
      if (!item->IsSeparator()) {
        QString caption = ToQ(item->Caption());
        if (action->text() != caption) action->setText(caption);
        action->setEnabled(item->Enabled());
        action->setCheckable(item->Checked() || action->isCheckable());
        action->setChecked(item->Checked());
      }
      action->setVisible(item->Visible());
    }
  }
  // Takes the menu off the screen without telling the model (which already knows).
  void Drop() {
    if (QMenu* shown = shown_) {
      shown->disconnect(shown, &QMenu::aboutToHide, nullptr, nullptr);
      shown->hide();
    }
    Spend();
  }
  // A hidden menu may still be running the chosen item's action, whose handler may open a
  // dialog with an event loop of its own: it is deleted only when the next one is shown.
  void Spend() {
    actions_.clear();
    if (shown_) spent_.push_back(shown_);
    shown_ = nullptr;
    while (spent_.size() > 1) {
      if (QMenu* old = spent_.front(); old && !old->isVisible()) old->deleteLater();
      spent_.erase(spent_.begin());
    }
  }
  TPopupMenu& menu_;
  QPointer<QMenu> shown_;
  std::vector<QPointer<QMenu>> spent_;
  QPoint at_;
  std::vector<std::pair<QAction*, TMenuItem*>> actions_;
};

bool OnPage(const TControl& control) {
  for (const TControl* p = control.Parent(); p; p = p->Parent())
    if (dynamic_cast<const TTabSheet*>(p)) return true;
  return false;
}

// A maker for a control class: the binding B of the control as a T.
template <class B, class T>
BindingMaker Maker() {
  return [](FormView& view, TControl& c, QWidget* container) -> std::unique_ptr<Binding> {
    if (auto* t = dynamic_cast<T*>(&c)) return std::make_unique<B>(view, *t, container);
    return std::make_unique<ContainerBinding>(view, c, container);
  };
}

}  // namespace

const ViewRegistry<BindingMaker>& Bindings() {
  static const ViewRegistry<BindingMaker> registry = [] {
    ViewRegistry<BindingMaker> r;
    r.Register(TControl::ClassInfo, Maker<ContainerBinding, TControl>());
    r.Register(TLabel::ClassInfo, Maker<LabelBinding, TLabel>());
    r.Register(TCustomEdit::ClassInfo, Maker<EditBinding, TCustomEdit>());
    r.Register(TDBDateEdit::ClassInfo, Maker<DateBinding, TCustomEdit>());
    r.Register(TMemo::ClassInfo, Maker<MemoBinding, TCustomEdit>());
    r.Register(TComboBox::ClassInfo, Maker<ComboBinding, TComboBox>());
    r.Register(TCheckBox::ClassInfo, Maker<CheckBinding, TCheckBox>());
    r.Register(TRadioGroup::ClassInfo, Maker<RadioBinding, TRadioGroup>());
    r.Register(TGroupBox::ClassInfo, Maker<GroupBinding, TControl>());
    r.Register(TPanel::ClassInfo, Maker<PanelBinding, TPanel>());
    r.Register(TPageControl::ClassInfo, Maker<PageBinding, TPageControl>());
    r.Register(TTabSheet::ClassInfo,
               [](FormView& view, TControl& c, QWidget* container) -> std::unique_ptr<Binding> {
                 auto* tabs = qobject_cast<QTabWidget*>(container);
                 auto* sheet = dynamic_cast<TTabSheet*>(&c);
                 if (tabs && sheet) return std::make_unique<SheetBinding>(view, *sheet, tabs);
                 return std::make_unique<ContainerBinding>(view, c, container);
               });
    r.Register(TButton::ClassInfo, Maker<ButtonBinding, TButton>());
    r.Register(TSpeedButton::ClassInfo, Maker<ToolBinding, TSpeedButton>());
    r.Register(TImage::ClassInfo, Maker<ImageBinding, TImage>());
    r.Register(TDBGrid::ClassInfo, Maker<GridBinding, TDBGrid>());
    r.Register(TDBNavigator::ClassInfo, Maker<NavigatorBinding, TDBNavigator>());
    r.Register(TReportView::ClassInfo,
               [](FormView& view, TControl& c, QWidget* container) -> std::unique_ptr<Binding> {
                 return MakeReportViewBinding(view, static_cast<TReportView&>(c), container);
               });
    return r;
  }();
  return registry;
}

const ViewRegistry<ComponentBindingMaker>& ComponentBindings() {
  static const ViewRegistry<ComponentBindingMaker> registry = [] {
    ViewRegistry<ComponentBindingMaker> r;
    r.Register(TPopupMenu::ClassInfo,
               [](FormView& view, TComponent& c) -> std::unique_ptr<ComponentBinding> {
                 return std::make_unique<PopupMenuBinding>(view, static_cast<TPopupMenu&>(c));
               });
    return r;
  }();
  return registry;
}

// --- ComponentBinding -------------------------------------------------------------------------

ComponentBinding::ComponentBinding(FormView& view, TComponent& component)
    : view_(view), component_(component) {
  component_.SetView(this);
}

ComponentBinding::~ComponentBinding() {
  Unbind();
}

void ComponentBinding::Unbind() {
  if (!gone_ && component_.View() == this) component_.SetView(nullptr);
  gone_ = true;
}

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

bool FormView::AnyGone() const {
  return std::any_of(bindings_.begin(), bindings_.end(), [](auto& b) { return b->IsGone(); }) ||
         std::any_of(componentBindings_.begin(), componentBindings_.end(),
                     [](auto& b) { return b->IsGone(); });
}

void FormView::Build() {
  SyncGuard guard(*this);
  byWidget_.clear();
  byControl_.clear();
  toolButtons_.clear();
  componentBindings_.clear();
  bindings_.clear();
  // Later, not now: the widget whose event led here may be among them.
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    child->hide();
    child->removeEventFilter(this);
    child->deleteLater();
  }
  BuildChildren(form_, this);
  BuildComponents(form_);
  builtCount_ = CountControls(form_);
}

void FormView::BuildComponents(const TComponent& owner) {
  for (TComponent* c : owner.Components()) {
    if (!dynamic_cast<TControl*>(c))
      if (const ComponentBindingMaker* maker = ComponentBindings().Find(c->Class()))
        componentBindings_.push_back((*maker)(*this, *c));
    BuildComponents(*c);
  }
}

void FormView::BuildChildren(TControl& parent, QWidget* container) {
  bool mdiChild = form_.FormStyle == TFormStyle::fsMDIChild;
  for (TControl* child : parent.Controls()) {
    // An MDI child's tool buttons off its pages belong to the main window's tool bar.
    if (mdiChild && child->ClassName() == TSpeedButton::ClassInfo.name && !OnPage(*child)) {
      toolButtons_.push_back(static_cast<TSpeedButton*>(child));
      continue;
    }
    const BindingMaker* maker = Bindings().Find(child->Class());
    std::unique_ptr<Binding> b = (*maker)(*this, *child, container);
    Binding& ref = *b;
    byControl_[child] = &ref;
    bindings_.push_back(std::move(b));
    BuildChildren(*child, ref.Container());
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
  // The form may still live (released, freed at the end of the gesture): its controls must
  // not keep views that are about to be deleted.
  for (auto& b : bindings_) b->Unbind();
  // Their menus leave the screen; the components stay the model's.
  componentBindings_.clear();
  byWidget_.clear();
  byControl_.clear();
  toolButtons_.clear();
}

void FormView::Sync() {
  if (detached_) return;
  if (AnyGone() || CountControls(form_) != builtCount_) Build();
  SyncGuard guard(*this);
  if (form_.Width() > 0 && form_.Height() > 0) setMinimumSize(form_.Width(), form_.Height());
  for (auto& b : bindings_) b->Sync();
  SyncFocus();
  for (auto& b : componentBindings_) b->Sync();
}

void FormView::DrawnElsewhere(const TControl& control, QWidget* widget) {
  elsewhere_[&control] = widget;
}

QPoint FormView::MapFromModel(int x, int y) const {
  // The model's screen: the form's position plus the controls' offsets, each control's inside
  // relative to its own left and top (pages included), as the screens compute their points.
  const QPoint p(x - form_.Left(), y - form_.Top());
  // How well a control's rectangle, edges included, holds the point: 0 inside, 1 or 2 on its
  // right or bottom edge (a point under a button lies on the bottom edge of the button and on
  // the right edge of the one before it); -1 outside.
  auto fit = [&p](QRect r) {
    if (p.x() < r.left() || p.y() < r.top() || p.x() > r.left() + r.width() ||
        p.y() > r.top() + r.height())
      return -1;
    return int(p.x() == r.left() + r.width()) + int(p.y() == r.top() + r.height());
  };
  auto origin = [this](const TControl& c) {
    QPoint o(c.Left(), c.Top());
    for (const TControl* a = c.Parent(); a && a != &form_; a = a->Parent())
      o += QPoint(a->Left(), a->Top());
    return o;
  };
  // Maps the point onto the widget drawing the control, scaled when it is larger or smaller.
  auto onto = [&p](const QRect& r, const QWidget& w) {
    auto scale = [](int offset, int model, int drawn) {
      return model > 0 ? offset * drawn / model : offset;
    };
    return w.mapToGlobal(QPoint(scale(p.x() - r.left(), r.width(), w.width()),
                                scale(p.y() - r.top(), r.height(), w.height())));
  };
  // Tool buttons drawn in the main window's tool bar are not where the form would put them.
  const TControl* best = nullptr;
  int bestFit = 3;
  for (const TControl* control : toolButtons_) {
    auto drawn = elsewhere_.find(control);
    if (drawn == elsewhere_.end() || !drawn->second || !drawn->second->isVisible()) continue;
    int f = fit(QRect(origin(*control), QSize(control->Width(), control->Height())));
    if (f >= 0 && f < bestFit) {
      best = control;
      bestFit = f;
    }
  }
  if (best)
    return onto(QRect(origin(*best), QSize(best->Width(), best->Height())), *elsewhere_.at(best));
  // Otherwise the deepest shown control under the point, choosing at each level the sibling
  // that holds it best.
  const TControl* hit = nullptr;
  for (const TControl* level = &form_; level;) {
    const TControl* next = nullptr;
    bestFit = 3;
    for (const TControl* c : level->Controls()) {
      QWidget* w = WidgetOf(*c);
      if (!c->Showing() || !w || !w->isVisible()) continue;
      int f = fit(QRect(origin(*c), QSize(c->Width(), c->Height())));
      if (f >= 0 && f < bestFit) {
        next = c;
        bestFit = f;
      }
    }
    if (next) hit = next;
    level = next;
  }
  if (hit) return onto(QRect(origin(*hit), QSize(hit->Width(), hit->Height())), *WidgetOf(*hit));
  return mapToGlobal(p);
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
  if (b.IsGone()) return false;
  switch (event->type()) {
    case QEvent::KeyPress: {
      if (Syncing()) return false;
      auto& key = static_cast<QKeyEvent&>(*event);
      if (b.Key(key)) return true;
      // Left by the control: the page keys and the search keys are the form's, in the model
      // (the tab widget would change the page without the model's checks).
      auto name = FormKeyName(key);
      if (!name || !b.Control().TakesFocus()) return false;
      TControl& c = b.Control();
      Perform([&c, k = *name] { G::Key(c, k); });
      return true;
    }
    case QEvent::ShortcutOverride: {
      // Editing keys belong to the box, not to a menu short cut with the same keys.
      auto& key = static_cast<QKeyEvent&>(*event);
      if (KeyName(key) || TypedText(key) || FormKeyName(key)) event->accept();
      return false;
    }
    case QEvent::InputMethod: {
      auto& im = static_cast<QInputMethodEvent&>(*event);
      if (!im.commitString().isEmpty()) b.Text(im.commitString());
      return true;
    }
    case QEvent::ContextMenu:
      return b.ContextMenu(static_cast<QContextMenuEvent&>(*event));
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
