// The binding base: what every control's view does (place, size, state, colour, keys, menus).
#include "bindings.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

#include "convert.h"
#include "ui/comctrls.h"
#include "ui/gestures.h"

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
      if (extraH > 0 && c.GrowsDown() && c.Top() + c.Height() >= ph - slackDown) height += extraH;
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

ContainerBinding::ContainerBinding(FormView& view, TControl& control, QWidget* parent)
    : Binding(view, control, new QWidget(parent)) {}

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

}  // namespace ger::qt
