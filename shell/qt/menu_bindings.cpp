// The menus: a model menu in a Qt menu, and the pop-up menu a screen opens from code.
#include "bindings.h"

#include <QAction>
#include <QMenu>

#include "convert.h"
#include "ui/gestures.h"

namespace ger::qt {

namespace G = ui::Gestures;

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

bool AnyVisible(const QMenu& menu) {
  const auto actions = menu.actions();
  return std::any_of(actions.begin(), actions.end(),
                     [](const QAction* a) { return a->isVisible() && !a->isSeparator(); });
}

namespace {

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

}  // namespace

std::unique_ptr<ComponentBinding> MakePopupMenuBinding(FormView& view, TPopupMenu& menu) {
  return std::make_unique<PopupMenuBinding>(view, menu);
}

}  // namespace ger::qt
