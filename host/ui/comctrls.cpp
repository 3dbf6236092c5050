#include "ui/comctrls.h"

#include <algorithm>

#include "ui/dialogs.h"
#include "ui/forms.h"
#include "ui/gestures.h"

namespace ger {

const ComponentClass TTabSheet::ClassInfo{"TTabSheet", &TControl::ClassInfo};
const ComponentClass& TTabSheet::Class() const {
  return ClassInfo;
}
const ComponentClass TPageControl::ClassInfo{"TPageControl", &TControl::ClassInfo};
const ComponentClass& TPageControl::Class() const {
  return ClassInfo;
}
const ComponentClass TMenu::ClassInfo{"TMenu", &TComponent::ClassInfo};
const ComponentClass& TMenu::Class() const {
  return ClassInfo;
}
const ComponentClass TMainMenu::ClassInfo{"TMainMenu", &TMenu::ClassInfo};
const ComponentClass& TMainMenu::Class() const {
  return ClassInfo;
}
const ComponentClass TPopupMenu::ClassInfo{"TPopupMenu", &TMenu::ClassInfo};
const ComponentClass& TPopupMenu::Class() const {
  return ClassInfo;
}
const ComponentClass TMenuItem::ClassInfo{"TMenuItem", &TComponent::ClassInfo};
const ComponentClass& TMenuItem::Class() const {
  return ClassInfo;
}

// --- TTabSheet --------------------------------------------------------------------------------

TTabSheet::TTabSheet(TPageControl* pageControl, std::string name, std::string caption)
    : TControl(pageControl ? pageControl->Owner() : nullptr, std::move(name)),
      pageControl_(pageControl) {
  SetCaption(std::move(caption));
  if (pageControl_) {
    SetParent(pageControl_);
    pageControl_->AddPage(this);
  }
}

TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->RemovePage(this);
}

bool TTabSheet::ClickByUser() {
  return ui::Gestures::Page(*this);
}

int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  auto& pages = pageControl_->Pages();
  auto it = std::find(pages.begin(), pages.end(), this);
  return it == pages.end() ? -1 : static_cast<int>(it - pages.begin());
}

void TTabSheet::SetTabVisible(bool visible) {
  if (tabVisible_ == visible) return;
  tabVisible_ = visible;
  ModelChanged();
}

bool TTabSheet::IsActive() const {
  return pageControl_ && pageControl_->ActivePage() == this;
}

// --- TPageControl -----------------------------------------------------------------------------

void TPageControl::AddPage(TTabSheet* page) {
  pages_.push_back(page);
  if (!active_) active_ = page;
  ModelChanged();
}

void TPageControl::RemovePage(TTabSheet* page) {
  pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
  if (active_ == page) active_ = pages_.empty() ? nullptr : pages_.front();
  ModelChanged();
}

int TPageControl::ActivePageIndex() const {
  return active_ ? active_->PageIndex() : -1;
}

void TPageControl::MoveFocusOff(TTabSheet* page) {
  TForm* form = OwnerForm();
  if (!form || !page) return;
  TControl* focused = form->ActiveControl();
  for (TControl* c = focused; c; c = c->Parent()) {
    if (c == page) {
      // The page control takes the focus, so the focused control's exit runs; a failure
      // leaves the page as it is.
      form->FocusControl(CanFocus() ? this : nullptr);
      return;
    }
  }
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page == active_) return;
  if (page && page->PageControl() != this)
    throw EInvalidOperation("A página '" + page->Name() + "' não pertence a '" + Name() + "'.");
  MoveFocusOff(active_);
  active_ = page;
  ModelChanged();
}

void TPageControl::SetActivePageIndex(int index) {
  SetActivePage(index >= 0 && index < PageCount() ? pages_[index] : nullptr);
}

bool TPageControl::ClickTab(TTabSheet& page) {
  if (page.PageControl() != this || !page.TabVisible() || !page.Enabled() || !CanFocus())
    return false;
  TForm* form = OwnerForm();
  if (form && form->ActiveControl() != this) {
    if (!form->FocusControl(this)) return false;
  }
  if (&page == active_) return true;
  bool allow = true;
  if (OnChanging) OnChanging(*this, allow);
  if (!allow) return false;
  active_ = &page;
  ModelChanged();
  if (OnChange) OnChange(*this);
  return true;
}

// --- Menus ------------------------------------------------------------------------------------

void TPopupMenu::Popup(int x, int y) {
  x_ = x;
  y_ = y;
  shown_ = true;
  if (OnPopup) OnPopup(*this);
  Changed(ViewAspect::Current);
}

void TPopupMenu::CloseUp() {
  if (!shown_) return;
  shown_ = false;
  Changed(ViewAspect::Current);
}

TMenuItem::TMenuItem(TMenu* menu, std::string name, std::string caption)
    : TComponent(menu ? menu->Owner() : nullptr, std::move(name)),
      menu_(menu),
      caption_(std::move(caption)) {
  if (menu_) menu_->items_.push_back(this);
}

TMenuItem::TMenuItem(TMenuItem* parentItem, std::string name, std::string caption)
    : TComponent(parentItem ? parentItem->Owner() : nullptr, std::move(name)),
      parentItem_(parentItem),
      caption_(std::move(caption)) {
  if (parentItem_) parentItem_->items_.push_back(this);
}

TMenuItem::~TMenuItem() {
  auto drop = [this](std::vector<TMenuItem*>& list) {
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  };
  if (menu_) drop(menu_->items_);
  if (parentItem_) drop(parentItem_->items_);
  for (auto* child : items_) child->parentItem_ = nullptr;
}

TMenu* TMenuItem::Menu() const {
  const TMenuItem* item = this;
  while (item->parentItem_) item = item->parentItem_;
  return item->menu_;
}

void TMenuItem::Tell() {
  if (TMenu* menu = Menu())
    menu->Changed(ViewAspect::Look);
  else
    ModelChanged();
}

void TMenuItem::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  Tell();
}

void TMenuItem::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Tell();
}

void TMenuItem::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Tell();
}

void TMenuItem::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Tell();
}

void TMenuItem::SetShortCut(std::string shortCut) {
  shortCut_ = std::move(shortCut);
  Tell();
}

bool TMenuItem::Usable() const {
  for (const TMenuItem* i = this; i; i = i->parentItem_)
    if (!i->enabled_ || !i->visible_) return false;
  return true;
}

void TMenuItem::Click() {
  if (OnClick) OnClick(*this);
}

bool TMenuItem::ClickByUser() {
  if (!Usable()) throw ui::EGestureError("Menu item '" + Name() + "' is disabled or hidden.");
  return Application().Guard([&] {
    if (TMenu* menu = Menu()) menu->CloseUp();
    Click();
  });
}

}  // namespace ger
