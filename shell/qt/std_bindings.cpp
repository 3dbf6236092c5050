// The standard controls: labels, text boxes (one line, dates, memos), lists, check boxes, radio
// groups, group boxes, panels and buttons.
#include "bindings.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QTimer>
#include <QWidgetAction>

#include "convert.h"
#include "icons.h"
#include "ui/gestures.h"

namespace ger::qt {

namespace G = ui::Gestures;

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

// A text box of one line or of many: the keys, the typed text and the edit menu are the model's
// text editing, whatever the widget; each widget says where its caret is (Side) and shows the
// model's text and caret its own way (Sync).
class TextBoxBinding : public Binding {
 public:
  TextBoxBinding(FormView& view, TCustomEdit& edit, QWidget* widget)
      : Binding(view, edit, widget), edit_(edit) {}
  bool Key(QKeyEvent& event) override { return EditKey(view_, event, edit_, Side()); }
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
  // The widget's text, caret and selection, in the model's characters.
  virtual TextSide Side() const = 0;
  TCustomEdit& edit_;
};

class EditBinding : public TextBoxBinding {
 public:
  EditBinding(FormView& view, TCustomEdit& edit, QWidget* parent)
      : TextBoxBinding(view, edit, new QLineEdit(parent)) {
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

 protected:
  QLineEdit* Line() const { return static_cast<QLineEdit*>(widget_.data()); }
  TextSide Side() const override {
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

class MemoBinding : public TextBoxBinding {
 public:
  MemoBinding(FormView& view, TCustomEdit& memo, QWidget* parent)
      : TextBoxBinding(view, memo, new QPlainTextEdit(parent)) {
    auto* w = Plain();
    w->setTabChangesFocus(true);
    w->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view.Watch(w, *this);
    view.Watch(w->viewport(), *this);
  }
  void Sync() override {
    auto* w = Plain();
    QString model = ToQ(edit_.Text());
    QString text = ShownMemoText(edit_.Text());
    if (w->toPlainText() != text) w->setPlainText(text);
    if (w->isReadOnly() != edit_.ReadOnly()) w->setReadOnly(edit_.ReadOnly());
    if (edit_.Focused()) {
      // The model's caret and selection, so that the next key goes where the user sees it.
      int start = ModelToShown(model, edit_.SelStart());
      int end = ModelToShown(model, edit_.SelStart() + edit_.SelLength());
      QTextCursor cursor = w->textCursor();
      if (cursor.anchor() != start || cursor.position() != end) {
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        w->setTextCursor(cursor);
      }
    }
    SyncCommon();
  }

 private:
  QPlainTextEdit* Plain() const { return static_cast<QPlainTextEdit*>(widget_.data()); }
  TextSide Side() const override {
    QPlainTextEdit* w = Plain();
    TCustomEdit* memo = &edit_;
    auto model = [memo] { return ToQ(memo->Text()); };
    return TextSide{[w] { return w->toPlainText(); },
                    [w, model] { return ShownToModel(model(), w->textCursor().selectionStart()); },
                    [w, model] {
                      QString m = model();
                      return ShownToModel(m, w->textCursor().selectionEnd()) -
                             ShownToModel(m, w->textCursor().selectionStart());
                    }};
  }
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

}  // namespace

std::unique_ptr<Binding> MakeLabelBinding(FormView& view, TLabel& label, QWidget* parent) {
  return std::make_unique<LabelBinding>(view, label, parent);
}
std::unique_ptr<Binding> MakeEditBinding(FormView& view, TCustomEdit& edit, QWidget* parent) {
  return std::make_unique<EditBinding>(view, edit, parent);
}
std::unique_ptr<Binding> MakeDateBinding(FormView& view, TCustomEdit& edit, QWidget* parent) {
  return std::make_unique<DateBinding>(view, edit, parent);
}
std::unique_ptr<Binding> MakeMemoBinding(FormView& view, TCustomEdit& memo, QWidget* parent) {
  return std::make_unique<MemoBinding>(view, memo, parent);
}
std::unique_ptr<Binding> MakeComboBinding(FormView& view, TComboBox& combo, QWidget* parent) {
  return std::make_unique<ComboBinding>(view, combo, parent);
}
std::unique_ptr<Binding> MakeCheckBinding(FormView& view, TCheckBox& box, QWidget* parent) {
  return std::make_unique<CheckBinding>(view, box, parent);
}
std::unique_ptr<Binding> MakeRadioBinding(FormView& view, TRadioGroup& group, QWidget* parent) {
  return std::make_unique<RadioBinding>(view, group, parent);
}
std::unique_ptr<Binding> MakeGroupBinding(FormView& view, TControl& group, QWidget* parent) {
  return std::make_unique<GroupBinding>(view, group, parent);
}
std::unique_ptr<Binding> MakePanelBinding(FormView& view, TPanel& panel, QWidget* parent) {
  return std::make_unique<PanelBinding>(view, panel, parent);
}
std::unique_ptr<Binding> MakeButtonBinding(FormView& view, TButton& button, QWidget* parent) {
  return std::make_unique<ButtonBinding>(view, button, parent);
}

}  // namespace ger::qt
