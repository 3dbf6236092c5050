#include "ui/comctrls.h"

#include <algorithm>

#include "ui/forms.h"

namespace ger {

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

void TTabSheet::Describe(PropList& out) const {
  TControl::Describe(out);
  out.emplace_back("tabvisible", tabVisible_);
  out.emplace_back("pageindex", std::int64_t{PageIndex()});
  out.emplace_back("active", IsActive());
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

void TPageControl::Describe(PropList& out) const {
  TControl::Describe(out);
  std::vector<std::string> names;
  for (auto* p : pages_) names.push_back(p->Name());
  out.emplace_back("pages", names);
  out.emplace_back("activepage", active_ ? active_->Name() : std::string());
}

// --- Menus ------------------------------------------------------------------------------------

void TMenu::Describe(PropList& out) const {
  TComponent::Describe(out);
  std::vector<std::string> names;
  for (auto* i : items_) names.push_back(i->Name());
  out.emplace_back("items", names);
}

void TPopupMenu::Popup(int x, int y) {
  x_ = x;
  y_ = y;
  shown_ = true;
  if (OnPopup) OnPopup(*this);
  ModelChanged();
}

void TPopupMenu::CloseUp() {
  shown_ = false;
  ModelChanged();
}

void TPopupMenu::Describe(PropList& out) const {
  TMenu::Describe(out);
  out.emplace_back("shown", shown_);
  out.emplace_back("x", std::int64_t{x_});
  out.emplace_back("y", std::int64_t{y_});
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

void TMenuItem::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  ModelChanged();
}

void TMenuItem::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  ModelChanged();
}

void TMenuItem::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  ModelChanged();
}

void TMenuItem::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  ModelChanged();
}

void TMenuItem::SetShortCut(std::string shortCut) {
  shortCut_ = std::move(shortCut);
  ModelChanged();
}

bool TMenuItem::Usable() const {
  for (const TMenuItem* i = this; i; i = i->parentItem_)
    if (!i->enabled_ || !i->visible_) return false;
  return true;
}

void TMenuItem::Click() {
  if (OnClick) OnClick(*this);
}

void TMenuItem::Describe(PropList& out) const {
  TComponent::Describe(out);
  out.emplace_back("caption", caption_);
  out.emplace_back("checked", checked_);
  out.emplace_back("enabled", enabled_);
  out.emplace_back("visible", visible_);
  out.emplace_back("shortcut", shortCut_);
  out.emplace_back("parent",
                   parentItem_ ? parentItem_->Name() : (Menu() ? Menu()->Name() : std::string()));
  std::vector<std::string> names;
  for (auto* i : items_) names.push_back(i->Name());
  out.emplace_back("items", names);
}

}  // namespace ger
