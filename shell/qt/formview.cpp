// The form view: builds one binding per control, syncs them, and turns widget events into
// gestures.
#include "bindings.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTimer>

#include "convert.h"
#include "ui/gestures.h"

namespace ger::qt {

namespace G = ui::Gestures;

namespace {
bool OnPage(const TControl& control) {
  for (const TControl* p = control.Parent(); p; p = p->Parent())
    if (dynamic_cast<const TTabSheet*>(p)) return true;
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
